// The main window on the X server under a real window manager (xfwm4) with a private
// session bus, the way a member's desktop runs it; the service address points nowhere.
#pragma once

#include "DesktopPrograms.h"
#include "GtkTestSupport.h"
#include "TempDir.h"

#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/window/DesktopShell.h"

#include <memory>
#include <string>

namespace testsupport {

class DesktopFrameTest : public GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(m_desktop.startWindowManager());
        ASSERT_TRUE(pumpUntil(DesktopPrograms::windowManagerRunning));
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        m_dir.write("domain.vmx", "<VelmarRoot><url><domain>http://127.0.0.1:9</domain><posturl>/p</posturl>"
                                  "<domain_soft>http://127.0.0.1:9/soft</domain_soft></url></VelmarRoot>");
    }
    void TearDown() override
    {
        m_frame.reset();
        GtkWindowTest::TearDown();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }

    // A main window over the settings' member lines, created and shown (not waited for).
    void makeFrame(const std::string& memberLines = {})
    {
        m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\n" + memberLines);
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin, 0);
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
    }
    HWND hwnd() const { return m_frame->GetSafeHwnd(); }
    bool mappedOnScreen(HWND window) const
    {
        XWindowAttributes attributes{};
        return XGetWindowAttributes(DesktopPrograms::display(), platform::NativeWindowId(window), &attributes)
               && attributes.map_state == IsViewable;
    }

    // Made before the window system starts, which finds the bus through the environment.
    DesktopPrograms m_desktop;
    TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace testsupport

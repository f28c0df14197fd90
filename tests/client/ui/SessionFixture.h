// A main window on the headless window system with the shipped skin and a program folder
// of its own, for the session tests: answers are handed to it as the request worker
// would, and the notice window is read back.
#pragma once

#include "DomainVmx.h"
#include "TempDir.h"
#include "WindowTestSupport.h"

#include "client/service/RequestWorker.h"
#include "client/ui/MainFrame.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"

#include <memory>
#include <string>

namespace testsupport {

class SessionTest : public HeadlessWindowTest {
protected:
    static constexpr const char* kPageBase = "http://host:81/soft";

    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_skin = LoadStyleA(KAVREL_SOURCE_DIR "/skin/config.xml");
        ASSERT_TRUE(m_skin->GetError().empty()) << m_skin->GetError();
        m_dir.write("domain.vmx", domainFile());
        m_dir.write("data/config.ini", "[info]\r\nfirstlogin=1\r\n");
    }
    void TearDown() override
    {
        m_frame.reset();
        HeadlessWindowTest::TearDown();
        m_worker.reset();
        dulib::FreeSkin(m_skin);
    }

    virtual std::string domainFile() const
    {
        return testsupport::domainVmx("http://host:81");
    }

    // Creates the main window (with the worker, when the test made one).
    void createFrame()
    {
        m_frame = std::make_unique<CMainFrame>(m_dir.folder(), m_skin);
        m_frame->UseRequestWorker(m_worker.get());
        ASSERT_TRUE(m_frame->Create());
        m_frame->ShowWindow(SW_SHOW);
    }

    HWND frame() const { return m_frame->GetSafeHwnd(); }
    HWND notice() const { return m_frame->NoticeWindow(); }
    Plugin* element(const char* name) const { return GetPluginByName(frame(), name); }
    bool visible(const char* name) const
    {
        Plugin* e = element(name);
        return e && e->IsVisible();
    }

    // An answer as the worker hands it over.
    void answer(int kind, const std::string& text)
    {
        SendMessage(frame(), RegisterWindowMessage("HTTP_RETURN_SUCC"), reinterpret_cast<WPARAM>(new std::string(text)),
                    kind);
    }
    void fail(int kind) { SendMessage(frame(), RegisterWindowMessage("HTTP_RETURN_FAIL"), 0, kind); }

    LRESULT raise(HWND window, const char* name, int code, int param1 = 0)
    {
        PluginEvent event{code, param1, 0};
        return SendMessage(window, WM_SKINEVENT, reinterpret_cast<WPARAM>(GetPluginByName(window, name)),
                           reinterpret_cast<LPARAM>(&event));
    }

    // The text the notice window shows now ("" when it is hidden).
    std::string shownNotice() const
    {
        if (!IsWindowVisible(notice()))
            return {};
        for (const char* name : {"window_login_success", "window_login_sysnew_link"}) {
            Plugin* e = GetPluginByName(notice(), name);
            if (e && e->IsVisible())
                return e->GetText();
        }
        return {};
    }
    // Lets a notice asked for with the delay 100 come up, and answers its text.
    std::string nextNotice()
    {
        platform::AdvanceClock(1100);
        return shownNotice();
    }

    static std::string gbk(const std::string& utf8) { return CCodeLib::Utf8ToAnsi(utf8); }

    TempDir m_dir;
    SkinManager* m_skin = nullptr;
    std::unique_ptr<CRequestWorker> m_worker;
    std::unique_ptr<CMainFrame> m_frame;
};

} // namespace testsupport

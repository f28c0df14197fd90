// The desktop's clipboard between a skinned edit box and a plain GtkEntry in another
// program, on the X server: copies go both ways in UTF-8 (GBK inside the edit box), the
// primary selection reaches the edit box with a middle click, and a password box gives
// nothing out.
#include "dulib/Element.h"
#include "dulib/dulib.h"
#include "platform/CodeLib.h"

#include "GtkTestSupport.h"
#include "TempDir.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace {

const char* const kSkin = R"(<skin>
  <paint name="p" fill="#ffffff" color="#000000"/>
  <paint name="edit" fill="#ffffff" content="edit" color="#000000" padding="4"/>
  <layout name="test" width="300" height="120" look="p">
    <edit name="user" left="10" top="20" width="200" height="24" look="edit"/>
    <password name="pass" left="10" top="60" width="200" height="24" look="edit"/>
  </layout>
</skin>)";

class ClipboardGtkTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        m_skin = LoadStyleA(m_dir.write("skin/config.xml", kSkin).string().c_str());
        ASSERT_EQ(m_skin->GetError(), "");
        m_hwnd = CreateWindowEx(0, "", WS_POPUP, 40, 40, 300, 120, nullptr, 0, nullptr);
        ASSERT_EQ(WindowManager_Attach(m_skin, m_hwnd, "test"), 1);
        ShowWindow(m_hwnd, SW_SHOW);

        const char* argv[] = {GTK_ENTRY_HELPER, nullptr};
        GError* error = nullptr;
        ASSERT_TRUE(g_spawn_async_with_pipes(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_DO_NOT_REAP_CHILD,
                                             nullptr, nullptr, &m_helper, &m_toHelper, &m_fromHelper, nullptr, &error))
            << (error ? error->message : "?");
        fcntl(m_fromHelper, F_SETFL, fcntl(m_fromHelper, F_GETFL) | O_NONBLOCK);
        ASSERT_EQ(answer(), "ready");
    }
    void TearDown() override
    {
        if (m_helper) {
            close(m_toHelper); // the helper ends when its input does
            close(m_fromHelper);
            waitpid(m_helper, nullptr, 0);
        }
        GtkWindowTest::TearDown();
        if (m_skin)
            dulib::FreeSkin(m_skin);
    }

    // The helper's next line; our queue keeps running meanwhile, so it can ask us for the
    // clipboard's text.
    std::string answer()
    {
        std::string line;
        pumpUntil([&] {
            char c = 0;
            while (read(m_fromHelper, &c, 1) == 1) {
                if (c == '\n')
                    return true;
                line += c;
            }
            return false;
        });
        return line;
    }
    std::string tell(const std::string& command)
    {
        std::string line = command + "\n";
        EXPECT_EQ(write(m_toHelper, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return answer();
    }

    dulib::Element* box(const char* name) { return static_cast<dulib::Element*>(GetPluginByName(m_hwnd, name)); }
    void control(int vk)
    {
        SendMessage(m_hwnd, WM_KEYDOWN, VK_CONTROL, 0);
        SendMessage(m_hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
        SendMessage(m_hwnd, WM_KEYUP, static_cast<WPARAM>(vk), 0);
        SendMessage(m_hwnd, WM_KEYUP, VK_CONTROL, 0);
    }
    bool textBecomes(const char* name, const std::string& gbk)
    {
        return pumpUntil([&] { return box(name)->text() == gbk; }, 5000);
    }

    testsupport::TempDir m_dir;
    SkinManager* m_skin = nullptr;
    HWND m_hwnd = nullptr;
    GPid m_helper = 0;
    int m_toHelper = -1, m_fromHelper = -1;
};

TEST_F(ClipboardGtkTest, TextGoesBothWaysWithAGtkEntryAndAPasswordBoxGivesNothingOut)
{
    // From the edit box to the entry: GBK inside, UTF-8 on the desktop.
    box("user")->SetText(CCodeLib::Utf8ToAnsi("张三abc").c_str());
    SetFocusPlugin(m_hwnd, box("user"));
    control('A');
    control('C');
    ASSERT_EQ(tell("paste"), "ok");
    EXPECT_EQ(tell("get"), "text=张三abc");

    // From the entry to the edit box, over the selection.
    ASSERT_EQ(tell("set 李四xyz"), "ok");
    ASSERT_EQ(tell("copy"), "ok");
    control('A');
    control('V');
    EXPECT_TRUE(textBecomes("user", CCodeLib::Utf8ToAnsi("李四xyz"))) << CCodeLib::AnsiToUtf8(box("user")->text());

    // The entry's selection is the primary selection: a middle click pastes it.
    ASSERT_EQ(tell("set 王五"), "ok");
    ASSERT_EQ(tell("select"), "ok");
    box("user")->SetText("");
    const RECT& r = box("user")->rect();
    SendMessage(m_hwnd, WM_MBUTTONDOWN, 0x0010, MAKELPARAM(r.left + 2, (r.top + r.bottom) / 2));
    EXPECT_TRUE(textBecomes("user", CCodeLib::Utf8ToAnsi("王五"))) << CCodeLib::AnsiToUtf8(box("user")->text());

    // The password box: copy and cut give nothing out, the clipboard keeps the entry's text.
    ASSERT_EQ(tell("set kept"), "ok");
    ASSERT_EQ(tell("copy"), "ok");
    box("pass")->SetText("secret");
    SetFocusPlugin(m_hwnd, box("pass"));
    control('A');
    control('C');
    control('X');
    EXPECT_EQ(box("pass")->text(), "secret");
    ASSERT_EQ(tell("paste"), "ok");
    EXPECT_EQ(tell("get"), "text=kept");
}

} // namespace

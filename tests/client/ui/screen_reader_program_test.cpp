// The real client program as a screen reader sees and drives it: on the test's X server,
// a private session bus with its own accessibility bus, and an AT-SPI client
// (screen_reader_probe.py, pyatspi) that reads the login window's tree, finds the boxes,
// check boxes and buttons by role and name, logs in through the buttons' actions against
// the dev service on loopback, and reads the notice that follows.
#include "DesktopPrograms.h"
#include "DevServiceFixture.h"
#include "DomainVmx.h"
#include "GtkTestSupport.h"
#include "TempDir.h"

#include "platform/Process.h"

#include <gio/gio.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

const std::string kSettings = "[info]\r\nfirstlogin=1\r\nhasupdate=1\r\n";
const char* const kProbe = KAVREL_SOURCE_DIR "/tests/client/ui/screen_reader_probe.py";

// The address of the accessibility bus that the session bus starts on demand.
std::string accessibilityBus(const std::string& sessionBus)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        sessionBus.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT
                                          | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (!bus) {
        ADD_FAILURE() << (error ? error->message : "no session bus");
        g_clear_error(&error);
        return {};
    }
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                                  nullptr, G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, 10000,
                                                  nullptr, &error);
    std::string address;
    if (reply) {
        const gchar* text = nullptr;
        g_variant_get(reply, "(&s)", &text);
        address = text;
        g_variant_unref(reply);
    } else {
        ADD_FAILURE() << "no accessibility bus (at-spi2-core): " << (error ? error->message : "?");
        g_clear_error(&error);
    }
    g_object_unref(bus);
    return address;
}

class ScreenReaderProgramTest : public testsupport::GtkWindowTest {
protected:
    void SetUp() override
    {
        // Before GTK starts: it finds both buses through the environment, as the client does.
        m_desktop = std::make_unique<testsupport::DesktopPrograms>();
        ASSERT_FALSE(m_desktop->busAddress().empty());
        const std::string a11y = accessibilityBus(m_desktop->busAddress());
        ASSERT_FALSE(a11y.empty());
        // A stale bus address left on the X root window by another run must not win.
        g_setenv("AT_SPI_BUS_ADDRESS", a11y.c_str(), TRUE);
        g_unsetenv("NO_AT_BRIDGE");
        testsupport::GtkWindowTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(m_service.started());
        const fs::path program = KAVREL_PROGRAM_DIR;
        fs::copy_file(program / "Kavrel", m_dir.path() / "Kavrel");
        fs::copy(program / "skin", m_dir.path() / "skin", fs::copy_options::recursive);
        fs::create_directory(m_dir.path() / "data");
        const std::string base = "http://127.0.0.1:" + std::to_string(m_service->port());
        const unsigned parts = testsupport::kXmlDeclaration | testsupport::kWebAddress | testsupport::kLineEnd;
        m_dir.write("domain.vmx", testsupport::domainVmx(base, parts));
        m_dir.write("data/config.ini", kSettings);
        m_client = platform::Process::start((m_dir.path() / "Kavrel").string(), {});
        ASSERT_TRUE(m_client);
        m_login = waitForWindow(600, 372);
        ASSERT_NE(0ul, m_login.id) << "no login window";
    }
    void TearDown() override
    {
        if (m_listener) {
            kill(m_listener->id(), SIGTERM);
            (void)m_listener->wait();
        }
        if (m_client) {
            kill(m_client->id(), SIGTERM);
            (void)m_client->wait();
        }
        if (gdk_display_get_default()) {
            pumpUntil([] { return !testsupport::findShownWindow(600, 372) && !testsupport::findShownWindow(1008, 640); },
                      5000);
        }
        testsupport::GtkWindowTest::TearDown();
        m_desktop.reset();
        g_unsetenv("AT_SPI_BUS_ADDRESS");
    }

    testsupport::ShownWindow waitForWindow(int width, int height)
    {
        std::optional<testsupport::ShownWindow> found;
        pumpUntil([&] { return (found = testsupport::findShownWindow(width, height)).has_value(); }, 20000);
        return found.value_or(testsupport::ShownWindow{0, 0, 0, 0, 0});
    }

    std::vector<std::string> probeArguments(const std::string& out, const std::vector<std::string>& command)
    {
        std::vector<std::string> arguments{kProbe, std::to_string(m_client->id()), out};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return arguments;
    }

    // Runs the probe to its end (the client runs on by itself meanwhile); its output.
    std::string probe(const std::vector<std::string>& command)
    {
        const std::string out = (m_dir.path() / "probe.txt").string();
        auto run = platform::Process::start("/usr/bin/python3", probeArguments(out, command));
        EXPECT_TRUE(run) << "python3 is not installed";
        if (!run)
            return {};
        const std::optional<int> status = run->wait();
        const std::string text = readFile(out);
        EXPECT_EQ(std::optional<int>(0), status) << text;
        pumpFor(100);
        return text;
    }
    std::string probeLine(const std::vector<std::string>& command)
    {
        std::string text = probe(command);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }

    // Starts the probe listening for focus changes and announcements for that long.
    void listen(int seconds)
    {
        m_listenOut = (m_dir.path() / "events.txt").string();
        m_listener = platform::Process::start("/usr/bin/python3",
                                              probeArguments(m_listenOut, {"listen", std::to_string(seconds)}));
        ASSERT_TRUE(m_listener);
        ASSERT_TRUE(pumpUntil([&] { return readFile(m_listenOut).find("ready\n") != std::string::npos; }, 20000));
    }
    ::testing::AssertionResult heard(const std::string& line, int timeoutMs = 20000)
    {
        if (pumpUntil([&] { return readFile(m_listenOut).find(line + "\n") != std::string::npos; }, timeoutMs))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "not heard: " << line << "\nheard:\n" << readFile(m_listenOut);
    }

    // The text the heard insertions into that object make, each at its character offset.
    std::string inserted(const std::string& object)
    {
        std::istringstream lines(readFile(m_listenOut));
        const std::string start = "insert " + object + " ";
        std::u32string text;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(start, 0) != 0)
                continue;
            std::size_t at = 0;
            const unsigned long offset = std::stoul(line.substr(start.size()), &at);
            const std::string part = line.substr(start.size() + at + 2, line.size() - start.size() - at - 3);
            std::u32string wide;
            for (gchar* p = const_cast<gchar*>(part.c_str()); *p; p = g_utf8_next_char(p))
                wide += static_cast<char32_t>(g_utf8_get_char(p));
            text.insert(std::min<std::size_t>(offset, text.size()), wide);
        }
        std::string out;
        for (char32_t c : text) {
            gchar buffer[8] = {};
            out.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(c, buffer)));
        }
        return out;
    }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::size_t loginRequestsWithBody(const std::string& body)
    {
        std::size_t n = 0;
        for (const auto& r : m_service->requests())
            n += r.method == "POST" && r.body == body;
        return n;
    }

    std::unique_ptr<testsupport::DesktopPrograms> m_desktop;
    testsupport::DevServiceRunner m_service;
    testsupport::TempDir m_dir;
    std::optional<platform::Process> m_client;
    std::optional<platform::Process> m_listener;
    std::string m_listenOut;
    testsupport::ShownWindow m_login{0, 0, 0, 0, 0};
};

// Roles, names (the picture-only close and account buttons named by the skin), states,
// actions, the boxes' text and every rectangle where the face draws it.
TEST_F(ScreenReaderProgramTest, LoginWindowTreeNamesEveryControl)
{
    const std::string tree = probe({"tree", "entry", "用户名"});
    // Kept beside the screenshots: the README shows it.
    const fs::path kept = fs::path(KAVREL_BINARY_DIR) / "screenshots/screen_reader";
    fs::create_directories(kept);
    std::ofstream(kept / "login_window_tree.txt", std::ios::binary) << tree;
    EXPECT_EQ("panel \"\" [showing,enabled,focusable] @0,0 600x372\n"
              "  label \"Kavrel 会员登录\" [showing,enabled] @0,0 600x44\n"
              "  push button \"关闭\" [showing,enabled,focusable] (click) @562,9 30x26\n"
              "  label \"法考学习，从这里开始\" [showing,enabled] @18,310 250x22\n"
              "  label \"账号登录\" [showing,enabled] @294,60 200x26\n"
              "  entry \"用户名\" [showing,enabled,focusable,focused,editable] text=\"\" @294,94 282x38\n"
              "  password text \"密码\" [showing,enabled,focusable,editable] text=\"\" @294,142 282x38\n"
              "  check box \"记住用户名\" [showing,enabled,focusable] (click) @294,190 96x24\n"
              "  check box \"记住密码\" [showing,enabled,focusable] (click) @396,190 84x24\n"
              "  check box \"自动登录\" [showing,enabled,focusable] (click) @492,190 84x24\n"
              "  push button \"登 录\" [showing,enabled,focusable] (click) @294,224 178x40\n"
              "  push button \"取消\" [showing,enabled,focusable] (click) @480,224 96x40\n"
              "  link \"注册新账号\" [showing,enabled,focusable] (click) @294,272 120x22\n"
              "  link \"忘记密码？\" [showing,enabled,focusable] (click) @456,272 120x22\n"
              "  label \"其他账号登录\" [showing,enabled] @294,308 100x36\n"
              "  push button \"人人网账号登录\" [showing,enabled,focusable] (click) @406,308 36x36\n"
              "  push button \"微博账号登录\" [showing,enabled,focusable] (click) @456,308 36x36\n"
              "  push button \"QQ 账号登录\" [showing,enabled,focusable] (click) @506,308 36x36\n",
              tree);
    // The rectangles are where the window is on the screen, so a magnifier finds them.
    EXPECT_EQ(std::to_string(m_login.x + 294) + " " + std::to_string(m_login.y + 94) + " 282 38",
              probeLine({"extents", "entry", "用户名"}));
}

// Typed into the boxes a screen reader focused, ticked by its action, logged in by the
// button's action: the service receives the login exactly as from a mouse, the password
// box never shows its text, and the welcome notice is announced and read.
TEST_F(ScreenReaderProgramTest, MemberLogsInThroughTheAccessibleControls)
{
    listen(60);
    probe({"focus", "password text", "密码"});
    EXPECT_TRUE(heard("focus password text \"密码\""));
    testsupport::DesktopPrograms::typeText("123456");
    probe({"focus", "entry", "用户名"});
    EXPECT_TRUE(heard("focus entry \"用户名\""));
    testsupport::DesktopPrograms::typeText("zhangsan");
    pumpFor(300);
    // Typed text is told as it comes (keys that come together, together).
    EXPECT_TRUE(pumpUntil([&] { return inserted("entry \"用户名\"") == "zhangsan"; }, 5000))
        << readFile(m_listenOut);
    EXPECT_EQ("\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF", inserted("password text \"密码\""));
    EXPECT_EQ("zhangsan", probeLine({"text", "entry", "用户名"}));
    EXPECT_EQ("\u25CF\u25CF\u25CF\u25CF\u25CF\u25CF", probeLine({"text", "password text", "密码"}));

    probe({"click", "check box", "记住用户名"});
    EXPECT_TRUE(pumpUntil([&] {
        return probeLine({"states", "check box", "记住用户名"}) == "showing,enabled,focusable,checked";
    }, 5000));

    probe({"click", "push button", "登 录"});
    // The welcome notice, read while it is shown (the feeds' notices follow it), with the
    // line end the notice's wrapping put after its 30th column.
    const std::string welcome = "欢迎回来，张三！祝您学习愉快。\\n";
    EXPECT_EQ("notification \"Kavrel 提示\" description=\"" + welcome + "\"\n"
              "  label \"Kavrel 提示\"\n"
              "  label \"" + welcome + "\"\n"
              "  label \"Kavrel 学习提醒\"\n",
              probe({"notice"}));
    EXPECT_TRUE(heard("announcement notification \"" + welcome + "\""));

    const std::string login = "{\n"
                              "   \"cmd\" : \"login\",\n"
                              "   \"cmdType\" : \"query\",\n"
                              "   \"content\" : {\n"
                              "      \"encrypt\" : true,\n"
                              "      \"hardwareinfo\" : \"\",\n"
                              "      \"pass\" : \"e10adc3949ba59abbe56e057f20f883e\",\n"
                              "      \"source\" : \"cs_v2013\",\n"
                              "      \"userID\" : \"zhangsan\",\n"
                              "      \"ver\" : \"3.0.0.25\"\n"
                              "   }\n"
                              "}\n";
    EXPECT_EQ(1u, loginRequestsWithBody(login));
}

} // namespace

// The client's side of the updater: the notices for the check's exit codes, the restart
// argument, the hand-over at start and the background check, with a stand-in updater
// started as a real process.
#include "TempDir.h"
#include "UpdateTestSupport.h"
#include "UpdaterChildProcess.h"
#include "WindowTestSupport.h"

#include "client/update/UpdateIntegration.h"

#include <fcntl.h>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

const std::string kFakeUpdater = KAVREL_BINARY_DIR "/tests/client/update/client_fake_updater";
const std::string kUrl = "http://127.0.0.1:9/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml";

struct NoticeCase {
    int exitCode;
    int noUpdateFlag;
    const char* notice; // GBK bytes, null for none
};

TEST(CheckDoneNotice, ExitCodeAndFlagChooseTheNotice)
{
    const char* staged = "\xcf\xb5\xcd\xb3\xce\xaa\xc4\xfa\xd7\xbc\xb1\xb8\xba\xc3\xc1\xcb\xa3\xac\xd0\xe8\xd2\xaa\xb8\xfc"
                         "\xd0\xc2\xb5\xc4\xce\xc4\xbc\xfe\xa1\xa3\xbd\xab\xbb\xe1\xd4\xda\xcf\xc2\xb4\xce\xc6\xf4\xb6\xaf"
                         "\xca\xb1\xb0\xef\xc4\xe3\xd7\xd4\xb6\xaf\xb8\xfc\xd0\xc2\xa1\xa3";
    const char* nothing = "\xc4\xfa\xba\xc3\xa3\xac\xc3\xbb\xd3\xd0\xb7\xa2\xcf\xd6\xd0\xe8\xd2\xaa\xb8\xfc\xd0\xc2\xb5\xc4"
                          "\xce\xc4\xbc\xfe\xa1\xa3";
    const NoticeCase cases[] = {
        {0, 0, nullptr}, {1, 0, nullptr}, {2, 0, staged},  {3, 0, nullptr}, {4, 0, nullptr},
        {0, 1, nullptr}, {1, 1, nullptr}, {2, 1, staged},  {3, 1, nothing}, {-1, 1, nullptr},
    };
    for (const NoticeCase& c : cases) {
        const char* notice = update::CheckDoneNotice(c.exitCode, c.noUpdateFlag);
        if (c.notice == nullptr) {
            EXPECT_EQ(notice, nullptr) << "exit code " << c.exitCode << ", flag " << c.noUpdateFlag;
        } else {
            EXPECT_STREQ(notice, c.notice) << "exit code " << c.exitCode << ", flag " << c.noUpdateFlag;
        }
    }
    EXPECT_STREQ(update::kUpdatedNotice, "\xc4\xfa\xba\xc3\xa3\xac\xcf\xb5\xcd\xb3\xd2\xd1\xce\xaa\xc4\xe3\xb8\xfc\xd0\xc2"
                                         "\xb5\xbd\xd0\xc2\xb5\xc4\xb0\xe6\xb1\xbe\xa1\xa3");
}

TEST(RestartAfterUpdate, OnlyAnExactFirstArgument)
{
    struct Case {
        std::vector<std::string> arguments;
        bool restart;
    };
    const Case cases[] = {
        {{}, false},
        {{"-finup"}, true},
        {{"-finup", "more"}, true},
        {{"-FINUP"}, false},
        {{"-finup "}, false},
        {{"finup"}, false},
        {{"-finupx"}, false},
        {{"other", "-finup"}, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words{"Kavrel"};
        words.insert(words.end(), c.arguments.begin(), c.arguments.end());
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        EXPECT_EQ(update::IsRestartAfterUpdate(static_cast<int>(words.size()), argv.data()), c.restart)
            << (c.arguments.empty() ? "(none)" : c.arguments.front());
    }
}

TEST(UpdaterCommandLine, UrlVersionAndInstallFolder)
{
    EXPECT_EQ(update::ManifestUrl("127.0.0.1:18080"), "http://127.0.0.1:18080/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml");
    EXPECT_EQ(update::ManifestUrl("https://updates.example.org:8443"),
              "https://updates.example.org:8443/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml");
    EXPECT_EQ(update::UpdaterArguments("-c", kUrl, "/opt/Kavrel"),
              (std::vector<std::string>{"-c", kUrl, "3.0.0.25", "/opt/Kavrel"}));
}

// A program folder with the stand-in updater, and a home of its own for the staging folder.
class UpdateIntegrationTest : public testsupport::HeadlessWindowTest {
protected:
    void SetUp() override
    {
        HeadlessWindowTest::SetUp();
        m_program = m_dir.path() / "Kavrel";
        fs::create_directories(m_program);
        fs::create_directories(m_dir.path() / "home");
        m_savedHome = env("HOME");
        m_savedConfig = env("XDG_CONFIG_HOME");
        setenv("HOME", (m_dir.path() / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir.path() / "home/.config").c_str(), 1);
        setenv("FAKE_UPDATER_RECORD", record().c_str(), 1);
        unsetenv("FAKE_UPDATER_EXIT");
        unsetenv("FAKE_UPDATER_HOLD");
    }
    void TearDown() override
    {
        restore("HOME", m_savedHome);
        restore("XDG_CONFIG_HOME", m_savedConfig);
        unsetenv("FAKE_UPDATER_RECORD");
        unsetenv("FAKE_UPDATER_EXIT");
        unsetenv("FAKE_UPDATER_HOLD");
        HeadlessWindowTest::TearDown();
    }
    static std::optional<std::string> env(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void restore(const char* name, const std::optional<std::string>& value)
    {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }

    void installUpdater() { fs::copy_file(kFakeUpdater, m_program / "vmUpdate"); }
    std::string folder() const { return m_program.string() + "/"; }
    std::string record() const { return (m_dir.path() / "record.txt").string(); }
    fs::path staged() const { return m_dir.path() / "home/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml"; }
    void stage() const { m_dir.write("home/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", "<xml/>"); }


    TempDir m_dir;
    fs::path m_program;
    std::optional<std::string> m_savedHome;
    std::optional<std::string> m_savedConfig;
};

TEST_F(UpdateIntegrationTest, NothingStagedNoHandOver)
{
    installUpdater();
    EXPECT_EQ(update::PathsFor(folder()).stagingManifest, staged().string());
    EXPECT_FALSE(update::PendingUpdateHandOver(folder(), kUrl));
    EXPECT_FALSE(fs::exists(record()));
}

TEST_F(UpdateIntegrationTest, StagedUpdateStartsApplyModeWithOnlyStandardDescriptors)
{
    installUpdater();
    stage();
    // A descriptor of the client's own that a started program could otherwise inherit.
    const int leaked = ::open(record().c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(leaked, 3);
    EXPECT_TRUE(update::PendingUpdateHandOver(folder(), kUrl));
    ::close(leaked);
    ASSERT_TRUE(testsupport::waitUntil([&] { return TempDir::readFile(record()).find("fds:") != std::string::npos; }));
    EXPECT_EQ(TempDir::readFile(record()), "-r\n" + kUrl + "\n3.0.0.25\n" + m_program.string() + "\nfds: 0 1 2\n");
}

TEST_F(UpdateIntegrationTest, ApplyCutShortHandsOverWhateverTheVersion)
{
    // The apply changed the client's version before it was killed: this client computes
    // another staging folder, but the marker in the installation is found all the same.
    installUpdater();
    m_dir.write(fs::relative(m_program, m_dir.path()).string() + "/vmupdate.pending", "3.0.0.24\n");
    EXPECT_TRUE(update::PendingUpdateHandOver(folder(), kUrl));
    ASSERT_TRUE(testsupport::waitUntil([&] { return TempDir::readFile(record()).find("fds:") != std::string::npos; }));
    EXPECT_EQ(TempDir::readFile(record()).substr(0, 3), "-r\n");
}

TEST_F(UpdateIntegrationTest, HandOverRefusedWhenTheUpdaterCannotStartKeepsTheStagedUpdate)
{
    stage(); // no vmUpdate in the program folder
    EXPECT_FALSE(update::PendingUpdateHandOver(folder(), kUrl));
    EXPECT_TRUE(fs::exists(staged()));
    fs::copy_file(kFakeUpdater, m_program / "vmUpdate");
    fs::permissions(m_program / "vmUpdate", fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::remove);
    EXPECT_FALSE(update::PendingUpdateHandOver(folder(), kUrl)) << "not executable";
}

TEST_F(UpdateIntegrationTest, CheckPostsTheExitCodeToTheWindow)
{
    installUpdater();
    const HWND window = makeWindow();
    for (int code : {2, 3, 1}) {
        m_log.clear();
        fs::remove(record());
        setenv("FAKE_UPDATER_EXIT", std::to_string(code).c_str(), 1);
        update::UpdateCheck check;
        check.Start(window, folder(), kUrl);
        ASSERT_TRUE(testsupport::serveUntil([&] { return !received(update::WM_UPDATE_CHECK_DONE).empty(); })) << code;
        EXPECT_EQ(received(update::WM_UPDATE_CHECK_DONE).front(),
                  (testsupport::Received{window, update::WM_UPDATE_CHECK_DONE, static_cast<WPARAM>(code), 0}));
    }
    EXPECT_EQ(TempDir::readFile(record()), "-c\n" + kUrl + "\n3.0.0.25\n" + m_program.string() + "\nfds: 0 1 2\n");
}

TEST_F(UpdateIntegrationTest, CheckWithoutUpdaterReportsZero)
{
    const HWND window = makeWindow();
    update::UpdateCheck check;
    check.Start(window, folder(), kUrl);
    ASSERT_TRUE(testsupport::serveUntil([&] { return !received(update::WM_UPDATE_CHECK_DONE).empty(); }));
    EXPECT_EQ(received(update::WM_UPDATE_CHECK_DONE).front().wParam, 0u);
}

TEST_F(UpdateIntegrationTest, CheckEndingAfterItsReceiverWasForgottenPostsNothing)
{
    installUpdater();
    const HWND window = makeWindow();
    const fs::path hold = m_dir.path() / "release";
    setenv("FAKE_UPDATER_HOLD", hold.c_str(), 1);
    setenv("FAKE_UPDATER_EXIT", "2", 1);
    {
        update::UpdateCheck check;
        check.Start(window, folder(), kUrl);
    } // the client is going: nobody listens any more
    m_dir.write("release", "");
    ASSERT_TRUE(testsupport::waitUntil([&] { return TempDir::readFile(record()).find("fds:") != std::string::npos; }));
    // A second check to the same window is still heard, so the first one has had its turn.
    fs::remove(hold);
    unsetenv("FAKE_UPDATER_HOLD");
    setenv("FAKE_UPDATER_EXIT", "3", 1);
    update::UpdateCheck later;
    later.Start(window, folder(), kUrl);
    ASSERT_TRUE(testsupport::serveUntil([&] { return !received(update::WM_UPDATE_CHECK_DONE).empty(); }));
    pumpAll();
    for (const auto& r : received(update::WM_UPDATE_CHECK_DONE))
        EXPECT_EQ(r.wParam, 3u) << "the forgotten check posted";
}

} // namespace

// Apply mode killed with SIGKILL at many moments of a run that replaces a few hundred
// files, some of them large: after each kill every installed file is its old or its new
// version, never a mixture, and the next apply finishes the job.
//
// The moments are not guessed from a clock: the test watches the installation's folders
// with inotify and kills the updater right after the k-th file event (a temporary created
// for a copy across file systems, a file closed after writing, a rename into place), for
// k spread over the events of a whole run. Staging lies on the same file system as the
// installation and, where /dev/shm is a writable tmpfs, on another one (copy, sync and
// rename instead of a plain rename).
#include "updater/FileDigest.h"

#include "TempDir.h"
#include "UpdateTestFiles.h"
#include "UpdaterChildProcess.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/statfs.h>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::UpdaterChildProcess;
using testsupport::filesBelow;
using updatertest::randomBytes;

constexpr int kKillsPerStaging = 8;
const std::string kUrl = "http://127.0.0.1:9/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml";
const std::vector<std::string> kFolders = {"", "data", "skin", "skin/images", "skin/images/deep", "lib"};

// True once the child has ended; it stays waitable.
bool ended(pid_t child)
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
}

using Tree = std::map<std::string, std::string>; // relative path -> content

void writeTree(const fs::path& folder, const Tree& files)
{
    fs::remove_all(folder);
    for (const std::string& sub : kFolders)
        fs::create_directories(folder / sub);
    for (const auto& [relative, bytes] : files)
        std::ofstream(folder / relative, std::ios::binary) << bytes;
}

// Reports file events below the installation's folders.
class FolderWatch {
public:
    explicit FolderWatch(const fs::path& top) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        for (const std::string& sub : kFolders)
            inotify_add_watch(m_fd, (top / sub).c_str(), IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO);
    }
    ~FolderWatch() { ::close(m_fd); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Events read so far, after waiting at most `ms` for more.
    int poll(int ms)
    {
        pollfd entry{m_fd, POLLIN, 0};
        if (::poll(&entry, 1, ms) > 0) {
            alignas(inotify_event) char buffer[64 * 1024];
            for (ssize_t got; (got = ::read(m_fd, buffer, sizeof buffer)) > 0;)
                for (char* at = buffer; at < buffer + got; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len)
                    ++m_events;
        }
        return m_events;
    }

private:
    int m_fd;
    int m_events = 0;
};

class ApplyKillTest : public testsupport::TempDirTest {
protected:
    static void SetUpTestSuite()
    {
        // The updater outlives the stand-in client that starts it; as subreaper this test
        // inherits it and can wait for it.
        ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }

    ApplyKillTest()
    {
        // A few hundred files: most small, a few of several megabytes, some only new.
        unsigned seed = 1;
        for (int i = 0; i < 240; ++i) {
            const std::string relative = kFolders[i % kFolders.size()] + (i % kFolders.size() ? "/" : "") + "f" +
                                         std::to_string(i) + ".bin";
            const std::size_t size = 200 + (i * 7919) % 20000;
            m_new[relative] = randomBytes(size, seed++);
            // Same size for most files, so a half-written file cannot pass for either.
            if (i % 10 != 3)
                m_old[relative] = randomBytes(i % 4 ? size : size / 2, seed++);
        }
        for (int i = 0; i < 4; ++i) {
            m_new["lib/big" + std::to_string(i) + ".so"] = randomBytes((1 << 20) + i * 4099, seed++);
            m_old["lib/big" + std::to_string(i) + ".so"] = randomBytes((1 << 20) + i * 4099, seed++);
        }
        m_old["data/user.ini"] = "member's own";
        writeFixtures();
        fs::copy_file(testsupport::kBuiltUpdater, m_dir.path() / "vmUpdate");
        fs::create_directories(m_dir.path() / "run");
    }

    // A release that also replaces the client, whose version constant it changes.
    void replaceTheClientToo()
    {
        m_old["Kavrel"] = randomBytes(300000, 7001);
        m_new["Kavrel"] = randomBytes(310000, 7002);
        writeFixtures();
    }

    // The old installation and the release staged as check leaves it, from m_old and m_new.
    void writeFixtures()
    {
        writeTree(m_dir.path() / "old", m_old);
        fs::remove_all(m_dir.path() / "template");
        fs::create_directories(m_dir.path() / "template");
        std::string items;
        for (const auto& [relative, bytes] : m_new) {
            const fs::path staged = m_dir.path() / "template" / fs::path(relative).filename();
            std::ofstream(staged, std::ios::binary) << bytes;
            const updater::FileDigest digest = updater::digestFile(staged);
            std::string target = "\\" + relative;
            std::replace(target.begin(), target.end(), '/', '\\');
            items += "        <item targetfile=\"" + target + "\" md5=\"" + digest.md5 + "\" size=\"" +
                     std::to_string(digest.size) + "\"/>\n";
        }
        std::ofstream(m_dir.path() / "template/vmupdate.xml_tmp.xml")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates>\n    <files>\n"
            << items << "    </files>\n    <ver>3.0.0.26</ver>\n</updates>\n";
    }

    ~ApplyKillTest() override
    {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (!m_otherHome.empty())
            fs::remove_all(m_otherHome);
    }

    fs::path install() const { return m_dir.path() / "Kavrel"; }

    // Where staging folders live for one kind of run: beside the installation, or on a
    // tmpfs (empty when there is none to use).
    fs::path home(bool acrossFileSystems)
    {
        if (!acrossFileSystems)
            return m_dir.path() / "home";
        if (m_otherHome.empty()) {
            struct statfs info {};
            char pattern[] = "/dev/shm/kavrel-kill-XXXXXX";
            if (::statfs("/dev/shm", &info) == 0 && info.f_type == 0x01021994 /* TMPFS_MAGIC */ && mkdtemp(pattern))
                m_otherHome = pattern;
        }
        return m_otherHome;
    }

    std::map<std::string, std::string> environment(const fs::path& home) const
    {
        return {{"HOME", home.string()},
                {"XDG_CONFIG_HOME", (home / ".config").string()},
                {"XDG_RUNTIME_DIR", (m_dir.path() / "run").string()},
                {"KAVREL_UPDATER_PAUSE_MS", "0"},
                {"KAVREL_TEST_RECORD", (m_dir.path() / "record.txt").string()}};
    }

    // The installation one release behind, and that release staged as check leaves it.
    void reset(const fs::path& home)
    {
        fs::remove_all(install());
        fs::copy(m_dir.path() / "old", install(), fs::copy_options::recursive);
        fs::remove_all(home);
        fs::create_directories(home);
        fs::copy(m_dir.path() / "template", home / "Kavrel_update_3.0.0.25");
    }

    // Runs apply mode as the client hands over to it: started by a stand-in client that
    // then ends. Calls `whileRunning` with the updater's pid once the client has gone;
    // returns the updater's wait status.
    int runApply(const fs::path& home, const std::function<void(pid_t)>& whileRunning,
                 const std::string& clientVersion = "3.0.0.25")
    {
        UpdaterChildProcess client(testsupport::kTestParent,
                                   {"--hold", (m_dir.path() / "vmUpdate").string(), "-r", kUrl, clientVersion,
                                    install().string()},
                                   environment(home), (m_dir.path() / "apply.txt").string(), true);
        EXPECT_TRUE(testsupport::waitUntil([&] { return client.output() == "wait for close parent\r\n"; }));
        const std::string children = TempDir::readFile("/proc/" + std::to_string(client.pid()) + "/task/" +
                                                       std::to_string(client.pid()) + "/children");
        const pid_t updater = static_cast<pid_t>(std::atol(children.c_str()));
        EXPECT_GT(updater, 0) << "the updater's pid";
        client.closeInput();
        EXPECT_EQ(client.wait(), 0);
        if (updater <= 0)
            return -1;
        whileRunning(updater);
        int status = 0;
        EXPECT_EQ(::waitpid(updater, &status, 0), updater);
        return status;
    }

    // Kills apply at moments spread over a whole run, on one file system and across two,
    // and checks what each kill leaves and that the next start finishes it.
    void killAndRerun()
    {
        Tree release = m_old;
        for (const auto& [relative, bytes] : m_new)
            release[relative] = bytes;

        int partialStates = 0;
        for (const bool across : {false, true}) {
            const fs::path staging = home(across);
            if (staging.empty()) {
                std::cout << "no tmpfs at /dev/shm: the copy across file systems is not exercised\n";
                continue;
            }
            // One whole run counts the file events that the kills are spread over.
            reset(staging);
            int events = 0;
            {
                FolderWatch watch(install());
                const int status = runApply(staging, [&](pid_t) {});
                ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
                events = watch.poll(0);
            }
            ASSERT_EQ(filesBelow(install()), release) << "an apply without kill";
            ASSERT_GE(events, static_cast<int>(m_new.size())) << "a rename into place per file at least";

            std::vector<int> kills;
            for (int kill = 0; kill < kKillsPerStaging; ++kill)
                kills.push_back(events * kill / kKillsPerStaging);
            // The client goes last: its replacement and what follows lie in the last events.
            if (m_new.count("Kavrel"))
                for (int back = 6; back >= 1; --back)
                    kills.push_back(events - back);
            for (const int after : kills) {
                const std::string name = std::string(across ? "across file systems" : "same file system") +
                                         ", killed after event " + std::to_string(after) + " of " + std::to_string(events);
                reset(staging);
                {
                    FolderWatch watch(install());
                    // A late kill may come after the updater has finished: that round then
                    // checks a whole run instead.
                    (void)runApply(staging, [&](pid_t updater) {
                        while (watch.poll(after == 0 ? 0 : 5) < after && !ended(updater)) {
                        }
                        ::kill(updater, SIGKILL);
                    });
                }

                int replaced = 0;
                const Tree installed = filesBelow(install());
                for (const auto& [relative, bytes] : installed) {
                    if (relative.find(".~") != std::string::npos)
                        continue; // a copy in progress, never an installed file
                    if (relative == "vmupdate.pending")
                        continue; // the marker of the apply under way
                    const auto oldVersion = m_old.find(relative);
                    const auto newVersion = m_new.find(relative);
                    const bool isOld = oldVersion != m_old.end() && oldVersion->second == bytes;
                    const bool isNew = newVersion != m_new.end() && newVersion->second == bytes;
                    EXPECT_TRUE(isOld || isNew) << name << ": " << relative << " is neither version";
                    replaced += isNew && !isOld;
                }
                for (const auto& [relative, bytes] : m_old)
                    EXPECT_TRUE(installed.count(relative)) << name << ": " << relative << " is gone";
                if (replaced > 0 && replaced < static_cast<int>(m_new.size()))
                    ++partialStates;
                // The client that starts next is the one installed now, with its own version,
                // and hands over as the client does: a staging manifest of its version, or
                // the marker of an apply under way.
                const bool newClient = m_new.count("Kavrel") && installed.at("Kavrel") == m_new.at("Kavrel");
                const std::string version = newClient ? "3.0.0.26" : "3.0.0.25";
                EXPECT_TRUE(fs::exists(staging / ("Kavrel_update_" + version) / "vmupdate.xml_tmp.xml") ||
                            fs::exists(install() / "vmupdate.pending"))
                    << name << ": the next start must hand over again";

                const int status = runApply(staging, [](pid_t) {}, version);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name;
                EXPECT_EQ(filesBelow(install()), release) << name << ": the rerun did not finish the job";
                EXPECT_FALSE(fs::exists(staging / "Kavrel_update_3.0.0.25")) << name;
                if (m_new.count("Kavrel")) {
                    EXPECT_EQ(filesBelow(install()).at("Kavrel"), m_new.at("Kavrel")) << name << ": the new client";
                }
            }
        }
        // Kills that land between the first and the last replacement are what this test is for.
        EXPECT_GT(partialStates, 0);
    }

    Tree m_old;
    Tree m_new;
    fs::path m_otherHome;
};

TEST_F(ApplyKillTest, EveryFileIsOldOrNewAndTheRerunFinishes)
{
    killAndRerun();
}

// The client's version changes with the release: whichever client a kill leaves
// installed, its next start hands over and the rerun ends in the release.
TEST_F(ApplyKillTest, VersionChangingReleaseEndsAsTheRelease)
{
    replaceTheClientToo();
    killAndRerun();
}

} // namespace

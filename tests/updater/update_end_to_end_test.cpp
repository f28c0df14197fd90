// A whole update cycle against a real web server: make a key pair, publish and sign an
// installation with generate mode, serve the published folder with nginx on loopback, run check mode from a stale
// installation, hand over to apply mode from a stand-in client that ends at once, and
// find the installation equal to the published one and the client restarted with -finup.
#include "LoopbackSocket.h"
#include "TempDir.h"
#include "UpdateTestFiles.h"
#include "UpdaterChildProcess.h"
#include "NginxServer.h"
#include "UpdateTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::UpdaterChildProcess;
using updatertest::randomBytes;

using testsupport::kBuiltUpdater;
using testsupport::kTestParent;

using Nginx = testsupport::NginxServer;
using testsupport::filesBelow;

using UpdateEndToEndTest = testsupport::TempDirTest;

TEST_F(UpdateEndToEndTest, PublishCheckApplyRestart)
{
    if (!fs::exists(testsupport::kNginx))
        GTEST_SKIP() << "no " << testsupport::kNginx;
    const fs::path top = m_dir.path();
    const auto at = [&](const std::string& relative) { return (top / relative).string(); };

    // The new release, as the publisher has it; the client and the updater are part of it.
    fs::create_directories(top / "release");
    fs::copy_file(kTestParent, top / "release/Kavrel");
    fs::copy_file(kBuiltUpdater, top / "release/vmUpdate");
    m_dir.write("release/domain.vmx", "<domain><host>127.0.0.1</host></domain>\n");
    m_dir.write("release/data/config.ini", "[info]\r\nversion=3.0.0.26\r\n");
    m_dir.write("release/skin/config.xml", "<skin version=\"26\"/>\n");
    m_dir.write("release/skin/images/\xE8\x83\x8C\xE6\x99\xAF.png", randomBytes(70000, 1));
    m_dir.write("release/skin/images/deep/big.bin", randomBytes(3 * 1024 * 1024 + 17, 2));
    m_dir.write("release/.svn/entries", "not published");

    // The installation, one release behind, with a file of the member's own.
    fs::copy(top / "release", top / "Kavrel", fs::copy_options::recursive);
    fs::remove_all(top / "Kavrel/.svn");
    m_dir.write("Kavrel/data/config.ini", "[info]\r\nversion=3.0.0.25\r\n");
    fs::remove(top / "Kavrel/skin/images/\xE8\x83\x8C\xE6\x99\xAF.png");
    m_dir.write("Kavrel/skin/images/deep/big.bin", randomBytes(3 * 1024 * 1024 + 17, 3));
    m_dir.write("Kavrel/data/user.ini", "member's own");
    fs::create_directories(top / "home");
    fs::create_directories(top / "run");

    const std::map<std::string, std::string> environment{{"HOME", at("home")},
                                                         {"XDG_CONFIG_HOME", at("home/.config")},
                                                         {"XDG_RUNTIME_DIR", at("run")},
                                                         {"KAVREL_UPDATER_PAUSE_MS", "0"},
                                                         {"KAVREL_TEST_RECORD", at("record.txt")}};
    const std::string updater = at("Kavrel/vmUpdate");

    // Keys: the installation and the release both trust the publisher's key.
    {
        UpdaterChildProcess keys(updater, {"-k", at("keys")}, environment, at("keys.txt"));
        ASSERT_EQ(keys.wait(), 0);
    }
    fs::copy_file(top / "keys/vmupdate.pub", top / "release/vmupdate.pub");
    fs::copy_file(top / "keys/vmupdate.pub", top / "Kavrel/vmupdate.pub");

    // Publish, signed.
    fs::create_directories(top / "www/SOFTWARES/VEL_SOFT_V2013");
    {
        std::map<std::string, std::string> signing = environment;
        signing["VMUPDATE_SIGNING_KEY"] = at("keys/vmupdate.key");
        UpdaterChildProcess generate(updater, {"-g", at("www/SOFTWARES/VEL_SOFT_V2013/update"), "vmupdate.xml",
                                               "3.0.0.26", at("release")},
                                     signing, at("generate.txt"));
        ASSERT_EQ(generate.wait(), 0);
        EXPECT_EQ(generate.output(), "");
    }
    EXPECT_TRUE(fs::exists(top / "www/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml.sig"));
    EXPECT_FALSE(fs::exists(top / "www/SOFTWARES/VEL_SOFT_V2013/update/entries"));

    Nginx nginx(top / "nginx", top / "www");
    ASSERT_TRUE(nginx.ready()) << TempDir::readFile(top / "nginx/error.log");
    const std::string url =
        "http://127.0.0.1:" + std::to_string(nginx.port()) + "/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml";

    // Check: three files differ and are staged.
    {
        UpdaterChildProcess check(updater, {"-c", url, "3.0.0.25", at("Kavrel")}, environment, at("check.txt"));
        ASSERT_EQ(check.wait(), 2) << nginx.accessLog();
        EXPECT_EQ(check.output(), "");
    }
    const std::string staging = at("home/Kavrel_update_3.0.0.25");
    EXPECT_TRUE(fs::exists(staging + "/vmupdate.xml_tmp.xml"));
    EXPECT_EQ(filesBelow(staging).size(), 6u) << "three files, the staging manifest, the signed manifest and its .sig";
    EXPECT_NE(nginx.accessLog().find("GET /SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml.sig HTTP/1.1\" 200"),
              std::string::npos)
        << nginx.accessLog();
    EXPECT_NE(nginx.accessLog().find("GET /SOFTWARES/VEL_SOFT_V2013/update/%E8%83%8C%E6%99%AF.png HTTP/1.1\" 200"),
              std::string::npos)
        << nginx.accessLog();

    // Apply, handed over by a client that ends at once; the updater restarts it.
    {
        UpdaterChildProcess client(at("Kavrel/Kavrel"), {updater, "-r", url, "3.0.0.25", at("Kavrel")}, environment,
                                   at("apply.txt"));
        EXPECT_EQ(client.wait(), 0);
    }
    ASSERT_TRUE(testsupport::waitUntil([&] { return !TempDir::readFile(at("record.txt")).empty(); }))
        << TempDir::readFile(at("apply.txt"));
    EXPECT_EQ(TempDir::readFile(at("record.txt")), "-finup\n");
    const std::string applied = TempDir::readFile(at("apply.txt"));
    EXPECT_TRUE(applied == "wait for close parent\r\nclose parent\r\ndelete folder succ\r\n" ||
                applied == "wait for close parent\r\nget Parent Handle fail!!!\r\ndelete folder succ\r\n")
        << applied;
    EXPECT_FALSE(fs::exists(staging));

    std::map<std::string, std::string> installed = filesBelow(top / "Kavrel");
    EXPECT_EQ(installed["data/user.ini"], "member's own");
    installed.erase("data/user.ini");
    // The accepted release, recorded against a later replay of an older one.
    EXPECT_EQ(installed["vmupdate.accepted"].substr(20), " 3.0.0.26\n");
    installed.erase("vmupdate.accepted");
    std::map<std::string, std::string> released = filesBelow(top / "release");
    released.erase(".svn/entries");
    EXPECT_TRUE(installed == released) << "the installation differs from the release";
    EXPECT_EQ(fs::status(top / "Kavrel/Kavrel").permissions() & fs::perms::owner_exec, fs::perms::owner_exec);

    // The next check finds nothing to do.
    UpdaterChildProcess again(updater, {"-c", url, "3.0.0.25", at("Kavrel")}, environment, at("again.txt"));
    EXPECT_EQ(again.wait(), 3);
}

} // namespace

// check and apply against a loopback server that records what it was asked for.
#include "updater/Generator.h"
#include "updater/UpdateProcedure.h"

#include "TempDir.h"
#include "UpdaterTestServer.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using Fault = testsupport::UpdaterTestServer::Fault;
using Strings = std::vector<std::string>;

class UpdateProcedureTest : public testsupport::TempDirTest {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }

    UpdateProcedureTest()
    {
        fs::create_directories(m_dir.path() / "docs");
        m_context.documentsFolder = (m_dir.path() / "docs").string();
        m_context.out = &m_out;
        // A stalled transfer costs a second here, three hours in production.
        m_context.transferTimeoutSeconds = 1;
        m_context.connectTimeoutSeconds = 1;
    }

    std::string install() const { return (m_dir.path() / "Kavrel").string(); }
    std::string staging() const { return (m_dir.path() / "docs/Kavrel_update_3.0.0.25").string(); }
    std::string manifestUrl() const { return m_server.url("vmupdate.xml"); }

    // Publishes `files` (relative path -> content) as version `version` through generate
    // mode, and serves the result.
    void publish(const std::map<std::string, std::string>& files, const std::string& version = "3.0.0.26")
    {
        fs::remove_all(m_dir.path() / "src");
        fs::create_directories(m_dir.path() / "src");
        for (const auto& [relative, bytes] : files)
            m_dir.write("src/" + relative, bytes);
        const std::string output = (m_dir.path() / "pub").string();
        updater::generate(output, "vmupdate.xml", version, (m_dir.path() / "src").string());
        for (const auto& entry : fs::directory_iterator(output))
            m_server.put(entry.path().filename().string(), testsupport::TempDir::readFile(entry.path()));
    }

    void installFiles(const std::map<std::string, std::string>& files)
    {
        for (const auto& [relative, bytes] : files)
            m_dir.write("Kavrel/" + relative, bytes);
    }

    int check(bool force = false) { return updater::check(m_context, manifestUrl(), "3.0.0.25", install(), std::nullopt, force); }
    int apply(const std::string& version = "3.0.0.25")
    {
        return updater::apply(m_context, manifestUrl(), version, install());
    }

    Strings requested(const Strings& names) const
    {
        Strings paths;
        for (const auto& name : names)
            paths.push_back(testsupport::UpdaterTestServer::pathOf(name));
        return paths;
    }

    Strings stagingContent() const
    {
        Strings names;
        std::error_code error;
        for (fs::directory_iterator it(staging(), error), end; !error && it != end; it.increment(error))
            names.push_back(it->path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string stagingManifest(const Strings& targets, const std::string& version = "3.0.0.26") const
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates>\n    <files>\n";
        for (const auto& target : targets)
            xml += "        <item targetfile=\"" + target + "\"/>\n";
        return xml + "    </files>\n    <ver>" + version + "</ver>\n</updates>\n";
    }

    void stage(const Strings& targets, const std::map<std::string, std::string>& copies, const std::string& version)
    {
        m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", stagingManifest(targets, version));
        for (const auto& [name, bytes] : copies)
            m_dir.write("docs/Kavrel_update_3.0.0.25/" + name, bytes);
    }

    testsupport::UpdaterTestServer m_server;
    std::ostringstream m_out;
    updater::UpdateContext m_context;
};

TEST_F(UpdateProcedureTest, NothingToDoFetchesOnlyTheManifest)
{
    publish({{"a.txt", "same"}, {"data/config.ini", "same too"}});
    installFiles({{"a.txt", "same"}, {"data/config.ini", "same too"}});

    EXPECT_EQ(check(), 0);
    EXPECT_EQ(m_server.requests(), requested({"vmupdate.xml"}));
    EXPECT_TRUE(fs::is_directory(staging()));
    EXPECT_EQ(stagingContent(), Strings{}) << "the local manifest copy is gone and nothing is staged";
    EXPECT_EQ(m_out.str(), "");
}

TEST_F(UpdateProcedureTest, OneChangedFileIsFetchedAndStaged)
{
    publish({{"a.txt", "same"}, {"data/config.ini", "new settings"}});
    installFiles({{"a.txt", "same"}, {"data/config.ini", "old settings"}});

    EXPECT_EQ(check(), 1);
    EXPECT_EQ(m_server.requests(), requested({"vmupdate.xml", "config.ini"}));
    EXPECT_EQ(stagingContent(), (Strings{"config.ini", "vmupdate.xml_tmp.xml"}));
    EXPECT_EQ(m_dir.read("docs/Kavrel_update_3.0.0.25/config.ini"), "new settings");
    EXPECT_EQ(m_dir.read("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml"),
              stagingManifest({"\\data\\config.ini"}));
    EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "old settings") << "check never touches the installation";

    EXPECT_EQ(apply(), 0);
    EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "new settings");
    EXPECT_FALSE(fs::exists(staging()));
    EXPECT_EQ(m_out.str(), "delete folder succ\r\n");
}

TEST_F(UpdateProcedureTest, OneOfThreeFailsTheOthersAreInstalled)
{
    publish({{"one.txt", "1 new"}, {"sub/two.txt", "2 new"}, {"three.txt", "3 new"}});
    m_server.put("two.txt", "2 new", Fault::NotFound);

    EXPECT_EQ(check(), 1);
    EXPECT_EQ(m_server.requests().size(), 4u);
    const std::string listed = m_dir.read("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml");
    for (const char* target : {"\\one.txt", "\\sub\\two.txt", "\\three.txt"})
        EXPECT_NE(listed.find(target), std::string::npos) << target;
    EXPECT_FALSE(fs::exists(staging() + "/two.txt")) << "an error page is never staged";

    EXPECT_EQ(apply(), 0);
    EXPECT_EQ(m_dir.read("Kavrel/one.txt"), "1 new");
    EXPECT_EQ(m_dir.read("Kavrel/three.txt"), "3 new");
    EXPECT_FALSE(fs::exists(m_dir.path() / "Kavrel/sub/two.txt"));
    EXPECT_EQ(m_out.str(), "RestoreFile " + install() + "/sub/two.txt fail\r\ndelete folder succ\r\n");
}

TEST_F(UpdateProcedureTest, EqualVersionOnlyWhenForced)
{
    publish({{"a.txt", "new"}}, "3.0.0.25");
    installFiles({{"a.txt", "old"}});

    EXPECT_EQ(check(false), -1);
    EXPECT_EQ(m_server.requests(), requested({"vmupdate.xml"}));
    EXPECT_EQ(stagingContent(), Strings{});

    EXPECT_EQ(check(true), 1);
    EXPECT_EQ(m_dir.read("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml"),
              stagingManifest({"\\a.txt"}, "3.0.0.25"));
    EXPECT_EQ(apply(), 0) << "a staged version equal to the client's is applied";
    EXPECT_EQ(m_dir.read("Kavrel/a.txt"), "new");
}

TEST_F(UpdateProcedureTest, CheckRecreatesTheStagingFolderAndTheInstallFolder)
{
    m_dir.write("docs/Kavrel_update_3.0.0.25/leftover.~vm", "old attempt");
    publish({{"a.txt", "new"}});
    EXPECT_EQ(check(), 1);
    EXPECT_TRUE(fs::is_directory(install()));
    EXPECT_EQ(stagingContent(), (Strings{"a.txt", "vmupdate.xml_tmp.xml"}));
}

TEST_F(UpdateProcedureTest, StagingFolderThatCannotBeMade)
{
    fs::remove_all(m_dir.path() / "docs");
    publish({{"a.txt", "new"}});
    EXPECT_EQ(check(), -1);
    EXPECT_EQ(m_out.str(), "fail create path: " + staging() + "\r\n");
    EXPECT_EQ(m_server.requests(), Strings{});
}

TEST_F(UpdateProcedureTest, ApplyByStagedVersion)
{
    struct Case {
        const char* name;
        const char* stagedVersion;
        bool installed;
    } cases[] = {
        {"older than the client", "3.0.0.24", false},
        {"equal", "3.0.0.25", true},
        {"newer", "3.0.1", true},
    };
    for (const Case& c : cases) {
        installFiles({{"data/config.ini", "old"}});
        stage({"\\data\\config.ini"}, {{"config.ini", "new"}}, c.stagedVersion);
        m_out.str("");
        EXPECT_EQ(apply(), 0) << c.name;
        EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), c.installed ? "new" : "old") << c.name;
        EXPECT_FALSE(fs::exists(staging())) << c.name;
        EXPECT_EQ(m_out.str(), "delete folder succ\r\n") << c.name;
    }
}

TEST_F(UpdateProcedureTest, ApplyCreatesMissingFoldersAndReportsMissingCopies)
{
    installFiles({{"Kavrel", "old program"}});
    stage({"\\skin\\new\\deep\\pic.png", "\\gone.txt", "\\Kavrel"}, {{"pic.png", "picture"}, {"Kavrel", "new program"}},
          "3.0.0.26");
    fs::permissions(install() + "/Kavrel", fs::perms(0755));

    EXPECT_EQ(apply(), 0);
    EXPECT_EQ(m_dir.read("Kavrel/skin/new/deep/pic.png"), "picture");
    EXPECT_EQ(m_dir.read("Kavrel/Kavrel"), "new program");
    EXPECT_EQ(fs::status(install() + "/Kavrel").permissions(), fs::perms(0755)) << "the client stays executable";
    EXPECT_EQ(m_out.str(), "RestoreFile " + install() + "/gone.txt fail\r\ndelete folder succ\r\n");
}

TEST_F(UpdateProcedureTest, ApplyWithoutStagingOrInstallFolder)
{
    EXPECT_EQ(apply(), -1) << "no install folder";
    fs::create_directories(install());
    EXPECT_EQ(apply(), 1) << "nothing staged";
    EXPECT_EQ(m_out.str(), "");
}

TEST_F(UpdateProcedureTest, UnreadableStagingManifestIsRetired)
{
    installFiles({{"a.txt", "old"}});
    for (const char* xml : {"<updates><files>", "<updates><files><item targetfile=\"\\..\\a.txt\"/></files>"
                                                "<ver>3.0.0.26</ver></updates>"}) {
        m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", xml);
        m_dir.write("docs/Kavrel_update_3.0.0.25/a.txt", "new");
        EXPECT_EQ(apply(), 1) << xml;
        EXPECT_FALSE(fs::exists(staging() + "/vmupdate.xml_tmp.xml")) << "the client would hand over forever";
        EXPECT_EQ(m_dir.read("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml.bad"), xml);
        EXPECT_EQ(m_dir.read("Kavrel/a.txt"), "old");
        EXPECT_FALSE(fs::exists(m_dir.path() / "a.txt"));
    }
}

TEST_F(UpdateProcedureTest, EscapingManifestFetchesStagesAndWritesNothing)
{
    installFiles({{"a.txt", "old"}});
    const std::string outside = (m_dir.path() / "outside.txt").string();
    const std::string xml = "<?xml version=\"1.0\"?><collect><hashfiles>"
                            "<file path=\"\\a.txt\" md5=\"00\" crc32=\"0\" size=\"3\"/>"
                            "<file path=\"\\..\\outside.txt\" md5=\"00\" crc32=\"0\" size=\"3\"/>"
                            "</hashfiles><ver>9</ver></collect>";
    m_server.put("vmupdate.xml", xml);
    m_server.put("a.txt", "bad");
    m_server.put("outside.txt", "bad");

    EXPECT_EQ(check(true), -1);
    EXPECT_EQ(m_server.requests(), requested({"vmupdate.xml"}));
    EXPECT_EQ(stagingContent(), Strings{});
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(m_dir.read("Kavrel/a.txt"), "old");
}

// Every way a transfer fails; each test below meets all of them.
const struct TransferFault {
    const char* name;
    Fault fault;
} kTransferFaults[] = {
    {"404", Fault::NotFound},
    {"500", Fault::ServerError},
    {"fewer bytes than announced", Fault::ShortBody},
    {"stall", Fault::Stall},
};

TEST_F(UpdateProcedureTest, FailedTransfersAreNeverStaged)
{
    for (const TransferFault& c : kTransferFaults) {
        publish({{"good.txt", "good"}, {"bad.bin", std::string(5000, 'b')}});
        m_server.put("bad.bin", std::string(5000, 'b'), c.fault);
        EXPECT_EQ(check(), 1) << c.name;
        EXPECT_EQ(stagingContent(), (Strings{"bad.bin.~vm", "good.txt", "vmupdate.xml_tmp.xml"})) << c.name;
        fs::remove_all(staging());
    }
}

TEST_F(UpdateProcedureTest, CorruptDownloadIsNotInstalled)
{
    publish({{"data/lib.so", "the real library"}, {"other.txt", "fine"}});
    m_server.put("lib.so", "tampered bytes!!"); // same length, other digest
    installFiles({{"data/lib.so", "old library"}});

    EXPECT_EQ(check(), 1);
    EXPECT_FALSE(fs::exists(staging() + "/lib.so"));
    EXPECT_EQ(apply(), 0);
    EXPECT_EQ(m_dir.read("Kavrel/data/lib.so"), "old library");
    EXPECT_EQ(m_dir.read("Kavrel/other.txt"), "fine");
    EXPECT_EQ(m_out.str(), "RestoreFile " + install() + "/data/lib.so fail\r\ndelete folder succ\r\n");
}

TEST_F(UpdateProcedureTest, ManifestThatCannotBeFetched)
{
    for (const TransferFault& c : kTransferFaults) {
        m_server.put("vmupdate.xml", "<collect><hashfiles/><ver>9</ver></collect>", c.fault);
        EXPECT_EQ(check(true), -1) << c.name;
        EXPECT_EQ(stagingContent(), Strings{"vmupdate.xml.~vm"}) << c.name;
    }

    testsupport::ResettingServer resetting;
    EXPECT_EQ(updater::check(m_context, resetting.url("vmupdate.xml"), "3.0.0.25", install(), std::nullopt, true), -1);
    EXPECT_GE(resetting.accepted(), 1);
}

TEST_F(UpdateProcedureTest, NamesAreEncodedInTheFileUrl)
{
    publish({{"skin/\xE5\x9B\xBE 1#.png", "picture"}});
    EXPECT_EQ(check(), 1);
    EXPECT_EQ(m_server.requests(), requested({"vmupdate.xml", "\xE5\x9B\xBE 1#.png"}));
    EXPECT_EQ(m_dir.read("docs/Kavrel_update_3.0.0.25/\xE5\x9B\xBE 1#.png"), "picture");
}

TEST(UpdaterStagingFolder, NameFromTheInstallFolder)
{
    EXPECT_EQ(updater::stagingFolder("/home/u/Documents", "3.0.0.25", "/opt/Kavrel"),
              "/home/u/Documents/Kavrel_update_3.0.0.25");
    EXPECT_EQ(updater::stagingFolder("/home/u", "3.0.0.25", "/opt/Kavrel/"), "/home/u/_update_3.0.0.25");
    EXPECT_EQ(updater::stagingFolder("/home/u", "1", "Kavrel"), "/home/u/_update_1");
    EXPECT_EQ(updater::manifestName("http://h/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml"), "vmupdate.xml");
}

} // namespace

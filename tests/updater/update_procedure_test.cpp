// check and apply against a loopback server that records what it was asked for.
#include "updater/Generator.h"
#include "updater/Manifest.h"
#include "updater/Signature.h"
#include "updater/UpdateProcedure.h"

#include "platform/MD5.h"

#include "TempDir.h"
#include "UpdaterTestServer.h"

#include <ctime>
#include <curl/curl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sodium.h>
#include <sstream>
#include <unistd.h>

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
    // mode, and serves the result; with `times`, as a publication to be signed.
    void publish(const std::map<std::string, std::string>& files, const std::string& version = "3.0.0.26",
                 const updater::PublicationTimes* times = nullptr)
    {
        fs::remove_all(m_dir.path() / "src");
        fs::create_directories(m_dir.path() / "src");
        for (const auto& [relative, bytes] : files)
            m_dir.write("src/" + relative, bytes);
        const std::string output = (m_dir.path() / "pub").string();
        updater::generate(output, "vmupdate.xml", version, (m_dir.path() / "src").string(), times);
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

    // A staged item: its target and the content its md5 and size describe.
    struct Item {
        std::string target;
        std::string content;
    };

    static std::string md5Of(const std::string& content)
    {
        if (content.empty())
            return "";
        std::string hex = velmar::md5(content);
        for (char& c : hex)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return hex;
    }

    std::string stagingManifest(const std::vector<Item>& items, const std::string& version = "3.0.0.26") const
    {
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates>\n    <files>\n";
        for (const auto& item : items)
            xml += "        <item targetfile=\"" + item.target + "\" md5=\"" + md5Of(item.content) + "\" size=\"" +
                   std::to_string(item.content.size()) + "\"/>\n";
        return xml + "    </files>\n    <ver>" + version + "</ver>\n</updates>\n";
    }

    void stage(const std::vector<Item>& items, const std::map<std::string, std::string>& copies,
               const std::string& version)
    {
        m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", stagingManifest(items, version));
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
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates>\n    <files>\n"
              "        <item targetfile=\"\\data\\config.ini\" md5=\"A99249B6EF9EF51BB2F5392EB7D3EA14\" size=\"12\"/>\n"
              "    </files>\n    <ver>3.0.0.26</ver>\n</updates>\n");
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
              stagingManifest({{"\\a.txt", "new"}}, "3.0.0.25"));
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
        stage({{"\\data\\config.ini", "new"}}, {{"config.ini", "new"}}, c.stagedVersion);
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
    stage({{"\\skin\\new\\deep\\pic.png", "picture"}, {"\\gone.txt", "gone"}, {"\\Kavrel", "new program"}},
          {{"pic.png", "picture"}, {"Kavrel", "new program"}}, "3.0.0.26");
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

// A kill after apply removed the staging manifest leaves the copies and the marker of the
// apply under way: the next apply ends both and installs nothing. Without the marker such a
// folder is not an apply's and stays.
TEST_F(UpdateProcedureTest, ApplyKilledAfterItsManifestWentIsCleanedUpByTheNext)
{
    installFiles({{"a.txt", "new"}});
    for (const bool marked : {true, false}) {
        m_dir.write("docs/Kavrel_update_3.0.0.25/a.txt", "new");
        if (marked)
            m_dir.write("Kavrel/vmupdate.pending", "3.0.0.25\n");
        // The client that starts next may be the new one: the marker names the folder.
        EXPECT_EQ(apply(marked ? "3.0.0.26" : "3.0.0.25"), 1) << marked;
        EXPECT_EQ(fs::exists(staging()), !marked) << marked;
        EXPECT_FALSE(fs::exists(install() + "/vmupdate.pending")) << marked;
        EXPECT_EQ(m_dir.read("Kavrel/a.txt"), "new");
        EXPECT_EQ(m_out.str(), "");
    }
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

TEST_F(UpdateProcedureTest, NoFileArrivedAnnouncesNoUpdate)
{
    publish({{"one.txt", "1 new"}, {"two.txt", "2 new"}});
    m_server.put("one.txt", "1 new", Fault::NotFound);
    m_server.put("two.txt", "tampered", Fault::None);

    EXPECT_EQ(check(), -1);
    Strings requests = m_server.requests();
    std::sort(requests.begin() + 1, requests.end());
    EXPECT_EQ(requests, requested({"vmupdate.xml", "one.txt", "two.txt"}));
    EXPECT_FALSE(fs::exists(staging() + "/vmupdate.xml_tmp.xml")) << "the client would announce an update";
    EXPECT_EQ(apply(), 1);
}

TEST_F(UpdateProcedureTest, StagedCopyChangedSinceCheckIsNotInstalled)
{
    struct Case {
        const char* name;
        std::string listedXml; // the item as the staging manifest lists it
        std::string stagedCopy;
        bool installed;
    } cases[] = {
        {"intact", stagingManifest({{"\\data\\lib.so", "new library"}}), "new library", true},
        {"same size, other bytes", stagingManifest({{"\\data\\lib.so", "new library"}}), "new LIBRARY", false},
        {"cut short", stagingManifest({{"\\data\\lib.so", "new library"}}), "new lib", false},
        {"listed by an older updater, without md5 and size",
         "<updates><files><item targetfile=\"\\data\\lib.so\"/></files><ver>3.0.0.26</ver></updates>", "new library",
         false},
    };
    for (const Case& c : cases) {
        installFiles({{"data/lib.so", "old library"}});
        m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", c.listedXml);
        m_dir.write("docs/Kavrel_update_3.0.0.25/lib.so", c.stagedCopy);
        m_out.str("");
        EXPECT_EQ(apply(), 0) << c.name;
        EXPECT_EQ(m_dir.read("Kavrel/data/lib.so"), c.installed ? "new library" : "old library") << c.name;
        EXPECT_EQ(m_out.str(), std::string(c.installed ? "" : "RestoreFile " + install() + "/data/lib.so fail\r\n") +
                                   "delete folder succ\r\n")
            << c.name;
    }
}

// The server manifest signed or not, against installations with and without keys.
class SignedUpdateTest : public UpdateProcedureTest {
protected:
    // Two publisher keys, as -k writes them.
    SignedUpdateTest()
    {
        for (const char* name : {"keys1", "keys2"}) {
            std::string error;
            EXPECT_TRUE(updater::generateKeyPair(m_dir.path() / name, &error)) << error;
        }
    }
    std::string publicLine(const char* keys) const { return m_dir.read(std::string(keys) + "/vmupdate.pub"); }
    updater::SecretKey secretKey(const char* keys) const
    {
        return *updater::parseSecretKey(m_dir.read(std::string(keys) + "/vmupdate.key"));
    }
    std::string signatureLine(const std::string& bytes, const char* keys) const
    {
        const updater::Signature signature = updater::signMessage(bytes, secretKey(keys));
        std::string text(sodium_base64_ENCODED_LEN(signature.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
        sodium_bin2base64(text.data(), text.size(), signature.data(), signature.size(), sodium_base64_VARIANT_ORIGINAL);
        return text.c_str() + std::string("\n");
    }

    // Publishes `files` signed by keys1 and serves manifest, signature and files.
    void publishSigned(const std::map<std::string, std::string>& files, const std::string& version,
                       const updater::PublicationTimes& times)
    {
        publish(files, version, &times);
        m_server.put("vmupdate.xml.sig", signatureLine(m_dir.read("pub/vmupdate.xml"), "keys1"));
    }

    // The installation one release behind, trusting keys1, with nothing staged.
    void resetInstallation()
    {
        fs::remove_all(install());
        fs::remove_all(staging());
        installFiles({{"a.txt", "old"}, {"Kavrel", "old program"}});
        m_dir.write("Kavrel/vmupdate.pub", publicLine("keys1"));
        m_out.str("");
        m_err.str("");
        m_context.err = &m_err;
        m_server.clearRequests();
    }

    // Signed a day ago, valid for another 29.
    const std::int64_t m_now = std::time(nullptr);
    updater::PublicationTimes m_times{m_now - 86400, m_now + 29 * 86400};
    std::ostringstream m_err;
};

// Every way a server (or whoever answers for it) tries to get bytes staged or installed
// that the publisher did not sign; the first row is the genuine release.
TEST_F(SignedUpdateTest, HostileServerGetsNothingUnsignedInstalled)
{
    const std::string release(3000, 'n');
    const std::string url = manifestUrl();
    const updater::PublicationTimes expired{m_now - 40 * 86400, m_now - 10 * 86400};
    const std::string keys2Signature = [&] {
        publish({{"a.txt", release}, {"b.txt", "fine"}}, "3.0.0.26", &m_times);
        return signatureLine(m_dir.read("pub/vmupdate.xml"), "keys2");
    }();
    const Strings all = {"vmupdate.xml", "vmupdate.xml.sig", "a.txt", "b.txt"};
    const Strings verified = {"vmupdate.xml", "vmupdate.xml.sig"};
    const Strings partlyStaged = {"a.txt.~vm", "b.txt", "vmupdate.xml", "vmupdate.xml.sig", "vmupdate.xml_tmp.xml"};

    struct Case {
        const char* name;
        std::function<void()> arrange; // after the genuine release is published and served
        int result;
        Strings requests; // after the manifest and its signature, in any order
        std::string error;
        Strings staged;
        bool installed; // a.txt is the release's after apply
    } cases[] = {
        {"genuine release", [] {}, 1, all, "", {"a.txt", "b.txt", "vmupdate.xml", "vmupdate.xml.sig", "vmupdate.xml_tmp.xml"},
         true},
        {"replayed older signed manifest",
         [&] {
             publishSigned({{"a.txt", "newest"}}, "3.0.0.27", m_times);
             ASSERT_EQ(check(), 1);
             fs::remove_all(staging());
             publishSigned({{"a.txt", release}, {"b.txt", "fine"}}, "3.0.0.26", m_times);
             m_server.clearRequests();
         },
         -1, verified,
         "vmUpdate: " + url + " is version 3.0.0.26 signed " + updater::formatManifestTime(m_times.signedAt) +
             ", older than the accepted 3.0.0.27 signed " + updater::formatManifestTime(m_times.signedAt) +
             "; the manifest is refused\n",
         {}, false},
        {"expired manifest", [&] { publishSigned({{"a.txt", release}, {"b.txt", "fine"}}, "3.0.0.26", expired); }, -1,
         verified,
         "vmUpdate: " + url + " expired at " + updater::formatManifestTime(expired.expires) +
             "; the manifest is refused\n",
         {}, false},
        {"signed manifest without sha256",
         [&] {
             publish({{"a.txt", release}, {"b.txt", "fine"}});
             m_server.put("vmupdate.xml.sig", signatureLine(m_dir.read("pub/vmupdate.xml"), "keys1"));
         },
         -1, verified, "", {}, false},
        {"endless body", [&] { m_server.put("a.txt", "", Fault::Endless); }, 1, all, "", partlyStaged, false},
        {"body larger than signed", [&] { m_server.put("a.txt", release + release); }, 1, all, "", partlyStaged, false},
        {"slow drip", [&] { m_server.put("a.txt", release, Fault::Drip); }, 1, all, "", partlyStaged, false},
        {"manifest over the cap", [&] { m_server.put("vmupdate.xml", std::string((16 << 20) + 1, ' ')); }, -1,
         {"vmupdate.xml"}, "", {"vmupdate.xml.~vm"}, false},
        {"signature over the cap", [&] { m_server.put("vmupdate.xml.sig", std::string(5000, 'A')); }, -1, verified,
         "vmUpdate: no signature at " + url + ".sig; the manifest is refused\n", {}, false},
        {"full disk", [&] { m_context.freeSpace = [](const std::string&) { return std::optional<std::uint64_t>(1000); }; },
         -1, verified,
         "vmUpdate: " + staging() + " has 1000 bytes free, the update needs " +
             std::to_string(updater::kFreeSpaceMargin + 3004) + "; nothing is staged\n",
         {}, false},
        {"built-in key: the folder's key file is ignored",
         [&] {
             m_context.builtInKeys = publicLine("keys1");
             m_dir.write("Kavrel/vmupdate.pub", publicLine("keys2"));
             m_server.put("vmupdate.xml.sig", keys2Signature);
         },
         -1, verified, "vmUpdate: no listed key verifies the signature of " + url + "; the manifest is refused\n", {},
         false},
        {"built-in key: no installed key file, no signature",
         [&] {
             m_context.builtInKeys = publicLine("keys1");
             fs::remove(install() + "/vmupdate.pub");
             m_server.put("vmupdate.xml.sig", "", Fault::NotFound);
         },
         -1, verified, "vmUpdate: no signature at " + url + ".sig; the manifest is refused\n", {}, false},
    };
    // The drip must be ended by the low-speed rule, not by the transfer timeout.
    m_context.transferTimeoutSeconds = 60;
    m_context.lowSpeedSeconds = 1;
    for (const Case& c : cases) {
        resetInstallation();
        m_context.freeSpace = nullptr;
        m_context.builtInKeys.reset();
        fs::remove(install() + "/vmupdate.accepted");
        publishSigned({{"a.txt", release}, {"b.txt", "fine"}}, "3.0.0.26", m_times);
        c.arrange();
        m_err.str("");

        EXPECT_EQ(check(), c.result) << c.name;
        Strings requests = m_server.requests();
        std::sort(requests.begin() + std::min<std::size_t>(2, requests.size()), requests.end());
        EXPECT_EQ(requests, requested(c.requests)) << c.name;
        if (std::string(c.name) == "signed manifest without sha256")
            EXPECT_NE(m_err.str().find("without a sha256 digest; the manifest is refused\n"), std::string::npos) << c.name;
        else
            EXPECT_EQ(m_err.str(), c.error) << c.name;
        EXPECT_EQ(stagingContent(), c.staged) << c.name;
        if (fs::exists(staging() + "/a.txt.~vm")) {
            EXPECT_LE(fs::file_size(staging() + "/a.txt.~vm"), release.size()) << c.name << ": cut at the signed size";
        }

        m_out.str("");
        (void)apply();
        EXPECT_EQ(m_dir.read("Kavrel/a.txt"), c.installed ? release : "old") << c.name;
        if (c.result == 1) {
            EXPECT_EQ(m_out.str(), std::string(c.installed ? "" : "RestoreFile " + install() + "/a.txt fail\r\n") +
                                       "delete folder succ\r\n")
                << c.name;
        }
    }
}

// A staging folder planted or changed by another program between check and apply.
TEST_F(SignedUpdateTest, PlantedOrChangedStagingInstallsNothingUnsigned)
{
    const std::string good = "good program";
    const std::string evil = "evil";
    const std::string stagedCopy = staging() + "/vmupdate.xml";
    const std::string refusedLine =
        "vmUpdate: " + stagedCopy + " is not a manifest signed by a trusted key; nothing is installed\n";
    // A genuine signed release of the client, as check stages it.
    const auto checkedRelease = [&] {
        publishSigned({{"Kavrel", good}}, "3.0.0.26", m_times);
        ASSERT_EQ(check(), 1);
        m_err.str("");
    };
    const auto stagedListing = [&](const std::string& content) {
        m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml", stagingManifest({{"\\Kavrel", content}}));
    };

    struct Case {
        const char* name;
        std::function<void()> arrange;
        int result;
        std::string out;
        std::string error;
        bool installed; // the client is the signed release's afterwards
    } cases[] = {
        {"genuine check, then apply", checkedRelease, 0, "delete folder succ\r\n", "", true},
        {"planted staging folder without a signature",
         [&] {
             stage({{"\\Kavrel", evil}}, {{"Kavrel", evil}}, "3.0.0.26");
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", refusedLine, false},
        {"planted staging folder with a copied manifest and .sig",
         [&] {
             checkedRelease();
             stagedListing(evil);
             m_dir.write("docs/Kavrel_update_3.0.0.25/Kavrel", evil);
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", "", false},
        {"signed manifest changed in the staging folder",
         [&] {
             checkedRelease();
             std::string bytes = m_dir.read("docs/Kavrel_update_3.0.0.25/vmupdate.xml");
             char& digit = bytes[bytes.find("sha256=\"") + 8];
             digit = digit == '0' ? '1' : '0';
             m_dir.write("docs/Kavrel_update_3.0.0.25/vmupdate.xml", bytes);
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", refusedLine, false},
        {"staged copy swapped after check",
         [&] {
             checkedRelease();
             m_dir.write("docs/Kavrel_update_3.0.0.25/Kavrel", "evil program");
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", "", false},
        {"staged copy replaced by a link to the right bytes",
         [&] {
             checkedRelease();
             m_dir.write("elsewhere/Kavrel", good);
             fs::remove(staging() + "/Kavrel");
             fs::create_symlink(m_dir.path() / "elsewhere/Kavrel", staging() + "/Kavrel");
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", "", false},
        {"staged copy writable by others",
         [&] {
             checkedRelease();
             fs::permissions(staging() + "/Kavrel", fs::perms(0666));
         },
         0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", "", false},
        {"staging folder is a link",
         [&] {
             checkedRelease();
             fs::rename(staging(), m_dir.path() / "moved");
             fs::create_directory_symlink(m_dir.path() / "moved", staging());
         },
         1, "", "vmUpdate: " + staging() + " is a link; nothing is installed from it\n", false},
        {"staging folder writable by others",
         [&] {
             checkedRelease();
             fs::permissions(staging(), fs::perms(0777));
         },
         1, "", "vmUpdate: " + staging() + " is writable by other users; nothing is installed from it\n", false},
    };
    std::vector<Case> rows(std::begin(cases), std::end(cases));
    // Files and folders of another user can only be made here by root.
    if (::geteuid() == 0) {
        rows.push_back({"staged copy owned by another user",
                        [&] {
                            checkedRelease();
                            ASSERT_EQ(::chown((staging() + "/Kavrel").c_str(), 65534, 65534), 0);
                        },
                        0, "RestoreFile " + install() + "/Kavrel fail\r\ndelete folder succ\r\n", "", false});
        rows.push_back({"staging folder owned by another user",
                        [&] {
                            checkedRelease();
                            ASSERT_EQ(::chown(staging().c_str(), 65534, 65534), 0);
                        },
                        1, "", "vmUpdate: " + staging() + " belongs to another user; nothing is installed from it\n",
                        false});
    }
    for (const Case& c : rows) {
        resetInstallation();
        fs::remove_all(m_dir.path() / "moved");
        c.arrange();
        m_out.str("");
        m_err.str("");
        EXPECT_EQ(apply(), c.result) << c.name;
        EXPECT_EQ(m_out.str(), c.out) << c.name;
        EXPECT_EQ(m_err.str(), c.error) << c.name;
        EXPECT_EQ(m_dir.read("Kavrel/Kavrel"), c.installed ? good : "old program") << c.name;
        EXPECT_FALSE(fs::is_symlink(staging())) << c.name << ": the client would hand over at every start";
    }
}

TEST_F(SignedUpdateTest, ManifestIsInstalledOnlyWhenAListedKeySignedIt)
{
    publish({{"a.txt", "new"}}, "3.0.0.26", &m_times);
    const std::string manifest = m_dir.read("pub/vmupdate.xml");
    std::string changed = manifest;
    changed[changed.find("3.0.0.26")] = '4';
    const std::string other = "<collect><hashfiles/><ver>3.0.0.26</ver></collect>";
    const std::string url = manifestUrl();
    const std::string refusedKey = "vmUpdate: " + install() + "/vmupdate.pub: line 2 is not a public key; no update is accepted\n";
    const std::string noSignature = "vmUpdate: no signature at " + url + ".sig; the manifest is refused\n";
    const std::string notVerified = "vmUpdate: no listed key verifies the signature of " + url + "; the manifest is refused\n";
    const std::optional<std::string> noKeyFile;

    struct Case {
        const char* name;
        std::optional<std::string> keyFile; // vmupdate.pub in the install folder
        std::string served;                 // the manifest on the server
        std::optional<std::string> signature; // its .sig on the server
        int result;
        Strings requests;
        std::string error;
    } cases[] = {
        {"signed and good", publicLine("keys1"), manifest, signatureLine(manifest, "keys1"), 1,
         {"vmupdate.xml", "vmupdate.xml.sig", "a.txt"}, ""},
        {"one byte of the manifest changed", publicLine("keys1"), changed, signatureLine(manifest, "keys1"), -1,
         {"vmupdate.xml", "vmupdate.xml.sig"}, notVerified},
        {"signature of another manifest", publicLine("keys1"), manifest, signatureLine(other, "keys1"), -1,
         {"vmupdate.xml", "vmupdate.xml.sig"}, notVerified},
        {"signed by a key not listed", publicLine("keys1"), manifest, signatureLine(manifest, "keys2"), -1,
         {"vmupdate.xml", "vmupdate.xml.sig"}, notVerified},
        {"no .sig on the server", publicLine("keys1"), manifest, std::nullopt, -1, {"vmupdate.xml", "vmupdate.xml.sig"},
         noSignature},
        {"a .sig that is no signature", publicLine("keys1"), manifest, "<html>moved</html>\n", -1,
         {"vmupdate.xml", "vmupdate.xml.sig"}, "vmUpdate: " + url + ".sig is not a signature; the manifest is refused\n"},
        {"two keys, the second signs", "# old\n" + publicLine("keys1") + "\r\n# new\n" + publicLine("keys2"), manifest,
         signatureLine(manifest, "keys2"), 1, {"vmupdate.xml", "vmupdate.xml.sig", "a.txt"}, ""},
        {"garbage in vmupdate.pub", publicLine("keys1") + "not a key\n", manifest, signatureLine(manifest, "keys1"), -1,
         {}, refusedKey},
        {"no key file: as before", noKeyFile, manifest, std::nullopt, 1, {"vmupdate.xml", "a.txt"}, ""},
    };
    for (const Case& c : cases) {
        testsupport::UpdaterTestServer server;
        server.put("vmupdate.xml", c.served);
        server.put("a.txt", "new");
        if (c.signature)
            server.put("vmupdate.xml.sig", *c.signature);
        fs::remove_all(install());
        if (c.keyFile)
            m_dir.write("Kavrel/vmupdate.pub", *c.keyFile);
        std::ostringstream errors;
        m_context.err = &errors;

        EXPECT_EQ(updater::check(m_context, server.url("vmupdate.xml"), "3.0.0.25", install(), std::nullopt, false),
                  c.result)
            << c.name;
        EXPECT_EQ(server.requests(), requested(c.requests)) << c.name;
        std::string error = c.error;
        for (std::size_t at; (at = error.find(url)) != std::string::npos;)
            error.replace(at, url.size(), server.url("vmupdate.xml"));
        EXPECT_EQ(errors.str(), error) << c.name;
        const Strings staged = c.result != 1 ? Strings{}
                               : c.keyFile ? Strings{"a.txt", "vmupdate.xml", "vmupdate.xml.sig", "vmupdate.xml_tmp.xml"}
                                           : Strings{"a.txt", "vmupdate.xml_tmp.xml"};
        EXPECT_EQ(stagingContent(), staged) << c.name;
    }
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

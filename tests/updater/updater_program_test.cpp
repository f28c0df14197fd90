// vmUpdate as a program: command line, exit codes, printed lines, the lock, the wait for
// the parent and the restart of the client. Each test gives the updater a private home,
// runtime folder (for the lock) and program folder.
#include "updater/Signature.h"
#include "updater/UpdaterProgram.h"

#include "TempDir.h"
#include "UpdaterChildProcess.h"
#include "UpdaterTestServer.h"

#include <chrono>
#include <cstdlib>
#include <curl/curl.h>
#include <fstream>
#include <thread>
#include <gtest/gtest.h>
#include <sstream>
#include <stdlib.h>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::UpdaterChildProcess;

using testsupport::kBuiltUpdater;
using testsupport::kTestParent;

// A manifest of version 3.0.0.25 (equal to the client's) listing one file that differs.
void publishEqualVersion(testsupport::UpdaterTestServer& server)
{
    server.put("vmupdate.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<collect><hashfiles>"
                               "<file path=\"\\a.txt\" md5=\"900150983CD24FB0D6963F7D28E17F72\" "
                               "crc32=\"352441C2\" size=\"3\"/></hashfiles><ver>3.0.0.25</ver></collect>\n");
    server.put("a.txt", "abc");
}

class UpdaterProgramTest : public testsupport::TempDirTest {
protected:
    UpdaterProgramTest()
    {
        for (const char* folder : {"home", "run", "prog", "Kavrel"})
            fs::create_directories(m_dir.path() / folder);
        fs::copy_file(kBuiltUpdater, updater());
    }

    std::string path(const std::string& relative) const { return (m_dir.path() / relative).string(); }
    std::string updater() const { return path("prog/vmUpdate"); }
    std::string install() const { return path("Kavrel"); }
    std::string staging() const { return path("home/Kavrel_update_3.0.0.25"); }
    std::string record() const { return testsupport::TempDir::readFile(path("record.txt")); }

    // The client the updater restarts when it cannot find its parent.
    void placeClientBesideUpdater() { fs::copy_file(kTestParent, path("prog/Kavrel")); }

    std::map<std::string, std::string> environment() const
    {
        return {{"HOME", path("home")},
                {"XDG_CONFIG_HOME", path("home/.config")},
                {"XDG_RUNTIME_DIR", path("run")},
                {"KAVREL_UPDATER_PAUSE_MS", "0"},
                {"KAVREL_TEST_RECORD", path("record.txt")}};
    }

    struct Run {
        int code;
        std::string output;
    };
    Run run(const std::vector<std::string>& arguments, const std::string& program = {})
    {
        UpdaterChildProcess child(program.empty() ? updater() : program, arguments, environment(),
                                  path("out-" + std::to_string(m_runs++) + ".txt"));
        const int code = child.wait();
        return {code, child.output()};
    }

    void stage(const std::string& version)
    {
        m_dir.write("Kavrel/data/config.ini", "old");
        m_dir.write("home/Kavrel_update_3.0.0.25/config.ini", "new");
        m_dir.write("home/Kavrel_update_3.0.0.25/vmupdate.xml_tmp.xml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<updates>\n    <files>\n"
                    "        <item targetfile=\"\\data\\config.ini\" md5=\"22AF645D1859CB5CA6DA0C484F1F37EA\" size=\"3\"/>\n"
                    "    </files>\n    <ver>" +
                        version + "</ver>\n</updates>\n");
    }

    int m_runs = 0;
    testsupport::UpdaterTestServer m_server;
};

TEST_F(UpdaterProgramTest, UnknownModesDoNothing)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-C"}, {"c"}, {"-R", "x", "y", "z"}, {"g"}, {"-check"}, {""}}) {
        const Run result = run(arguments);
        EXPECT_EQ(result.code, 0) << (arguments.empty() ? "(none)" : arguments[0]);
        EXPECT_EQ(result.output, "");
    }
    EXPECT_EQ(record(), "") << "nothing was restarted";
}

TEST_F(UpdaterProgramTest, CheckModeExitCodes)
{
    m_server.put("vmupdate.xml", "<collect><hashfiles><file path=\"\\a.txt\" md5=\"900150983CD24FB0D6963F7D28E17F72\" "
                                 "crc32=\"352441C2\" size=\"3\"/></hashfiles><ver>3.0.0.26</ver></collect>");
    m_server.put("a.txt", "abc");
    const std::string url = m_server.url("vmupdate.xml");

    EXPECT_EQ(run({"-c", url, "3.0.0.25", install()}).code, 2);
    EXPECT_EQ(TempDir::readFile(staging() + "/a.txt"), "abc");
    EXPECT_TRUE(fs::exists(staging() + "/vmupdate.xml_tmp.xml"));

    m_dir.write("Kavrel/a.txt", "abc");
    EXPECT_EQ(run({"-c", url, "3.0.0.25", install()}).code, 3) << "nothing differs";
    EXPECT_EQ(run({"-c", m_server.url("missing.xml"), "3.0.0.25", install()}).code, 3) << "no manifest";
    EXPECT_EQ(run({"-c", url, "3.0.0.25"}).code, 3) << "too few arguments";
    const Run done = run({"-c", url, "3.0.0.26", install()});
    EXPECT_EQ(done.code, 3) << "not newer";
    EXPECT_EQ(done.output, "");
}

// Expiry as the program sees it: faketime moves the clock of the checking updater only.
TEST_F(UpdaterProgramTest, SignedManifestExpiresAfterItsValidDays)
{
    ASSERT_EQ(run({"-k", path("keys")}).code, 0);
    fs::copy_file(path("keys/vmupdate.pub"), path("Kavrel/vmupdate.pub"));
    m_dir.write("release/a.txt", "abc");
    const std::string url = m_server.url("vmupdate.xml");

    struct Case {
        const char* name;
        const char* validDays; // VMUPDATE_VALID_DAYS at generate; empty: not set
        const char* later;     // faketime's offset for the check
        int code;
    } cases[] = {
        {"30 days by default, checked at once", "", "+0", 2},
        {"30 days by default, checked 29 days later", "", "+29d", 2},
        {"30 days by default, checked 31 days later", "", "+31d", 3},
        {"45 days, checked 40 days later", "45", "+40d", 2},
        {"1 day, checked 2 days later", "1", "+2d", 3},
    };
    for (const Case& c : cases) {
        std::map<std::string, std::string> signing = environment();
        signing["VMUPDATE_SIGNING_KEY"] = path("keys/vmupdate.key");
        if (*c.validDays)
            signing["VMUPDATE_VALID_DAYS"] = c.validDays;
        {
            UpdaterChildProcess generate(updater(), {"-g", path("pub"), "vmupdate.xml", "3.0.0.26", path("release")},
                                         signing, path("generate.txt"));
            ASSERT_EQ(generate.wait(), 0) << c.name;
        }
        for (const auto& entry : fs::directory_iterator(path("pub")))
            m_server.put(entry.path().filename().string(), TempDir::readFile(entry.path()));
        const std::string manifest = TempDir::readFile(path("pub/vmupdate.xml"));
        const std::size_t at = manifest.find("<expires>") + 9;
        const std::string expires = manifest.substr(at, manifest.find("</expires>") - at);
        fs::remove(path("Kavrel/vmupdate.accepted"));

        // faketime preloads its library ahead of an AddressSanitizer build's runtime, which
        // that runtime refuses unless told the order does not matter here.
        std::map<std::string, std::string> checking = environment();
        checking["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
        UpdaterChildProcess check("/usr/bin/faketime", {"-f", c.later, updater(), "-c", url, "3.0.0.25", install()},
                                  checking, path("check.txt"), false, path("check-errors.txt"));
        EXPECT_EQ(check.wait(), c.code) << c.name;
        const std::string errors = TempDir::readFile(path("check-errors.txt"));
        const std::string refusal = "vmUpdate: " + url + " expired at " + expires + "; the manifest is refused\n";
        EXPECT_EQ(errors.find(refusal) != std::string::npos, c.code == 3) << c.name << "\n" << errors;
        EXPECT_EQ(fs::exists(staging() + "/a.txt"), c.code == 2) << c.name;
    }

    // A validity that is no number of days publishes nothing.
    std::map<std::string, std::string> signing = environment();
    signing["VMUPDATE_SIGNING_KEY"] = path("keys/vmupdate.key");
    for (const char* days : {"0", "-3", "30d", "3651"}) {
        signing["VMUPDATE_VALID_DAYS"] = days;
        fs::remove_all(path("pub"));
        UpdaterChildProcess generate(updater(), {"-g", path("pub"), "vmupdate.xml", "3.0.0.26", path("release")},
                                     signing, path("generate.txt"), false, path("generate-errors.txt"));
        EXPECT_EQ(generate.wait(), 1) << days;
        EXPECT_EQ(TempDir::readFile(path("generate-errors.txt")),
                  "vmUpdate: VMUPDATE_VALID_DAYS must be a number of days from 1 to 3650; nothing is published\n")
            << days;
        EXPECT_FALSE(fs::exists(path("pub/vmupdate.xml"))) << days;
    }
}

// A certificate authority and server certificates made for this test only.
class TestCertificates {
public:
    explicit TestCertificates(const fs::path& folder) : m_folder(folder)
    {
        fs::create_directories(folder);
        const std::string f = folder.string();
        const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        m_made = sh("openssl req -x509" + key + "-keyout " + f + "/ca.key -out " + f +
                    "/ca.pem -days 2 -subj '/CN=Kavrel test CA'") &&
                 server("loopback", "IP:127.0.0.1") && server("other", "DNS:other.example");
    }
    bool made() const { return m_made; }
    std::string ca() const { return (m_folder / "ca.pem").string(); }
    std::string cert(const std::string& name) const { return (m_folder / (name + ".pem")).string(); }
    std::string key(const std::string& name) const { return (m_folder / (name + ".key")).string(); }

private:
    static bool sh(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
    bool server(const std::string& name, const std::string& altName) const
    {
        const std::string f = m_folder.string();
        std::ofstream(m_folder / (name + ".ext")) << "subjectAltName=" << altName << "\n";
        return sh("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + f + "/" + name +
                  ".key -out " + f + "/" + name + ".csr -subj '/CN=" + name + "'") &&
               sh("openssl x509 -req -in " + f + "/" + name + ".csr -CA " + f + "/ca.pem -CAkey " + f +
                  "/ca.key -CAcreateserial -days 2 -out " + f + "/" + name + ".pem -extfile " + f + "/" + name + ".ext");
    }
    fs::path m_folder;
    bool m_made = false;
};

// One published file set over loopback TLS.
class TlsServer {
public:
    TlsServer(const std::string& cert, const std::string& key, std::map<std::string, std::string> files)
        : m_server(cert.c_str(), key.c_str()), m_files(std::move(files))
    {
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            const auto found = m_files.find(request.path.substr(request.path.rfind('/') + 1));
            if (found == m_files.end())
                response.status = 404;
            else
                response.set_content(found->second, "application/octet-stream");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TlsServer()
    {
        m_server.stop();
        m_thread.join();
    }
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;
    std::string url() const
    {
        return "https://127.0.0.1:" + std::to_string(m_port) + testsupport::UpdaterTestServer::kFolder + "vmupdate.xml";
    }

private:
    httplib::SSLServer m_server;
    std::map<std::string, std::string> m_files;
    int m_port = 0;
    std::thread m_thread;
};

// Check over https: the server's certificate must verify, by default against the
// system's store; tests name their own authority through KAVREL_TEST_CA_FILE.
TEST_F(UpdaterProgramTest, HttpsCheckStagesOnlyFromAVerifiedServer)
{
    TestCertificates certificates(m_dir.path() / "tls");
    ASSERT_TRUE(certificates.made()) << "openssl could not make the test certificates";
    const std::map<std::string, std::string> files = {
        {"vmupdate.xml", "<collect><hashfiles><file path=\"\\a.txt\" md5=\"900150983CD24FB0D6963F7D28E17F72\" "
                         "crc32=\"352441C2\" size=\"3\"/></hashfiles><ver>3.0.0.26</ver></collect>"},
        {"a.txt", "abc"}};

    struct Case {
        const char* name;
        const char* certificate; // the server's
        bool testAuthority;      // KAVREL_TEST_CA_FILE names the test CA
        int code;
    } cases[] = {
        {"certificate of the trusted test authority", "loopback", true, 2},
        {"the system's store does not know the test authority", "loopback", false, 3},
        {"certificate for another name", "other", true, 3},
    };
    for (const Case& c : cases) {
        TlsServer server(certificates.cert(c.certificate), certificates.key(c.certificate), files);
        fs::remove_all(staging());
        std::map<std::string, std::string> env = environment();
        if (c.testAuthority)
            env["KAVREL_TEST_CA_FILE"] = certificates.ca();
        UpdaterChildProcess check(updater(), {"-c", server.url(), "3.0.0.25", install()}, env, path("check.txt"), false,
                                  path("check-errors.txt"));
        EXPECT_EQ(check.wait(), c.code) << c.name << "\n" << TempDir::readFile(path("check-errors.txt"));
        EXPECT_EQ(fs::exists(staging() + "/a.txt"), c.code == 2) << c.name;
    }
}

TEST_F(UpdaterProgramTest, SecondUpdaterExitsAtOnceInEveryMode)
{
    // Apply mode started by this test waits for the test to end: it holds the lock.
    stage("3.0.0.26");
    UpdaterChildProcess holder(updater(), {"-r", m_server.url("vmupdate.xml"), "3.0.0.25", install()}, environment(),
                               path("holder.txt"));
    ASSERT_TRUE(testsupport::waitUntil([&] { return holder.output() == "wait for close parent\r\n"; }));

    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, {"-c", m_server.url("vmupdate.xml"), "3.0.0.25", install()},
          {"-r", m_server.url("vmupdate.xml"), "3.0.0.25", install()},
          {"-g", path("pub"), "vmupdate.xml", "3.0.0.26", install()}, {"-x"}}) {
        const Run result = run(arguments);
        EXPECT_EQ(result.code, 1) << (arguments.empty() ? "(none)" : arguments[0]);
        EXPECT_EQ(result.output, "");
    }
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_FALSE(fs::exists(path("pub")));
    EXPECT_EQ(run({"-k", path("keys")}).code, 0) << "making keys needs no lock";
    EXPECT_TRUE(fs::exists(path("keys/vmupdate.pub")));

    ::kill(holder.pid(), SIGKILL);
    holder.wait();
    EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "old");
    EXPECT_EQ(run({}).code, 0) << "the lock ends with its holder";
}

TEST_F(UpdaterProgramTest, ApplyWaitsForItsParentThenRestartsIt)
{
    stage("3.0.0.26");
    UpdaterChildProcess parent(kTestParent, {"--hold", updater(), "-r", m_server.url("vmupdate.xml"), "3.0.0.25",
                                             install()},
                               environment(), path("out.txt"), true);
    ASSERT_TRUE(testsupport::waitUntil([&] { return parent.output() == "wait for close parent\r\n"; }));
    EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "old") << "nothing moves while the parent runs";

    parent.closeInput();
    EXPECT_EQ(parent.wait(), 0);
    ASSERT_TRUE(testsupport::waitUntil([&] { return !record().empty(); }));
    // The parent's own executable is restarted (there is no Kavrel beside the updater).
    EXPECT_EQ(record(), "-finup\n");
    EXPECT_EQ(TempDir::readFile(path("out.txt")), "wait for close parent\r\nclose parent\r\ndelete folder succ\r\n");
    EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "new");
    EXPECT_FALSE(fs::exists(staging()));
}

TEST_F(UpdaterProgramTest, ApplyAfterTheParentEndedRestartsTheClientBesideIt)
{
    struct Case {
        const char* name;
        bool clientPresent;
        std::string restartLine;
    } cases[] = {
        {"client present", true, ""},
        {"client missing", false, "fail createprocess \"" + path("prog/Kavrel") + "\" -finup\r\n"},
    };
    for (const Case& c : cases) {
        stage("3.0.0.26");
        fs::remove(path("prog/Kavrel"));
        fs::remove(path("record.txt"));
        if (c.clientPresent)
            placeClientBesideUpdater();
        // The shell waits until the program that started it has gone (its parent is then
        // whoever adopted it), then becomes the updater.
        const std::string script = "while [ \"$(readlink /proc/$(cut -d' ' -f4 /proc/$$/stat)/exe)\" = '" +
                                   kTestParent + "' ]; do :; done; exec \"$0\" \"$@\"";
        UpdaterChildProcess starter(kTestParent, {"/bin/sh", "-c", script, updater(), "-r", m_server.url("vmupdate.xml"),
                                                  "3.0.0.25", install()},
                                    environment(), path("out.txt"));
        EXPECT_EQ(starter.wait(), 0);
        const std::string expected = "wait for close parent\r\nget Parent Handle fail!!!\r\ndelete folder succ\r\n" +
                                     c.restartLine;
        EXPECT_TRUE(testsupport::waitUntil([&] {
            return TempDir::readFile(path("out.txt")) == expected && (!c.clientPresent || !record().empty());
        })) << c.name << ": " << TempDir::readFile(path("out.txt"));
        EXPECT_EQ(m_dir.read("Kavrel/data/config.ini"), "new") << c.name;
        EXPECT_EQ(record(), c.clientPresent ? "-finup\n" : "") << c.name;
    }
}

TEST_F(UpdaterProgramTest, GenerateModePublishes)
{
    m_dir.write("src/data/config.ini", "abc");
    const Run result = run({"-g", path("pub"), "vmupdate.xml", "3.0.0.26", path("src")});
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(m_dir.read("pub/config.ini"), "abc");
    EXPECT_NE(m_dir.read("pub/vmupdate.xml").find("<file path=\"\\data\\config.ini\""), std::string::npos);
    EXPECT_EQ(run({"-g", path("pub2"), "vmupdate.xml"}).code, 0) << "too few arguments";
    EXPECT_FALSE(fs::exists(path("pub2")));
}

// In-process: the argument positions of check mode and apply mode's process control,
// with the apply pause and transfer limits injected.
class UpdaterModesTest : public testsupport::TempDirTest {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }

    UpdaterModesTest()
    {
        fs::create_directories(m_dir.path() / "run");
        fs::create_directories(m_dir.path() / "docs");
        // The lock is private to this test, whatever else runs beside it.
        ::setenv("XDG_RUNTIME_DIR", (m_dir.path() / "run").c_str(), 1);
        m_context.ownExecutable = (m_dir.path() / "prog/vmUpdate").string();
        m_context.documentsFolder = (m_dir.path() / "docs").string();
        m_context.out = &m_out;
        m_context.transferTimeoutSeconds = 1;
        m_context.connectTimeoutSeconds = 1;
        m_context.sleep = [this](std::chrono::milliseconds pause) { m_pauses.push_back(pause); };
    }

    std::string install() const { return (m_dir.path() / "Kavrel").string(); }

    updater::ProgramContext m_context;
    std::ostringstream m_out;
    std::vector<std::chrono::milliseconds> m_pauses;
    testsupport::UpdaterTestServer m_server;
};

TEST_F(UpdaterModesTest, ProxyAndForcePositions)
{
    const std::string manifest = testsupport::UpdaterTestServer::pathOf("vmupdate.xml");
    const std::string file = testsupport::UpdaterTestServer::pathOf("a.txt");
    const std::string kProxy = "<this server as proxy>";
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        int code;
        std::vector<std::string> requests;
    } cases[] = {
        {"four arguments: not forced", {}, 3, {manifest}},
        {"empty proxy, force", {"", "force"}, 2, {manifest, file}},
        {"force in the proxy's place", {"force"}, 3, {}},
        {"another word", {"", "Force"}, 3, {manifest}},
        // Through a proxy the request line carries the whole address.
        {"proxy", {kProxy}, 3, {"<whole address>"}},
    };
    for (const Case& c : cases) {
        testsupport::UpdaterTestServer server;
        publishEqualVersion(server);
        const std::string url = server.url("vmupdate.xml");
        std::vector<std::string> arguments{"vmUpdate", "-c", url, "3.0.0.25", install()};
        for (const std::string& extra : c.extra)
            arguments.push_back(extra == kProxy ? "127.0.0.1:" + std::to_string(server.port()) : extra);
        EXPECT_EQ(updater::runUpdater(arguments, m_context), c.code) << c.name;
        std::vector<std::string> expected = c.requests;
        for (std::string& request : expected)
            if (request == "<whole address>")
                request = url;
        EXPECT_EQ(server.requests(), expected) << c.name;
    }
}

TEST_F(UpdaterModesTest, ApplyNeverWaitsOnAProcessThatIsNotItsParent)
{
    // Our parent has ended and init adopted us, or the pid names some other process.
    UpdaterChildProcess stranger("/bin/sleep", {"30"}, {}, (m_dir.path() / "sleep.txt").string());
    for (pid_t notParent : {pid_t{1}, stranger.pid(), pid_t{0}}) {
        m_out.str("");
        m_pauses.clear();
        m_context.parentId = notParent;
        EXPECT_EQ(updater::runUpdater({"vmUpdate", "-r", m_server.url("vmupdate.xml"), "3.0.0.25", install()}, m_context),
                  0);
        EXPECT_EQ(m_out.str(), "wait for close parent\r\nget Parent Handle fail!!!\r\nfail createprocess \"" +
                                   (m_dir.path() / "prog/Kavrel").string() + "\" -finup\r\n")
            << notParent;
        EXPECT_EQ(m_pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(3500)});
    }
}

TEST_F(UpdaterModesTest, KeyPairMode)
{
    std::ostringstream errors;
    m_context.err = &errors;
    const fs::path keys = m_dir.path() / "keys/new";
    ASSERT_EQ(updater::runUpdater({"vmUpdate", "-k", keys.string()}, m_context), 0);
    EXPECT_EQ(errors.str(), "");
    EXPECT_EQ(fs::status(keys / "vmupdate.key").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    const std::string secretText = TempDir::readFile(keys / "vmupdate.key");
    const std::string publicText = TempDir::readFile(keys / "vmupdate.pub");
    EXPECT_EQ(publicText.size(), 45u) << "one line of base64 for 32 bytes";
    EXPECT_EQ(publicText.find('\n'), 44u);
    const auto secretKey = updater::parseSecretKey(secretText);
    const auto publicKeys = updater::parsePublicKeys(publicText);
    ASSERT_TRUE(secretKey && publicKeys && publicKeys->size() == 1);
    EXPECT_TRUE(updater::verifySignature("bytes", updater::signMessage("bytes", *secretKey), *publicKeys));

    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string error;
    } cases[] = {
        {"a key is there already", {"-k", keys.string()},
         "vmUpdate: " + (keys / "vmupdate.key").string() + " exists already; it is left as it is\n"},
        {"no folder", {"-k"}, "vmUpdate: -k needs the folder to write the key pair into\n"},
        {"folder below a file", {"-k", (keys / "vmupdate.pub/sub").string()},
         "vmUpdate: cannot create " + (keys / "vmupdate.pub/sub").string() + ": Not a directory\n"},
    };
    for (const Case& c : cases) {
        errors.str("");
        std::vector<std::string> arguments{"vmUpdate"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(updater::runUpdater(arguments, m_context), 1) << c.name;
        EXPECT_EQ(errors.str(), c.error) << c.name;
    }
    EXPECT_EQ(TempDir::readFile(keys / "vmupdate.key"), secretText) << "never overwritten";
    EXPECT_EQ(TempDir::readFile(keys / "vmupdate.pub"), publicText);
}

TEST_F(UpdaterModesTest, GenerateModeSignsWithTheGivenKey)
{
    std::ostringstream errors;
    m_context.err = &errors;
    const fs::path keys = m_dir.path() / "keys";
    ASSERT_EQ(updater::runUpdater({"vmUpdate", "-k", keys.string()}, m_context), 0);
    m_dir.write("src/data/config.ini", "abc");
    m_dir.write("src/vmupdate.key", "a secret lying in the release");
    m_dir.write("bad.key", TempDir::readFile(keys / "vmupdate.pub"));
    const fs::path pub = m_dir.path() / "pub";
    const std::string notKey = " is not a readable secret key; nothing is published\n";

    struct Case {
        const char* name;
        std::string keyFile;
        int code;
        bool published;
        std::string error;
    } cases[] = {
        {"no key: unsigned as before", "", 0, true, ""},
        {"good key", (keys / "vmupdate.key").string(), 0, true, ""},
        {"missing key file", (m_dir.path() / "none.key").string(), 1, false,
         "vmUpdate: " + (m_dir.path() / "none.key").string() + notKey},
        {"a public key given as the secret one", (m_dir.path() / "bad.key").string(), 1, false,
         "vmUpdate: " + (m_dir.path() / "bad.key").string() + notKey},
    };
    for (const Case& c : cases) {
        fs::remove_all(pub);
        errors.str("");
        m_context.signingKeyFile = c.keyFile;
        EXPECT_EQ(updater::runUpdater({"vmUpdate", "-g", pub.string(), "vmupdate.xml", "3.0.0.26",
                                       (m_dir.path() / "src").string()},
                                      m_context),
                  c.code)
            << c.name;
        EXPECT_EQ(errors.str(), c.error) << c.name;
        EXPECT_EQ(fs::exists(pub / "vmupdate.xml"), c.published) << c.name;
        EXPECT_FALSE(fs::exists(pub / "vmupdate.key")) << c.name << ": a secret key is never published";
        const bool signedCase = c.published && !c.keyFile.empty();
        EXPECT_EQ(fs::exists(pub / "vmupdate.xml.sig"), signedCase) << c.name;
        if (signedCase) {
            const auto signature = updater::parseSignature(TempDir::readFile(pub / "vmupdate.xml.sig"));
            ASSERT_TRUE(signature) << c.name;
            EXPECT_TRUE(updater::verifySignature(TempDir::readFile(pub / "vmupdate.xml"), *signature,
                                                 *updater::parsePublicKeys(TempDir::readFile(keys / "vmupdate.pub"))));
        }
    }
}

TEST_F(UpdaterModesTest, UnknownOwnExecutableIsAStartFailure)
{
    m_context.ownExecutable.clear();
    EXPECT_EQ(updater::runUpdater({"vmUpdate", "-x"}, m_context), 1);
    EXPECT_EQ(m_out.str(), "错误: GetModuleHandle 失败\n");
}

} // namespace

// The service program over TLS: it serves https with the certificate and key it is given,
// and refuses a command line naming only one of them or files it cannot load.
#include "TempDir.h"
#include "TestCertificates.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string kProgram = std::string(KAVREL_BINARY_DIR) + "/devservice/kavrel-devservice";

pid_t spawnService(std::vector<std::string> args, int* out)
{
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out != nullptr && pipe(pipeEnds) == 0) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    }
    pid_t pid = 0;
    if (posix_spawn(&pid, kProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (out != nullptr) {
        close(pipeEnds[1]);
        *out = pipeEnds[0];
    }
    return pid;
}

int exitCodeOf(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

TEST(DevServiceTls, ServesHttpsWithTheGivenCertificate)
{
    testsupport::TempDir dir;
    const testsupport::TestCertificates certificates(dir.path());
    ASSERT_TRUE(certificates.ok()) << dir.read("openssl.log");
    const testsupport::ServerCertificate good = certificates.good();

    int out = -1;
    const pid_t pid = spawnService({"--port", "0", "--tls-cert", good.cert, "--tls-key", good.key}, &out);
    ASSERT_GT(pid, 0);
    std::string line;
    char c = 0;
    while (read(out, &c, 1) == 1 && c != '\n')
        line += c;
    close(out);
    const std::string prefix = "kavrel-devservice listening on https://127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;

    httplib::SSLClient client("127.0.0.1", std::stoi(line.substr(prefix.size())));
    client.set_ca_cert_path(certificates.authorityFile().c_str());
    client.enable_server_certificate_verification(true);
    const auto res = client.Get("/soft/avatar/1001.png");
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.substr(0, 4), "\x89PNG");

    kill(pid, SIGTERM);
    EXPECT_EQ(exitCodeOf(pid), 0);
}

TEST(DevServiceTls, RefusesHalfAPairOrFilesItCannotLoad)
{
    testsupport::TempDir dir;
    const std::string missing = (dir.path() / "missing.pem").string();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
    };
    const Case cases[] = {
        {"certificate without key", {"--port", "0", "--tls-cert", missing}, 2},
        {"key without certificate", {"--port", "0", "--tls-key", missing}, 2},
        {"files that do not exist", {"--port", "0", "--tls-cert", missing, "--tls-key", missing}, 1},
    };
    for (const Case& c : cases) {
        const pid_t pid = spawnService(c.args, nullptr);
        ASSERT_GT(pid, 0) << c.name;
        EXPECT_EQ(exitCodeOf(pid), c.exitCode) << c.name;
    }
}

} // namespace

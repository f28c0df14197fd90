// vmUpdate check mode with nothing to update over a 10,000-file, 1 GiB installation served
// from loopback, beside md5sum over the same files in the same run. Check mode reads and
// digests every file once; "ratio" (check time over md5sum time) should stay at or below
// 1.5. Run by hand: it writes 1 GiB into a temporary folder (removed at the end).
//
//   update_check_bench [--files=N] [--total_mib=M] [benchmark flags]
#include "updater/FileDigest.h"
#include "updater/Manifest.h"

#include "bench/BenchMain.h"
#include "LoopbackHttpServer.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Data {
    fs::path top;
    std::string install;
    std::string manifestUrl;
    std::size_t files = 10000;
    std::uint64_t totalBytes = 1ull << 30;
};

Data g_data;

// Writes the installation and returns its server manifest (every file listed as it is).
std::string makeInstallation()
{
    std::vector<char> pattern(1 << 20);
    std::uint32_t x = 2463534242u;
    for (char& c : pattern) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    std::vector<updater::FileRecord> records;
    const std::uint64_t base = g_data.totalBytes / g_data.files;
    std::uint64_t written = 0;
    for (std::size_t i = 0; i < g_data.files; ++i) {
        // Sizes vary around the mean; the last file takes up the remainder.
        std::uint64_t size = base / 2 + (i * 7919 % g_data.files) * base / g_data.files;
        if (i + 1 == g_data.files)
            size = g_data.totalBytes > written ? g_data.totalBytes - written : 0;
        written += size;
        const std::string relative = "/dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".bin";
        const fs::path path = g_data.install + relative;
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t offset = (i * 4099 + done) % (pattern.size() / 2);
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, pattern.size() / 2));
            out.write(pattern.data() + offset, static_cast<std::streamsize>(chunk));
            done += chunk;
        }
        out.close();
        const updater::FileDigest digest = updater::digestFile(path);
        records.push_back({path.string(), relative, digest.md5, digest.crc32, digest.size, digest.sha256});
    }
    const fs::path manifest = g_data.top / "vmupdate.xml";
    updater::writeServerManifest(manifest, records, "3.0.0.26");
    std::ifstream in(manifest, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a program with its output discarded; the exit code, -1 when it did not exit.
int run(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
{
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double secondsOf(const std::function<int()>& action, int* code)
{
    const auto start = std::chrono::steady_clock::now();
    *code = action();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CheckModeNothingToUpdate(benchmark::State& state)
{
    const std::string home = (g_data.top / "home").string();
    const std::vector<std::string> environment{"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                               "XDG_RUNTIME_DIR=" + home, "PATH=/usr/bin:/bin"};
    const std::vector<std::string> check{KAVREL_PROGRAM_DIR "/vmUpdate", "-c", g_data.manifestUrl, "3.0.0.25",
                                         g_data.install};
    const std::vector<std::string> md5sum{"/bin/sh", "-c",
                                          "cd '" + g_data.install + "' && find . -type f -print0 | xargs -0 md5sum"};
    double checkTotal = 0;
    double md5sumTotal = 0;
    for (auto _ : state) {
        int code = 0;
        const double checkSeconds = secondsOf([&] { return run(check, environment); }, &code);
        if (code != 3) {
            state.SkipWithError(("check mode exited with " + std::to_string(code) + ", not 3").c_str());
            return;
        }
        const double md5sumSeconds = secondsOf([&] { return run(md5sum, environment); }, &code);
        state.SetIterationTime(checkSeconds);
        checkTotal += checkSeconds;
        md5sumTotal += md5sumSeconds;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data.totalBytes));
    state.counters["files"] = static_cast<double>(g_data.files);
    state.counters["md5sum_s"] = md5sumTotal / static_cast<double>(state.iterations());
    state.counters["check_s"] = checkTotal / static_cast<double>(state.iterations());
    state.counters["ratio"] = checkTotal / md5sumTotal;
}

BENCHMARK(BM_CheckModeNothingToUpdate)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmain::initialize(argc, argv,
                          {{"--files=", [](const char* v) { g_data.files = std::strtoull(v, nullptr, 10); }},
                           {"--total_mib=", [](const char* v) { g_data.totalBytes = std::strtoull(v, nullptr, 10) << 20; }}});

    g_data.top = benchmain::scratchFolder("update-bench");
    if (g_data.top.empty())
        return 1;
    g_data.install = (g_data.top / "Kavrel").string();
    fs::create_directories(g_data.top / "home");
    const std::string manifest = makeInstallation();

    httplib::Server server;
    server.Get("/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml",
               [&](const httplib::Request&, httplib::Response& response) {
                   response.set_content(manifest, "application/xml");
               });
    testsupport::LoopbackHttpServer serving(server);
    if (!serving.started())
        return 1;
    g_data.manifestUrl = serving.origin() + "/SOFTWARES/VEL_SOFT_V2013/update/vmupdate.xml";

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    serving.stop();
    std::error_code ignored;
    fs::remove_all(g_data.top, ignored);
    return 0;
}

// vmUpdate check mode staging a whole release of 10,000 files from loopback: the signed
// release (Ed25519 manifest, every file judged by SHA-256 as it arrives) beside the same
// release unsigned (files judged by MD5), alternately in one run. "ratio" (signed time over
// unsigned time) should stay at or below 1.05. Run by hand: it writes the release twice and
// stages it into a temporary folder (removed at the end).
//
//   update_stage_bench [--files=N] [--total_mib=M] [benchmark flags]
#include "updater/Generator.h"
#include "updater/Signature.h"
#include "updater/UpdateProcedure.h"

#include "bench/BenchMain.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Data {
    fs::path top;
    std::string baseUrl;
    std::size_t files = 10000;
    std::uint64_t totalBytes = std::uint64_t{256} << 20;
};

Data g_data;

void writeRelease(const fs::path& folder)
{
    std::vector<char> pattern(1 << 20);
    std::uint32_t x = 2463534242u;
    for (char& c : pattern) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    const std::uint64_t base = g_data.totalBytes / g_data.files;
    for (std::size_t i = 0; i < g_data.files; ++i) {
        const std::uint64_t size = base / 2 + (i * 7919 % g_data.files) * base / g_data.files;
        const fs::path path = folder / ("dir" + std::to_string(i % 100)) / ("file" + std::to_string(i) + ".bin");
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        for (std::uint64_t done = 0; done < size;) {
            const std::size_t offset = (i * 4099 + done) % (pattern.size() / 2);
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, pattern.size() / 2));
            out.write(pattern.data() + offset, static_cast<std::streamsize>(chunk));
            done += chunk;
        }
    }
}

// One check that stages the whole release into an empty installation; its seconds.
double stageOnce(const std::string& flavour, benchmark::State& state)
{
    updater::UpdateContext context;
    context.documentsFolder = (g_data.top / ("home-" + flavour)).string();
    const std::string install = (g_data.top / ("Kavrel-" + flavour)).string();
    const auto start = std::chrono::steady_clock::now();
    const int result = updater::check(context, g_data.baseUrl + flavour + "/vmupdate.xml", "3.0.0.25", install,
                                      std::nullopt, false);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 1)
        state.SkipWithError((flavour + ": check gave " + std::to_string(result) + ", not 1").c_str());
    return seconds;
}

void BM_CheckAndStageRelease(benchmark::State& state)
{
    double unsignedTotal = 0;
    double signedTotal = 0;
    for (auto _ : state) {
        unsignedTotal += stageOnce("md5", state);
        const double signedSeconds = stageOnce("sha256", state);
        signedTotal += signedSeconds;
        state.SetIterationTime(signedSeconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data.totalBytes));
    state.counters["files"] = static_cast<double>(g_data.files);
    state.counters["md5_s"] = unsignedTotal / iterations;
    state.counters["sha256_s"] = signedTotal / iterations;
    state.counters["ratio"] = signedTotal / unsignedTotal;
}

BENCHMARK(BM_CheckAndStageRelease)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmain::initialize(argc, argv,
                          {{"--files=", [](const char* v) { g_data.files = std::strtoull(v, nullptr, 10); }},
                           {"--total_mib=", [](const char* v) { g_data.totalBytes = std::strtoull(v, nullptr, 10) << 20; }}});
    g_data.top = benchmain::scratchFolder("stage-bench");
    if (g_data.top.empty() || g_data.files == 0)
        return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);

    writeRelease(g_data.top / "release");
    updater::generate((g_data.top / "md5").string(), "vmupdate.xml", "3.0.0.26", (g_data.top / "release").string());
    const std::int64_t now = std::time(nullptr);
    const updater::PublicationTimes times{now, now + 86400};
    updater::generate((g_data.top / "sha256").string(), "vmupdate.xml", "3.0.0.26", (g_data.top / "release").string(),
                      &times);
    std::string error;
    if (!updater::generateKeyPair(g_data.top / "keys", &error))
        return 1;
    std::ifstream keyFile(g_data.top / "keys/vmupdate.key");
    const std::string keyText{std::istreambuf_iterator<char>(keyFile), std::istreambuf_iterator<char>()};
    const std::optional<updater::SecretKey> key = updater::parseSecretKey(keyText);
    if (!key || !updater::signFile(g_data.top / "sha256/vmupdate.xml", *key, &error))
        return 1;
    fs::create_directories(g_data.top / "Kavrel-sha256");
    fs::copy_file(g_data.top / "keys/vmupdate.pub", g_data.top / "Kavrel-sha256/vmupdate.pub");
    for (const char* flavour : {"md5", "sha256"})
        fs::create_directories(g_data.top / (std::string("home-") + flavour));

    httplib::Server server;
    server.set_mount_point("/md5", (g_data.top / "md5").string());
    server.set_mount_point("/sha256", (g_data.top / "sha256").string());
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    while (!server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    g_data.baseUrl = "http://127.0.0.1:" + std::to_string(port) + "/";

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    server.stop();
    serving.join();
    std::error_code ignored;
    fs::remove_all(g_data.top, ignored);
    return 0;
}

// What signing adds to check mode on a 10,000-file server manifest: fetching the manifest
// from loopback, beside fetching its signature and verifying the manifest's bytes, and
// beside parsing it. All in memory but the transfers, which land in a temporary folder.
//
//   signature_bench [--files=N] [benchmark flags]
#include "updater/DownManager.h"
#include "updater/Manifest.h"
#include "updater/Signature.h"

#include "bench/BenchMain.h"
#include "tests/support/UpdaterTestServer.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Data {
    fs::path top;
    std::size_t files = 10000;
    std::string manifest;
    std::string signatureText;
    std::string url;
    std::vector<updater::PublicKey> keys;
};

Data g_data;

// The manifest generate mode would write for `files` files spread over 100 folders.
std::string makeManifest()
{
    std::vector<updater::FileRecord> records;
    for (std::size_t i = 0; i < g_data.files; ++i)
        records.push_back({"", "/dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".bin",
                           "900150983CD24FB0D6963F7D28E17F72", "352441C2", static_cast<std::uint32_t>(1000 + i), ""});
    const fs::path file = g_data.top / "vmupdate.xml";
    updater::writeServerManifest(file, records, "3.0.0.26");
    return *updater::readSmallFile(file, std::size_t{1} << 30);
}

// libcurl's trace (always on in the updater) would flood the report: standard error goes
// to /dev/null while a transfer runs.
class QuietErrors {
public:
    QuietErrors() : m_saved(::dup(STDERR_FILENO))
    {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ::dup2(null, STDERR_FILENO);
        ::close(null);
    }
    ~QuietErrors()
    {
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};

void fetch(benchmark::State& state, const std::string& url)
{
    updater::CDownManager manager;
    const std::string destination = (g_data.top / "copy").string();
    QuietErrors quiet;
    for (auto _ : state) {
        if (updater::download(manager, url, destination) != 0) {
            state.SkipWithError("transfer failed");
            return;
        }
    }
}

void BM_FetchManifest(benchmark::State& state)
{
    fetch(state, g_data.url);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data.manifest.size()));
    state.counters["manifest_bytes"] = static_cast<double>(g_data.manifest.size());
}

void BM_FetchSignature(benchmark::State& state)
{
    fetch(state, g_data.url + updater::kSignatureSuffix);
}

void BM_VerifyManifest(benchmark::State& state)
{
    for (auto _ : state) {
        const auto signature = updater::parseSignature(g_data.signatureText);
        if (!signature || !updater::verifySignature(g_data.manifest, *signature, g_data.keys)) {
            state.SkipWithError("the signature does not verify");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_data.manifest.size()));
}

void BM_ParseManifest(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(updater::parseServerManifest(g_data.manifest));
}

BENCHMARK(BM_FetchManifest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchSignature)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VerifyManifest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseManifest)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmain::initialize(argc, argv, {{"--files=", [](const char* v) { g_data.files = std::strtoull(v, nullptr, 10); }}});
    curl_global_init(CURL_GLOBAL_DEFAULT);

    g_data.top = benchmain::scratchFolder("signature-bench");
    if (g_data.top.empty())
        return 1;
    std::string error;
    if (!updater::generateKeyPair(g_data.top / "keys", &error))
        return 1;
    g_data.manifest = makeManifest();
    if (!updater::signFile(g_data.top / "vmupdate.xml", *updater::parseSecretKey(*updater::readSmallFile(g_data.top / "keys/vmupdate.key")), &error))
        return 1;
    g_data.signatureText = *updater::readSmallFile(g_data.top / "vmupdate.xml.sig");
    g_data.keys = *updater::parsePublicKeys(*updater::readSmallFile(g_data.top / "keys/vmupdate.pub"));

    testsupport::UpdaterTestServer server;
    server.put("vmupdate.xml", g_data.manifest);
    server.put("vmupdate.xml.sig", g_data.signatureText);
    g_data.url = server.url("vmupdate.xml");

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    curl_global_cleanup();
    std::error_code ignored;
    fs::remove_all(g_data.top, ignored);
    return 0;
}

// Sequential small requests through CRequestWorker (Enqueue, the worker's POST, the
// HTTP_RETURN_SUCC message dispatched to a window) beside a plain libcurl loop doing the
// same POST with a new handle per request, against one loopback server in the same run.
// Compare the items_per_second of the two.
#include "client/service/RequestWorker.h"
#include "platform/window/WindowSystem.h"
#include "LoopbackHttpServer.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace {

const std::string kBody = "{\n   \"cmd\" : \"load\",\n   \"cmdType\" : \"\",\n   \"content\" : {\n"
                          "      \"currentpage\" : 0,\n      \"datasource\" : \"msg_unread_count\",\n"
                          "      \"pagesize\" : 0\n   }\n}\n";
const std::string kAnswer = "{\"success\":true,\"unreadCount\":3}";

class LoopbackServer {
public:
    LoopbackServer()
    {
        m_server.Post("/service/post", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kAnswer, "application/json");
        });
        m_running.emplace(m_server);
    }
    bool started() const { return m_running->started(); }
    std::string address() const { return m_running->origin() + "/service/post"; }

private:
    httplib::Server m_server;
    std::optional<testsupport::LoopbackHttpServer> m_running;
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_PlainCurlLoop(benchmark::State& state)
{
    LoopbackServer server;
    if (!server.started()) {
        state.SkipWithError("no loopback server");
        return;
    }
    const std::string address = server.address();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (auto _ : state) {
        CURL* handle = curl_easy_init();
        curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/html");
        std::string answer;
        curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, kBody.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(kBody.size()));
        curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer);
        if (curl_easy_perform(handle) != CURLE_OK || answer != kAnswer)
            state.SkipWithError("request failed");
        curl_slist_free_all(headers);
        curl_easy_cleanup(handle);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainCurlLoop)->UseRealTime();

void BM_RequestWorker(benchmark::State& state)
{
    LoopbackServer server;
    if (!server.started()) {
        state.SkipWithError("no loopback server");
        return;
    }
    const std::string address = server.address();
    if (!platform::InitWindowSystem(platform::Backend::Headless)) {
        state.SkipWithError("no window system");
        return;
    }
    const std::string folder = (std::filesystem::temp_directory_path() / "kavrel-bench-").string();
    {
        CRequestWorker worker(folder);
        const UINT succ = worker.SuccMessage();
        bool answered = false;
        HWND window = CreateWindowEx(0, "bench", WS_POPUP, 0, 0, 1, 1, nullptr, 0,
                                     [&](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
                                         if (msg == succ) {
                                             std::unique_ptr<std::string> answer(reinterpret_cast<std::string*>(wParam));
                                             answered = *answer == kAnswer;
                                             return 0;
                                         }
                                         return DefWindowProc(hwnd, msg, wParam, lParam);
                                     });
        worker.Restart();
        for (auto _ : state) {
            answered = false;
            worker.Enqueue(address, kBody, new std::string, window, 5);
            MSG msg;
            while (!answered && GetMessage(&msg))
                DispatchMessage(&msg);
            if (!answered)
                state.SkipWithError("no answer");
        }
        worker.Stop();
        DestroyWindow(window);
    }
    platform::ShutdownWindowSystem();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestWorker)->UseRealTime();

} // namespace

BENCHMARK_MAIN();

#include "client/update/DownloadFileWndBase.h"

#include "client/update/DownloadTransfer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Niceness of a worker thread for the window system's thread priorities (idle -15,
// lowest -2, below normal -1); higher priorities would need privileges and stay normal.
int niceFor(int priority)
{
    if (priority <= -15)
        return 19;
    if (priority == -2)
        return 10;
    if (priority == -1)
        return 5;
    return 0;
}

constexpr auto kStopWait = std::chrono::seconds(10);
constexpr auto kServeInterval = std::chrono::milliseconds(10);

} // namespace

// Shared by the window and its worker thread, so that an abandoned worker still has it.
struct WorkerState {
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
};

struct ZTDownloadFileWndBase::Worker {
    std::thread thread;
    std::string address;
    std::shared_ptr<WorkerState> state;

    bool running() const
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        return !state->finished;
    }
};

ZTDownloadFileWndBase::ZTDownloadFileWndBase() = default;

ZTDownloadFileWndBase::~ZTDownloadFileWndBase()
{
    stopWorkers();
}

void ZTDownloadFileWndBase::stopWorkers()
{
    for (auto& worker : m_threads)
        worker->state->stop = true;
    // With the window gone every report a worker waits in returns at once, and no report
    // reaches handlers of an object being destroyed.
    if (m_hWnd)
        DestroyWindow();
    // One deadline for all workers, so the user-interface thread waits 10 s at most.
    const auto deadline = std::chrono::steady_clock::now() + kStopWait;
    for (auto& worker : m_threads) {
        bool ended = false;
        for (;;) {
            // A report sent before the window went is answered 0 only when this thread
            // serves its sends, which a peek does without taking any posted message.
            MSG msg;
            PeekMessage(&msg, false);
            std::unique_lock<std::mutex> lock(worker->state->mutex);
            ended = worker->state->ended.wait_for(lock, kServeInterval, [&] { return worker->state->finished; });
            if (ended || std::chrono::steady_clock::now() >= deadline)
                break;
        }
        if (ended)
            worker->thread.join();
        else
            worker->thread.detach();
    }
    m_threads.clear();
}

bool ZTDownloadFileWndBase::Create(HWND parent)
{
    return CreateEx(0, "", WS_CHILD, 0, 0, 0, 0, parent, 0);
}

bool ZTDownloadFileWndBase::IsDownloading(const std::string& address) const
{
    for (const auto& worker : m_threads) {
        if (worker->address == address)
            return worker->running();
    }
    return false;
}

void ZTDownloadFileWndBase::StartDownload(const std::string& address, const std::string& path, int priority)
{
    if (address.empty())
        return;
    for (auto it = m_threads.begin(); it != m_threads.end(); ++it) {
        if ((*it)->address != address)
            continue;
        if ((*it)->running())
            return;
        (*it)->thread.join();
        m_threads.erase(it);
        break;
    }

    auto worker = std::make_unique<Worker>();
    worker->address = address;
    worker->state = std::make_shared<WorkerState>();
    DownloadTask task{m_hWnd, address, path};
    worker->thread = std::thread([task = std::move(task), state = worker->state, nice = niceFor(priority)] {
        if (nice != 0)
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
        RunDownload(task, state->stop);
        std::lock_guard<std::mutex> lock(state->mutex);
        state->finished = true;
        state->ended.notify_all();
    });
    m_threads.push_back(std::move(worker));
}

LRESULT ZTDownloadFileWndBase::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg >= 0xC000) {
        // Registered names keep their values for the process's life, so they are looked up once.
        static const UINT checkTime = RegisterWindowMessage(kCheckTime);
        static const UINT proxyValidate = RegisterWindowMessage(kProxyValidate);
        static const UINT startDownload = RegisterWindowMessage(kStartDownload);
        static const UINT progress = RegisterWindowMessage(kProgress);
        static const UINT downFinished = RegisterWindowMessage(kDownFinished);
        static const UINT error = RegisterWindowMessage(kError);
        if (msg == checkTime) {
            const auto* r = reinterpret_cast<const DownloadTextsReport*>(wParam);
            return OnCheckTime(r->address, r->second, r->third);
        }
        if (msg == proxyValidate) {
            const auto* r = reinterpret_cast<const DownloadTextsReport*>(wParam);
            OnProxyValidate(r->address, r->second, r->third);
            return 0;
        }
        if (msg == startDownload) {
            OnStartDownload(*reinterpret_cast<const std::string*>(wParam));
            return 0;
        }
        if (msg == progress) {
            const auto* r = reinterpret_cast<const DownloadCountsReport*>(wParam);
            OnProgress(r->address, r->first, r->second);
            return 0;
        }
        if (msg == downFinished) {
            const auto* r = reinterpret_cast<const DownloadCountsReport*>(wParam);
            OnDownFinished(r->address, r->first, r->second);
            return 0;
        }
        if (msg == error) {
            OnError(*reinterpret_cast<const std::string*>(wParam));
            return 0;
        }
    }
    return CWnd::WindowProc(msg, wParam, lParam);
}

#include "client/service/RequestWorker.h"

#include "client/service/MyHttpConnection.h"
#include "platform/window/WindowSystem.h"

#include <algorithm>
#include <exception>

CRequestWorker::CRequestWorker(std::string reportFolder)
    : CRequestWorker([&] {
          Options options;
          options.reportFolder = std::move(reportFolder);
          return options;
      }())
{
}

CRequestWorker::CRequestWorker(Options options)
    : m_options(std::move(options)),
      m_succMessage(RegisterWindowMessage("HTTP_RETURN_SUCC")),
      m_failMessage(RegisterWindowMessage("HTTP_RETURN_FAIL"))
{
    // An answer posted to a window that is destroyed before it reads it is freed here.
    SetDroppedMessageDisposer(m_succMessage, [](WPARAM answer, LPARAM) { delete reinterpret_cast<std::string*>(answer); });
}

CRequestWorker::~CRequestWorker()
{
    Stop();
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.clear();
}

bool CRequestWorker::IsNoRetryCode(int status)
{
    return std::find(kNoRetryCodes.begin(), kNoRetryCodes.end(), status) != kNoRetryCodes.end();
}

void CRequestWorker::Enqueue(const std::string& address, const std::string& body, std::string* answer, HWND target,
                             int kind)
{
    auto job = std::make_unique<RequestJob>();
    // A job always has an answer object, so a successful outcome never hands over null.
    job->answer.reset(answer != nullptr ? answer : new std::string);
    job->address = address;
    job->body = body;
    job->target = target;
    job->kind = kind;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.push_back(std::move(job));
        m_wakePending = true;
    }
    m_wake.notify_all();
}

void CRequestWorker::Restart()
{
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_queue.clear();
        m_wakePending = false;
        m_flush = false;
    }
    // The old thread has ended, so nothing else reads these now.
    m_purge = false;
    m_stop = false;
    m_thread = std::thread(&CRequestWorker::threadMain, this);
}

void CRequestWorker::Stop()
{
    m_stop = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flush = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CRequestWorker::threadMain()
{
    for (;;) {
        bool flush = false;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_wakePending || m_flush; });
            m_wakePending = false;
            flush = m_flush;
        }
        processQueue();
        if (flush)
            return;
    }
}

void CRequestWorker::dropAll()
{
    std::deque<std::unique_ptr<RequestJob>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        dropped.swap(m_queue);
    }
    // Destroyed outside the lock: dropping deletes the answers.
}

void CRequestWorker::processQueue()
{
    if (m_purge) {
        dropAll();
        return;
    }
    for (;;) {
        std::unique_ptr<RequestJob> job;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_queue.empty())
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (!runJob(*job)) {
            // The jobs behind it stay queued until the next pass drops them.
            m_purge = true;
            return;
        }
    }
}

void CRequestWorker::waitRetry(std::chrono::milliseconds delay)
{
    if (m_options.onRetryWait)
        m_options.onRetryWait(delay);
    std::unique_lock<std::mutex> lock(m_lock);
    // A job queued during the failed attempt ends the wait at once, as does Stop.
    m_wake.wait_for(lock, delay, [this] { return m_wakePending || m_flush || m_stop; });
    m_wakePending = false;
}

bool CRequestWorker::runJob(RequestJob& job)
{
    std::string scratch;
    std::string& answer = job.answer ? *job.answer : scratch;
    bool succeeded = false;
    try {
        std::unique_ptr<CMyHttpConnection> connection;
        if (!m_options.transport)
            connection = std::make_unique<CMyHttpConnection>(m_options.reportFolder);
        for (int attempt = 0;; ++attempt) {
            int status = 0;
            const int result = m_options.transport ? m_options.transport(job.address, job.body, answer, status)
                                                   : connection->Post(job.address, job.body, answer, status);
            if (result != CMyHttpConnection::kPostFailed) {
                succeeded = true;
                break;
            }
            if (m_stop || attempt >= kMaxRetries || IsNoRetryCode(status))
                break;
            waitRetry(m_options.retryDelays[static_cast<std::size_t>(attempt) % m_options.retryDelays.size()]);
        }
    } catch (const std::exception&) {
        succeeded = false;
    }

    if (!succeeded)
        job.answer.reset();
    if (job.target != nullptr && IsWindow(job.target)) {
        if (succeeded) {
            std::string* handed = job.answer.release();
            if (!PostMessage(job.target, m_succMessage, reinterpret_cast<WPARAM>(handed), job.kind))
                delete handed; // the window went away in between
        } else {
            PostMessage(job.target, m_failMessage, 0, job.kind);
        }
    }
    return succeeded;
}

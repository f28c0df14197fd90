#include "client/service/RequestWorker.h"

#include "client/service/MyHttpConnection.h"
#include "platform/window/WindowSystem.h"

#include <algorithm>
#include <exception>
#include <limits>

namespace {
constexpr std::size_t kPostedLimit = 1024;
}

// One worker thread's queue and state. The user-interface thread hands it over to the
// stopped list at Stop; the thread ends on its own after its final pass.
struct CRequestWorker::Generation {
    using Clock = std::chrono::steady_clock;

    std::mutex lock; // the queue and the wake-up flags
    std::condition_variable wake;
    std::deque<std::unique_ptr<RequestJob>> queue;
    bool wakePending = false; // a job was queued since the worker last looked
    bool flush = false;       // Stop: one more pass, then end the thread

    std::atomic<bool> stop{false};   // a failed attempt is not retried
    std::atomic<bool> giveUp{false}; // the process ends: cancel whatever is sent
    // Attempts are numbered from 1; Stop cancels those up to the one in flight.
    std::atomic<std::uint64_t> attempts{0};
    std::atomic<std::uint64_t> cancelThrough{0};
    std::atomic<Clock::rep> deadline{std::numeric_limits<Clock::rep>::max()};
    bool purge = false;   // its thread only
    bool retired = false; // under m_postLock: its outcomes reach no window
    std::atomic<bool> ended{false};
    std::thread thread;

    // Stop's cancelling spares a job without a target: that is the "logout", which may
    // have been taken up just before Stop and must still reach the service.
    [[nodiscard]] bool cancelledByStop(std::uint64_t attempt, bool hasTarget) const
    {
        return hasTarget && attempt <= cancelThrough;
    }
    [[nodiscard]] bool cancels(std::uint64_t attempt, bool hasTarget) const
    {
        return giveUp || cancelledByStop(attempt, hasTarget) || Clock::now().time_since_epoch().count() >= deadline;
    }
};

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
    // Nobody is left to wait for a service that does not answer: what is still being
    // sent ends as a cancelled attempt, with its report.
    for (const auto& generation : m_stopped) {
        generation->giveUp = true;
        generation->wake.notify_all();
    }
    WaitForStopped();
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
    if (!m_current)
        return;
    {
        std::lock_guard<std::mutex> lock(m_current->lock);
        m_current->queue.push_back(std::move(job));
        m_current->wakePending = true;
    }
    m_current->wake.notify_all();
}

void CRequestWorker::Restart()
{
    Stop();
    m_current = std::make_shared<Generation>();
    m_current->thread = std::thread(&CRequestWorker::threadMain, this, std::ref(*m_current));
}

void CRequestWorker::Stop()
{
    reapStopped();
    if (!m_current)
        return;
    std::shared_ptr<Generation> generation = std::move(m_current);
    {
        std::lock_guard<std::mutex> lock(m_postLock);
        generation->retired = true;
        for (Posted& posted : m_posted)
            posted.stale = true;
    }
    generation->stop = true;
    generation->cancelThrough = generation->attempts.load();
    generation->deadline = (Generation::Clock::now() + m_options.finalPassLimit).time_since_epoch().count();
    {
        std::lock_guard<std::mutex> lock(generation->lock);
        generation->flush = true;
    }
    generation->wake.notify_all();
    m_stopped.push_back(std::move(generation));
}

bool CRequestWorker::AcceptOutcome(UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> lock(m_postLock);
    // One window gets one thread's outcomes in posting order, so the earliest record that
    // matches is this message's.
    const auto found = std::find_if(m_posted.begin(), m_posted.end(), [&](const Posted& posted) {
        return posted.msg == msg && posted.wParam == wParam && posted.lParam == lParam;
    });
    if (found == m_posted.end())
        return true; // not the worker's
    const bool current = !found->stale;
    m_posted.erase(found);
    return current;
}

void CRequestWorker::WaitForStopped()
{
    for (const auto& generation : m_stopped) {
        if (generation->thread.joinable())
            generation->thread.join();
    }
    m_stopped.clear();
}

void CRequestWorker::reapStopped()
{
    std::erase_if(m_stopped, [](const std::shared_ptr<Generation>& generation) {
        if (!generation->ended)
            return false;
        generation->thread.join(); // it has returned already
        return true;
    });
}

void CRequestWorker::threadMain(Generation& generation)
{
    for (;;) {
        bool flush = false;
        {
            std::unique_lock<std::mutex> lock(generation.lock);
            generation.wake.wait(lock, [&] { return generation.wakePending || generation.flush; });
            generation.wakePending = false;
            flush = generation.flush;
        }
        processQueue(generation);
        if (flush)
            break;
    }
    generation.ended = true;
}

void CRequestWorker::processQueue(Generation& generation)
{
    if (generation.purge) {
        std::deque<std::unique_ptr<RequestJob>> dropped;
        {
            std::lock_guard<std::mutex> lock(generation.lock);
            dropped.swap(generation.queue);
        }
        return; // destroyed outside the lock: dropping deletes the answers
    }
    for (;;) {
        std::unique_ptr<RequestJob> job;
        {
            std::lock_guard<std::mutex> lock(generation.lock);
            if (generation.queue.empty())
                return;
            job = std::move(generation.queue.front());
            generation.queue.pop_front();
        }
        if (!runJob(generation, *job)) {
            // The jobs behind it stay queued until the next pass drops them.
            generation.purge = true;
            return;
        }
    }
}

void CRequestWorker::waitRetry(Generation& generation, std::chrono::milliseconds delay)
{
    if (m_options.onRetryWait)
        m_options.onRetryWait(delay);
    std::unique_lock<std::mutex> lock(generation.lock);
    // A job queued during the failed attempt ends the wait at once, as does Stop.
    generation.wake.wait_for(lock, delay, [&] { return generation.wakePending || generation.flush || generation.stop; });
    generation.wakePending = false;
}

void CRequestWorker::post(Generation& generation, HWND target, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> lock(m_postLock);
    // Held across the post, so no outcome of a stopped thread is posted after Stop.
    const bool posted = !generation.retired && IsWindow(target) && PostMessage(target, msg, wParam, lParam);
    if (posted) {
        // Receivers that never ask would let the records grow without end.
        if (m_posted.size() >= kPostedLimit)
            m_posted.pop_front();
        m_posted.push_back({msg, wParam, lParam, false});
    }
    else if (msg == m_succMessage)
        delete reinterpret_cast<std::string*>(wParam);
}

bool CRequestWorker::runJob(Generation& generation, RequestJob& job)
{
    std::string scratch;
    std::string& answer = job.answer ? *job.answer : scratch;
    bool succeeded = false;
    bool cancelled = false;
    try {
        std::unique_ptr<CMyHttpConnection> connection;
        if (!m_options.transport)
            connection = std::make_unique<CMyHttpConnection>(m_options.reportFolder);
        for (int attempt = 0;; ++attempt) {
            const std::uint64_t number = ++generation.attempts;
            const bool hasTarget = job.target != nullptr;
            if (connection)
                connection->SetAbortCheck([&generation, number, hasTarget] { return generation.cancels(number, hasTarget); });
            int status = 0;
            const int result = m_options.transport ? m_options.transport(job.address, job.body, answer, status)
                                                   : connection->Post(job.address, job.body, answer, status);
            if (result != CMyHttpConnection::kPostFailed) {
                succeeded = true;
                break;
            }
            // Cut short by Stop: the session it belonged to is over, and what was queued
            // behind it (a "logout") still goes.
            cancelled = !generation.giveUp && generation.cancelledByStop(number, hasTarget);
            if (generation.stop || attempt >= kMaxRetries || IsNoRetryCode(status))
                break;
            waitRetry(generation, m_options.retryDelays[static_cast<std::size_t>(attempt) % m_options.retryDelays.size()]);
        }
    } catch (const std::exception&) {
        succeeded = false;
    }

    if (!succeeded)
        job.answer.reset();
    if (job.target != nullptr) {
        if (succeeded)
            post(generation, job.target, m_succMessage, reinterpret_cast<WPARAM>(job.answer.release()), job.kind);
        else
            post(generation, job.target, m_failMessage, 0, job.kind);
    }
    return succeeded || cancelled;
}

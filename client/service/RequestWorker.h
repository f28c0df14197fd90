// CRequestWorker: the one worker that posts every service request of the client, one job
// at a time in queue order, on a thread of its own.
//
// A window hands over a job (post address, request text, an empty answer, itself, the
// request kind) with Enqueue and returns at once. The worker posts the text, retries a
// failed attempt after 3, 6, 12, 24, 48 and 96 seconds (never for the codes 400, 404, 405,
// 500, 503, 12007, 12029 and 12175), and reports the outcome to the window:
//   HTTP_RETURN_SUCC  wParam = the answer (std::string*, now owned by the window), lParam = kind
//   HTTP_RETURN_FAIL  wParam = 0, lParam = kind
// After a failed job the worker purges: every job still queued, and every job queued
// later, is dropped unsent and unanswered until Restart.
//
// Ownership of the answer: the sender allocates it with new and gives it to Enqueue. It
// passes to the target window only with HTTP_RETURN_SUCC; in every other case (failure,
// no target, target window gone, job dropped) the worker deletes it.
//
// Threads: Enqueue, Restart and Stop belong to the user-interface thread. The worker's
// thread does all network I/O and reaches windows only through PostMessage. Enqueue never
// waits for the network; Stop (and so Restart) blocks until the worker's final pass is done.
#pragma once

#include "platform/WinTypes.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One queued request.
struct RequestJob {
    std::string address;
    std::string body;
    std::unique_ptr<std::string> answer; // Enqueue gives every job one
    HWND target = nullptr;               // may be none
    int kind = 0;                        // RequestKind, handed back unchanged
};

class CRequestWorker {
public:
    using RetryDelays = std::array<std::chrono::milliseconds, 6>;
    static constexpr RetryDelays kRetryDelays{std::chrono::milliseconds(3000), std::chrono::milliseconds(6000),
                                              std::chrono::milliseconds(12000), std::chrono::milliseconds(24000),
                                              std::chrono::milliseconds(48000), std::chrono::milliseconds(96000)};
    // A certificate that does not verify (12175) will not verify a moment later either.
    static constexpr std::array<int, 8> kNoRetryCodes{400, 404, 405, 500, 503, 12007, 12029, 12175};
    static constexpr int kMaxRetries = 6; // a job is tried at most 7 times

    // One attempt: CMyHttpConnection::Post's contract (1 success, -20 failure with status).
    using Transport = std::function<int(const std::string& address, const std::string& body, std::string& answer,
                                        int& status)>;

    struct Options {
        std::string reportFolder; // where "BugReport.log" lives, ending with "/"
        RetryDelays retryDelays = kRetryDelays;
        // Empty: a new CMyHttpConnection per job, as in production.
        Transport transport;
        // Called on the worker's thread just before each retry wait, with its delay.
        std::function<void(std::chrono::milliseconds)> onRetryWait;
    };

    explicit CRequestWorker(std::string reportFolder);
    explicit CRequestWorker(Options options);
    ~CRequestWorker(); // Stop, then deletes what is still queued

    CRequestWorker(const CRequestWorker&) = delete;
    CRequestWorker& operator=(const CRequestWorker&) = delete;

    // Appends a job and wakes the worker (its idle wait and a retry wait alike).
    // answer: heap text allocated with new, ownership passes to the worker; null gets a
    // fresh empty one.
    void Enqueue(const std::string& address, const std::string& body, std::string* answer, HWND target, int kind);

    // Stop; delete every queued job; leave the purging state; start a new worker thread.
    void Restart();

    // Lets the worker make a final pass over the queue without retries (dropping all when
    // purging) and waits without time limit until its thread has ended. The queue then
    // holds what the final pass left.
    void Stop();

    // The registered message numbers of the two outcomes.
    UINT SuccMessage() const { return m_succMessage; }
    UINT FailMessage() const { return m_failMessage; }

    [[nodiscard]] static bool IsNoRetryCode(int status);

private:
    void threadMain();
    void processQueue();
    [[nodiscard]] bool runJob(RequestJob& job);
    void waitRetry(std::chrono::milliseconds delay);
    void dropAll();

    Options m_options;
    UINT m_succMessage = 0;
    UINT m_failMessage = 0;

    std::mutex m_lock; // the queue and the wake-up flags
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<RequestJob>> m_queue;
    bool m_wakePending = false; // a job was queued since the worker last looked
    bool m_flush = false;       // Stop: one more pass, then end the thread

    std::atomic<bool> m_stop{false}; // a failed attempt is not retried
    bool m_purge = false;            // worker thread only, and Restart after the thread ended
    std::thread m_thread;
};

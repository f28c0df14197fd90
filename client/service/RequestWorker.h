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
// Threads: Enqueue, Restart, Stop and AcceptOutcome belong to the user-interface thread,
// and none of them waits for the network. The worker's thread does all network I/O and
// reaches windows only through PostMessage.
//
// Stopping: Stop cancels the attempt in flight of a job with a target window (a cancelled
// job is dropped unanswered and does not purge; a job without one, the "logout", goes on)
// and leaves that thread to make its final pass over what is queued (a "logout") on its
// own, without retries and for at most finalPassLimit; Restart starts a new thread at once. From Stop on, nothing of the stopped thread reaches a window, and
// outcomes it posted earlier that are still queued are refused by AcceptOutcome. The
// destructor gives up what the stopped threads have not sent (their attempts end as
// cancelled, each with its report) and waits for them.
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
#include <vector>

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
    // How long a stopped thread may go on sending what was queued before Stop.
    static constexpr std::chrono::milliseconds kFinalPassLimit{5000};

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
        std::chrono::milliseconds finalPassLimit = kFinalPassLimit;
    };

    explicit CRequestWorker(std::string reportFolder);
    explicit CRequestWorker(Options options);
    ~CRequestWorker(); // Stop, give up every final pass, wait for the threads, delete the queues

    CRequestWorker(const CRequestWorker&) = delete;
    CRequestWorker& operator=(const CRequestWorker&) = delete;

    // Appends a job and wakes the worker (its idle wait and a retry wait alike).
    // answer: heap text allocated with new, ownership passes to the worker; null gets a
    // fresh empty one. Without a running thread (before the first Restart, after Stop)
    // the job is deleted unsent, as Restart would delete it.
    void Enqueue(const std::string& address, const std::string& body, std::string* answer, HWND target, int kind);

    // Stop, then a new worker thread with an empty queue, not purging. Returns at once.
    void Restart();

    // Ends the current worker thread's part: the attempt in flight is cancelled (unless its
    // job has no target window), what is queued gets one final pass on that thread without
    // retries (dropped when purging), and nothing of it reaches a window any more. Returns
    // at once; harmless without a thread.
    void Stop();

    // For the receiver of an outcome message: false when the worker thread that posted it
    // was stopped since (discard it, deleting an answer), true otherwise (handle it as
    // usual; also for a message the worker did not post).
    [[nodiscard]] bool AcceptOutcome(UINT msg, WPARAM wParam, LPARAM lParam);

    // Waits until every stopped thread has ended its final pass (each ends by
    // finalPassLimit at the latest). For tests and the end of the process.
    void WaitForStopped();

    // The registered message numbers of the two outcomes.
    UINT SuccMessage() const { return m_succMessage; }
    UINT FailMessage() const { return m_failMessage; }

    [[nodiscard]] static bool IsNoRetryCode(int status);

private:
    struct Generation;
    struct Posted {
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool stale; // posted by a thread stopped since
    };

    void threadMain(Generation& generation);
    void processQueue(Generation& generation);
    // False: the job failed, and the queue behind it is to be purged.
    [[nodiscard]] bool runJob(Generation& generation, RequestJob& job);
    void waitRetry(Generation& generation, std::chrono::milliseconds delay);
    void post(Generation& generation, HWND target, UINT msg, WPARAM wParam, LPARAM lParam);
    void reapStopped();

    Options m_options;
    UINT m_succMessage = 0;
    UINT m_failMessage = 0;

    std::shared_ptr<Generation> m_current;              // user-interface thread only
    std::vector<std::shared_ptr<Generation>> m_stopped; // user-interface thread only

    std::mutex m_postLock;       // m_posted and every generation's retired flag
    std::deque<Posted> m_posted; // outcomes posted and not yet accepted, oldest first
};

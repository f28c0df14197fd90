// ZTDownloadFileWndBase: a hidden window that downloads files over HTTP on worker
// threads, one worker per address, and reports every stage of a transfer back to itself
// as a registered window message sent with SendMessage, so that the derived class's
// handlers run on the user-interface thread.
//
// Reports, in order: CHECKTIME (answer 0 refuses the file), PROXYVALIDATE (only after a
// 407 answer), STARTDOWNLOAD, PROGRESS (per piece received), then DOWNFINISHED or ERROR.
// The body goes to the target path followed by ".~vm"; the derived class moves it into
// place when DOWNFINISHED arrives. On every failure that temporary file is removed.
//
// Only "http" and "https" addresses are fetched, redirects included. A worker stops as
// soon as its window is gone or the window object is being destroyed: the transfer checks
// a flag, the worker is never killed.
//
// Threads: every member function belongs to the user-interface thread; the virtual
// handlers run there too.
#pragma once

#include "client/skin/Wnd.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// wParam of CHECKTIME and PROXYVALIDATE.
struct DownloadTextsReport {
    const std::string& address;
    std::string& second; // CHECKTIME: target path; PROXYVALIDATE: user name (out)
    std::string& third;  // CHECKTIME: Last-Modified; PROXYVALIDATE: password (out)
};

// wParam of PROGRESS and DOWNFINISHED.
struct DownloadCountsReport {
    const std::string& address;
    int first;  // PROGRESS: bytes done; DOWNFINISHED: always 0
    int second; // PROGRESS: total (0 when unknown); DOWNFINISHED: Content-Length (0 when unknown)
};

class ZTDownloadFileWndBase : public CWnd {
public:
    // Names of the registered messages the workers send.
    static constexpr const char kCheckTime[] = "ZANTRO_WM_DOWNFILE_CHECKTIME";
    static constexpr const char kProxyValidate[] = "ZANTRO_WM_DOWNFILE_PROXYVALIDATE";
    static constexpr const char kStartDownload[] = "ZANTRO_WM_DOWNFILE_STARTDOWNLOAD";
    static constexpr const char kProgress[] = "ZANTRO_WM_DOWNFILE_PROGRESS";
    static constexpr const char kDownFinished[] = "ZANTRO_WM_DOWNFILE_DOWNFINISHED";
    static constexpr const char kError[] = "ZANTRO_WM_DOWNFILE_ERROR";

    // The idle thread priority, as the client asks for its downloads.
    static constexpr int kPriorityIdle = -15;

    ZTDownloadFileWndBase();
    // Stops every worker: all are asked to stop and waited for up to 10 seconds in all;
    // one that has not ended by then is left to end on its own (its reports go nowhere).
    ~ZTDownloadFileWndBase() override;

    // The hidden child window of parent: no title, WS_CHILD only, empty rectangle, id 0.
    bool Create(HWND parent);

    // Starts a worker for address unless one is still running for it. An empty address
    // starts nothing. priority: -15 idle, -2 lowest, -1 below normal, 0 normal.
    void StartDownload(const std::string& address, const std::string& path, int priority);

    // Whether a worker for address is still running (tests, callers that wait).
    [[nodiscard]] bool IsDownloading(const std::string& address) const;

protected:
    // Answer nonzero to go on with the file. lastModified is empty when the server sent none.
    virtual int OnCheckTime(const std::string& address, const std::string& path, const std::string& lastModified) = 0;
    virtual void OnDownFinished(const std::string& /*address*/, int /*zero*/, int /*length*/) {}
    virtual void OnProxyValidate(const std::string& /*address*/, std::string& /*user*/, std::string& /*password*/) {}
    virtual void OnError(const std::string& /*address*/) {}
    virtual void OnStartDownload(const std::string& /*address*/) {}
    virtual void OnProgress(const std::string& /*address*/, int /*done*/, int /*total*/) {}

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct Worker;
    void stopWorkers();

    std::vector<std::unique_ptr<Worker>> m_threads;
};

// The transfer a download worker runs: one file from an http or https address into the
// temporary file beside its target, every stage reported to the owner window with the
// registered messages of ZTDownloadFileWndBase.
//
// Threads: runs on the worker's own thread; it touches nothing of the window object,
// only its handle (IsWindow, SendMessage).
#pragma once

#include "platform/WinTypes.h"

#include <atomic>
#include <optional>
#include <string>

struct DownloadTask {
    HWND owner = nullptr;
    std::string address;
    std::string path;
};

// The window fetches member pictures only; a larger file, announced or arriving, fails the
// download before more of it reaches the disk.
constexpr long long kMaxDownloadBytes = 2ll << 20;

// Runs the whole transfer and its last report (DOWNFINISHED or ERROR). Returns early,
// reporting ERROR, as soon as stop is set or the owner window is gone.
void RunDownload(const DownloadTask& task, const std::atomic<bool>& stop);

// A Content-Length header value as the reports carry it: nothing when it is missing,
// malformed, negative or beyond the int range (the transfer then reads to the end).
[[nodiscard]] std::optional<int> ContentLengthValue(const std::string& headerValue);

// The temporary file the body goes to before the owner moves it onto path.
[[nodiscard]] std::string TempPathFor(const std::string& path);

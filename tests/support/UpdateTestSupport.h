// Helpers shared by the update tests: waiting on the headless window system for what
// other threads report, and a folder's files for byte-for-byte comparisons.
#pragma once

#include "TempDir.h"

#include "platform/window/WindowSystem.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>

namespace testsupport {

// Dispatches posted messages and serves other threads' sends until pred holds; false
// after limit.
inline bool serveUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MSG msg;
        while (PeekMessage(&msg, true)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace testsupport

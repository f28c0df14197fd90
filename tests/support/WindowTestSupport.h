// A headless window system per test, and windows that record what reaches them.
#pragma once

#include "platform/window/HeadlessControls.h"
#include "platform/window/WindowSystem.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace testsupport {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Received&) const = default;
};

class HeadlessWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::InitWindowSystem(platform::Backend::Headless)); }
    void TearDown() override
    {
        // Answers may refer to a finished test body's locals; the windows' last messages
        // are answered by default.
        m_answer = nullptr;
        platform::ShutdownWindowSystem();
    }

    // A top-level window that records every message it receives and answers through
    // `answer` (DefWindowProc when unset).
    HWND makeWindow(HWND parent = nullptr, DWORD style = WS_POPUP)
    {
        auto proc = [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            m_log.push_back({h, m, w, l});
            if (m_answer)
                return m_answer(h, m, w, l);
            return DefWindowProc(h, m, w, l);
        };
        return CreateWindowEx(0, "", style, 0, 0, 100, 80, parent, 0, proc);
    }

    std::vector<Received> received(UINT msg) const
    {
        std::vector<Received> out;
        for (const Received& r : m_log) {
            if (r.msg == msg)
                out.push_back(r);
        }
        return out;
    }

    void pumpAll()
    {
        MSG msg;
        while (PeekMessage(&msg, true)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }

    std::vector<Received> m_log;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> m_answer;
};

} // namespace testsupport

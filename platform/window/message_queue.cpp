// The message queue of the user-interface thread: posting, cross-thread sends, fetching
// and dispatching, the message and modal loops.
#include "platform/window/WindowState.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace platform::detail {
namespace {

std::shared_ptr<const WindowProc> procOf(HWND hwnd)
{
    Window* w = FindWindow(hwnd);
    return w ? w->proc : nullptr;
}

[[noreturn]] void endOnEscapedException(HWND hwnd, UINT msg, const char* what)
{
    std::fprintf(stderr, "Kavrel: window procedure of window %p let an exception out at message 0x%04X: %s\n",
                 static_cast<void*>(hwnd), msg, what);
    std::fflush(stderr);
    std::abort();
}

void serveSends()
{
    WindowSystemState* s = State();
    for (;;) {
        SendRequest* request = nullptr;
        {
            std::lock_guard lock(CoreMutex());
            if (s->sends.empty())
                return;
            request = s->sends.front();
            s->sends.pop_front();
        }
        LRESULT result = 0;
        if (FindWindow(request->msg.hwnd))
            result = CallWindowProcedure(request->msg.hwnd, request->msg.message, request->msg.wParam,
                                         request->msg.lParam);
        {
            std::lock_guard lock(CoreMutex());
            request->result = result;
            request->done = true;
        }
        SendDone().notify_all();
    }
}

enum class Fetched { Nothing, Message, Quit };

// One fetch attempt: a sent message is served first, then a posted message, the quit
// request, a due timer.
Fetched fetchOnce(MSG* out, bool remove)
{
    serveSends();
    WindowSystemState* s = State();
    std::uint64_t now = s->backend->now();
    {
        std::lock_guard lock(CoreMutex());
        if (!s->posted.empty()) {
            *out = s->posted.front();
            if (remove)
                s->posted.pop_front();
            return Fetched::Message;
        }
        if (s->quitPending) {
            *out = MSG{};
            out->message = WM_QUIT;
            out->wParam = static_cast<WPARAM>(s->quitCode);
            out->time = now;
            if (remove)
                s->quitPending = false;
            return Fetched::Quit;
        }
    }
    if (auto timer = TakeDueTimer(now, remove)) {
        *out = *timer;
        return Fetched::Message;
    }
    return Fetched::Nothing;
}

} // namespace

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A copy keeps the procedure alive when the handler replaces it or destroys the window.
    std::shared_ptr<const WindowProc> proc = procOf(hwnd);
    TrackKeyState(msg, wParam);
    try {
        if (!proc || !*proc)
            return DefWindowProc(hwnd, msg, wParam, lParam);
        return (*proc)(hwnd, msg, wParam, lParam);
    } catch (const std::exception& e) {
        endOnEscapedException(hwnd, msg, e.what());
    } catch (...) {
        endOnEscapedException(hwnd, msg, "an exception of unknown type");
    }
}

void EndModalLoopsOf(HWND hwnd)
{
    for (ModalFrame* frame : State()->modalFrames) {
        if (frame->hwnd == hwnd && !frame->ended) {
            frame->ended = true;
            PostMessage(nullptr, WM_NULL, 0, 0);
        }
    }
}

void DrainQueue()
{
    if (!State())
        return;
    MSG msg;
    // A quit request stays for the loop that fetches it.
    while (fetchOnce(&msg, false) == Fetched::Message) {
        fetchOnce(&msg, true);
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

bool IsFetching()
{
    WindowSystemState* s = State();
    return s && s->fetching > 0;
}

bool HasWork()
{
    WindowSystemState* s = State();
    if (!s)
        return false;
    std::uint64_t now = s->backend->now();
    {
        std::lock_guard lock(CoreMutex());
        if (!s->posted.empty() || !s->sends.empty())
            return true;
    }
    auto due = NextTimerDue();
    return due && *due <= now;
}

} // namespace platform::detail

using namespace platform::detail;

bool PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard lock(CoreMutex());
        WindowSystemState* s = State();
        if (!s)
            return false;
        backend = s->backend;
        if (hwnd) {
            auto it = s->windows.find(hwnd);
            if (it == s->windows.end() || it->second->destroying)
                return false;
        }
        MSG m;
        m.hwnd = hwnd;
        m.message = msg;
        m.wParam = wParam;
        m.lParam = lParam;
        m.time = 0;
        s->posted.push_back(m);
    }
    backend->wake();
    return true;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!IsWindow(hwnd))
        return 0;
    if (IsUiThread())
        return CallWindowProcedure(hwnd, msg, wParam, lParam);

    SendRequest request;
    request.msg.hwnd = hwnd;
    request.msg.message = msg;
    request.msg.wParam = wParam;
    request.msg.lParam = lParam;
    std::unique_lock lock(CoreMutex());
    WindowSystemState* s = State();
    if (!s)
        return 0;
    s->sends.push_back(&request);
    std::shared_ptr<Backend> backend = s->backend;
    lock.unlock();
    backend->wake();
    lock.lock();
    SendDone().wait(lock, [&] { return request.done; });
    return request.result;
}

void PostQuitMessage(int exitCode)
{
    std::shared_ptr<Backend> backend;
    {
        std::lock_guard lock(CoreMutex());
        WindowSystemState* s = State();
        if (!s)
            return;
        s->quitPending = true;
        s->quitCode = exitCode;
        backend = s->backend;
    }
    backend->wake();
}

bool GetMessage(MSG* msg)
{
    WindowSystemState* s = State();
    if (!s || !msg)
        return false;
    for (;;) {
        // A window just shown is drawn before posted work is served, as the first frames
        // of a start or of a form would otherwise wait for whatever answers came first.
        while (auto until = s->backend->firstFramesDue()) {
            std::unique_lock lock(CoreMutex());
            ++s->fetching;
            s->backend->wait(lock, until, [s] { return s->quitPending || !s->backend->firstFramesDue(); });
            --s->fetching;
        }
        Fetched got = fetchOnce(msg, true);
        if (got == Fetched::Message)
            return true;
        if (got == Fetched::Quit)
            return false;
        std::unique_lock lock(CoreMutex());
        ++s->fetching;
        auto due = NextTimerDue();
        s->backend->wait(lock, due, [s, due] {
            return !s->posted.empty() || !s->sends.empty() || s->quitPending || (due && s->backend->now() >= *due);
        });
        --s->fetching;
    }
}

bool PeekMessage(MSG* msg, bool remove)
{
    if (!State() || !msg)
        return false;
    return fetchOnce(msg, remove) != Fetched::Nothing;
}

void TranslateMessage(const MSG* msg)
{
    WindowSystemState* s = State();
    if (!s || !msg || msg->message != WM_KEYDOWN)
        return;
    // Keys that type a control character; printable text arrives from the input method.
    switch (msg->wParam) {
    case VK_BACK:
    case VK_TAB:
    case VK_RETURN:
    case VK_ESCAPE: {
        MSG ch = *msg;
        ch.message = WM_CHAR;
        ch.lParam = 1;
        std::lock_guard lock(CoreMutex());
        s->posted.push_front(ch);
        break;
    }
    default:
        break;
    }
}

LRESULT DispatchMessage(const MSG* msg)
{
    if (!msg || !msg->hwnd)
        return 0;
    if (!IsWindow(msg->hwnd)) {
        DisposeUndelivered(*msg);
        return 0;
    }
    return CallWindowProcedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int RunMessageLoop()
{
    MSG msg;
    while (GetMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int RunModalLoop(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return 0;
    WindowSystemState* s = State();
    ModalFrame frame;
    frame.hwnd = hwnd;
    s->modalFrames.push_back(&frame);
    s->backend->modal(*FindWindow(hwnd), true);
    MSG msg;
    while (!frame.ended && IsWindow(hwnd)) {
        if (!GetMessage(&msg)) {
            // The quit request belongs to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    if (WindowSystemState* still = State()) {
        std::erase(still->modalFrames, &frame);
        // A nested loop of the same window (none today) keeps it modal.
        const bool nested = std::any_of(still->modalFrames.begin(), still->modalFrames.end(),
                                        [hwnd](const ModalFrame* f) { return f->hwnd == hwnd; });
        if (Window* w = FindWindow(hwnd); w && !nested)
            still->backend->modal(*w, false);
    }
    return frame.result;
}

bool EndModalLoop(HWND hwnd, int code)
{
    WindowSystemState* s = State();
    if (!s)
        return false;
    for (auto it = s->modalFrames.rbegin(); it != s->modalFrames.rend(); ++it) {
        ModalFrame* frame = *it;
        if (frame->hwnd == hwnd && !frame->ended) {
            frame->result = code;
            frame->ended = true;
            // The loop may be waiting inside GetMessage (the end came from a sent message):
            // an empty message lets it look at its flag again.
            PostMessage(nullptr, WM_NULL, 0, 0);
            return true;
        }
    }
    return false;
}

bool IsInModalLoop(HWND hwnd)
{
    WindowSystemState* s = State();
    return s && std::any_of(s->modalFrames.begin(), s->modalFrames.end(),
                            [hwnd](const ModalFrame* f) { return f->hwnd == hwnd && !f->ended; });
}

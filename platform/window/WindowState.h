// Inside the window system: everything one run holds, from InitWindowSystem to
// ShutdownWindowSystem, and the helpers the core's files share. Only the core's own files
// include this header.
#pragma once

#include "platform/window/WindowCore.h"

#include <bitset>
#include <condition_variable>
#include <deque>
#include <thread>
#include <unordered_map>
#include <utility>

namespace platform::detail {

struct SendRequest {
    MSG msg;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    std::uint64_t due = 0;
    std::uint64_t interval = 1;
    std::uint64_t order = 0; // ties fire in the order the timers were set
};

struct ModalFrame {
    HWND hwnd = nullptr;
    int result = 0;
    bool ended = false;
};

using DroppedMessages = std::vector<std::pair<void (*)(WPARAM, LPARAM), MSG>>;

struct WindowSystemState {
    // Shared with other threads: guarded by CoreMutex().
    std::unordered_map<HWND, std::unique_ptr<Window>> windows;
    std::deque<MSG> posted;
    std::deque<SendRequest*> sends;
    bool quitPending = false;
    int quitCode = 0;
    // Other threads copy the back end under the lock, so a late wake never reaches a back
    // end that is gone.
    std::shared_ptr<Backend> backend;
    platform::Backend kind = platform::Backend::Headless;
    std::thread::id uiThread;

    // User-interface thread only.
    std::map<std::pair<HWND, UINT_PTR>, Timer> timers;
    std::uint64_t timerOrder = 0;
    std::vector<ModalFrame*> modalFrames;
    int fetching = 0;
    HWND capture = nullptr;
    HWND focus = nullptr;
    HWND active = nullptr;
    std::bitset<256> keysDown; // GetKeyState, as the handled key messages left it
    bool nativeActivation = false; // inside NativeActivated
    std::unordered_map<const void*, std::shared_ptr<void>> runStorage; // RunStorage<T>
};

// The running window system, null before InitWindowSystem and after
// ShutdownWindowSystem. Only the user-interface thread replaces it, so it reads the
// pointer freely; another thread reads it only under CoreMutex().
WindowSystemState* State();
// Wakes senders waiting for their answer; process-wide, like CoreMutex().
std::condition_variable& SendDone();

// A handle no window of ours ever has; top-level windows report it as their parent's
// stand-in and treat it as "no parent".
inline HWND const kDesktop = reinterpret_cast<HWND>(std::uintptr_t{0x8});

// Calls the window's procedure; every procedure call of the window system goes through
// here. An exception a procedure lets out is reported (what, which window and message)
// and ends the process: it would otherwise unwind through the desktop's C callbacks.
LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Takes out the posted messages that match and remembers those that own something.
// CoreMutex() held.
DroppedMessages TakePostedLocked(const std::function<bool(const MSG&)>& match);
// Runs the disposers of dropped messages; called without CoreMutex() held.
void DisposeDropped(const DroppedMessages& dropped);
// A message fetched while its window lived, whose window went before dispatch.
void DisposeUndelivered(const MSG& msg);
// Ends every modal loop running for the window (it is being destroyed).
void EndModalLoopsOf(HWND hwnd);
// The earliest timer due at `now` as its WM_TIMER, rescheduled when `remove`.
std::optional<MSG> TakeDueTimer(std::uint64_t now, bool remove);
// Drops the window's timers and queued messages (it is being destroyed).
void PurgeTimersAndMessages(HWND hwnd);
// Activation, focus and capture forget a destroyed window; an active one's visible owner
// takes over.
void ForgetInputWindow(const Window& w);
void SetActive(HWND hwnd);
// A keyboard message is being handled: the modifier keys' state follows it.
void TrackKeyState(UINT msg, WPARAM wParam);
void SendSize(Window& w);

} // namespace platform::detail

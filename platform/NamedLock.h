// platform::NamedLock: a per-user lock that marks a running program, by name.
//
// An flock(2) on the file "<name>.lock" in $XDG_RUNTIME_DIR or, when that variable is not
// set, in the per-user folder "${TMPDIR:-/tmp}/kavrel-<uid>", made with mode 0700. A
// fallback folder that is a link, someone else's or open to others makes the lock
// Unavailable: another user must neither hold it for us nor point it elsewhere. The kernel releases it when the holder ends, however it
// ends, so a crashed holder never blocks the next start. The descriptor is close-on-exec:
// programs started by the holder do not inherit the lock.
#pragma once

#include <string>

namespace platform {

class NamedLock {
public:
    enum class State {
        Acquired,      // this object holds the lock until it is destroyed or released
        HeldElsewhere, // another process holds it
        Unavailable,   // the lock file cannot be opened; nobody is known to hold it
    };

    // Tries once, without blocking.
    explicit NamedLock(const std::string& name);
    ~NamedLock();
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    [[nodiscard]] State state() const { return m_state; }
    void release();

    // The lock file used for `name` under the current environment.
    [[nodiscard]] static std::string filePath(const std::string& name);

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};

} // namespace platform

// platform::ParentProcess: the process that started this one, held so that it can be
// waited for.
//
// The parent's pid must be read with getppid() first thing in main(), before the parent
// has a chance to end. open() then takes a pidfd on it and confirms that it is still our
// parent, so the handle never refers to a stranger that reused the pid. A parent that has
// already ended (pid 1, or a pid that is no longer our parent) counts as not found: the
// caller must never wait on init or on whatever adopted it. Where pidfd_open is not
// available the wait watches getppid() instead, which changes when the parent ends.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace platform {

class ParentProcess {
public:
    // The parent's pid as getppid() reports it; call first thing in main().
    [[nodiscard]] static pid_t currentParentId();

    // Nothing when `pid` is 1 or less, cannot be opened, or is no longer our parent.
    [[nodiscard]] static std::optional<ParentProcess> open(pid_t pid);

    ParentProcess(ParentProcess&& other) noexcept;
    ParentProcess& operator=(ParentProcess&& other) noexcept;
    ParentProcess(const ParentProcess&) = delete;
    ParentProcess& operator=(const ParentProcess&) = delete;
    ~ParentProcess();

    pid_t id() const { return m_pid; }
    // The parent's executable (/proc/<pid>/exe) as read when it was opened; empty when it
    // could not be read.
    const std::string& executablePath() const { return m_executable; }

    // Blocks without a time limit until the parent has ended. False when waiting failed;
    // `error` (when given) then holds the errno value.
    [[nodiscard]] bool waitForExit(int* error = nullptr);

private:
    ParentProcess(pid_t pid, int fd, std::string executable);

    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_executable;
};

} // namespace platform

#include "platform/ParentProcess.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

int openPidFd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
    errno = ENOSYS;
    return -1;
#endif
}

std::string readExecutable(pid_t pid)
{
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return {};
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace

pid_t ParentProcess::currentParentId()
{
    return ::getppid();
}

std::optional<ParentProcess> ParentProcess::open(pid_t pid)
{
    if (pid <= 1)
        return std::nullopt;
    const int fd = openPidFd(pid);
    // Kernels before 5.3, or a sandbox that filters the call: the parent can still be
    // watched, through getppid() changing when it ends.
    if (fd < 0 && errno != ENOSYS && errno != EPERM)
        return std::nullopt;
    // Once we hold the pidfd the pid cannot be reused for another process; if it is still
    // our parent now, the pidfd is the parent's.
    if (::getppid() != pid) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    return ParentProcess(pid, fd, readExecutable(pid));
}

ParentProcess::ParentProcess(pid_t pid, int fd, std::string executable)
    : m_pid(pid), m_fd(fd), m_executable(std::move(executable))
{
}

ParentProcess::ParentProcess(ParentProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_fd(std::exchange(other.m_fd, -1)),
      m_executable(std::move(other.m_executable))
{
}

ParentProcess& ParentProcess::operator=(ParentProcess&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_pid = std::exchange(other.m_pid, -1);
        m_fd = std::exchange(other.m_fd, -1);
        m_executable = std::move(other.m_executable);
    }
    return *this;
}

ParentProcess::~ParentProcess()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ParentProcess::waitForExit(int* error)
{
    if (m_pid <= 1) {
        if (error)
            *error = EBADF;
        return false;
    }
    if (m_fd < 0) {
        // No pidfd: an ended parent hands us to another process, so getppid() changes.
        while (::getppid() == m_pid)
            ::poll(nullptr, 0, 50);
        if (error)
            *error = 0;
        return true;
    }
    pollfd entry{m_fd, POLLIN, 0};
    for (;;) {
        const int result = ::poll(&entry, 1, -1);
        if (result > 0)
            break;
        if (result < 0 && errno != EINTR) {
            if (error)
                *error = errno;
            return false;
        }
    }
    if (error)
        *error = 0;
    return true;
}

} // namespace platform

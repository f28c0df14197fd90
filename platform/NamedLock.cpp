#include "platform/NamedLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

std::string NamedLock::filePath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    // /tmp is shared by all users: the uid keeps the lock per user.
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".lock";
}

NamedLock::NamedLock(const std::string& name)
{
    const std::string path = filePath(name);
    // O_NOFOLLOW: in /tmp another user could plant a link to a file of ours.
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0) {
        m_state = State::Unavailable;
        return;
    }
    int result;
    do {
        result = flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        m_state = State::Acquired;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    ::close(m_fd);
    m_fd = -1;
}

NamedLock::~NamedLock()
{
    release();
}

void NamedLock::release()
{
    // The file stays: removing it would let a third process lock a fresh file while a
    // second one still holds the old, unlinked one.
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace platform

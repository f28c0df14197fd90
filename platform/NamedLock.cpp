#include "platform/NamedLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string fallbackFolder()
{
    const char* temporary = std::getenv("TMPDIR");
    const std::string base = temporary && *temporary ? temporary : "/tmp";
    return base + "/kavrel-" + std::to_string(getuid());
}

// The fallback folder lies where every user can create names: it is ours only when it
// is a real folder (no link), owned by us, that nobody else can enter.
bool ownPrivateFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid() &&
           (info.st_mode & 077) == 0;
}

} // namespace

std::string NamedLock::filePath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/" + name + ".lock";
    // A lock file another user could create first would let them hold us off.
    return fallbackFolder() + "/" + name + ".lock";
}

NamedLock::NamedLock(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!(runtime && *runtime) && !ownPrivateFolder(fallbackFolder())) {
        m_state = State::Unavailable;
        return;
    }
    const std::string path = filePath(name);
    // O_NOFOLLOW: a planted link must not make us open a file of ours elsewhere.
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

#include "platform/FileMove.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool syncPath(const std::filesystem::path& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

std::filesystem::path folderOf(const std::filesystem::path& target)
{
    std::filesystem::path folder = target.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

bool writeAll(int fd, const char* bytes, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies source to target through a synced temporary file; errno is set on failure.
bool copyAcross(const std::filesystem::path& source, const std::filesystem::path& target)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return false;
    }
    const std::filesystem::path temporary = target.string() + ".~mv";
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 07777);
    if (out < 0) {
        const int saved = errno;
        ::close(in);
        errno = saved;
        return false;
    }
    bool ok = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (!writeAll(out, buffer, static_cast<std::size_t>(got))) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fchmod(out, info.st_mode & 07777) == 0 && ::fsync(out) == 0;
    int saved = errno;
    ok = ::close(out) == 0 && ok;
    if (ok) {
        ok = std::rename(temporary.c_str(), target.c_str()) == 0;
        saved = errno;
    }
    ::close(in);
    if (!ok) {
        ::unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    return true;
}

} // namespace

bool MoveFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target, int* error)
{
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        if (errno != EXDEV || !copyAcross(source, target)) {
            if (error)
                *error = errno;
            return false;
        }
        // The target is complete and synced; a source that cannot be removed now only
        // leaves a stray copy behind.
        ::unlink(source.c_str());
    } else {
        syncPath(target, O_RDONLY);
    }
    syncPath(folderOf(target), O_RDONLY | O_DIRECTORY);
    if (error)
        *error = 0;
    return true;
}

} // namespace platform

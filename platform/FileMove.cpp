#include "platform/FileMove.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Copies source over target through the atomic writer; errno is set on failure.
bool copyAcross(const std::filesystem::path& source, const std::filesystem::path& target)
{
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info {};
    AtomicFileWriter writer(target);
    bool ok = ::fstat(in, &info) == 0 && writer.open(info.st_mode & 07777);
    char buffer[1 << 16];
    while (ok) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = writer.write(std::string_view(buffer, static_cast<std::size_t>(got)));
    }
    ok = ok && writer.commit();
    const int saved = writer.error() != 0 ? writer.error() : errno;
    ::close(in);
    errno = saved;
    return ok;
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
        SyncPath(target);
        SyncFolderOf(target);
    }
    if (error)
        *error = 0;
    return true;
}

} // namespace platform

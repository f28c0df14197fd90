#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<unsigned> g_temporaryCounter{0};

// The writer's temporary of `target` named in `name` ("<file>.~<pid>.<n>"): its pid.
std::optional<pid_t> temporaryOwner(const std::string& name, const std::string& targetName)
{
    const std::string prefix = targetName + ".~";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const char* digits = name.c_str() + prefix.size();
    char* end = nullptr;
    const long pid = std::strtol(digits, &end, 10);
    if (end == digits || *end != '.' || pid <= 0)
        return std::nullopt;
    const char* counter = end + 1;
    std::strtoul(counter, &end, 10);
    if (end == counter || *end != '\0')
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

} // namespace

void RemoveStaleTemporaries(const std::filesystem::path& target)
{
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    const std::string targetName = target.filename().string();
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::optional<pid_t> owner = temporaryOwner(it->path().filename().string(), targetName);
        // A writer that still runs may be about to rename its temporary: only the dead
        // leave theirs behind.
        if (owner && ::kill(*owner, 0) != 0 && errno == ESRCH)
            ::unlink(it->path().c_str());
    }
}

ssize_t FileSink::write(int fd, const char* bytes, std::size_t length) { return ::write(fd, bytes, length); }

int FileSink::sync(int fd) { return ::fsync(fd); }

FileSink& SystemFileSink()
{
    static FileSink sink;
    return sink;
}

bool SyncPath(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

bool SyncFolderOf(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.parent_path();
    return SyncPath(folder.empty() ? std::filesystem::path(".") : folder);
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target, FileSink& sink)
    : m_target(std::move(target)), m_sink(sink)
{
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

bool AtomicFileWriter::fail()
{
    if (m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    discard();
    return false;
}

void AtomicFileWriter::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }
}

bool AtomicFileWriter::open(std::optional<mode_t> mode)
{
    discard();
    m_error = 0;
    struct stat original {};
    const bool existed = ::stat(m_target.c_str(), &original) == 0;
    const mode_t wanted = mode ? *mode : existed ? (original.st_mode & 07777) : 0666;
    RemoveStaleTemporaries(m_target);
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        m_temporary = m_target.string() + ".~" + std::to_string(::getpid()) + "." + std::to_string(g_temporaryCounter++);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, wanted);
        if (m_fd < 0 && errno != EEXIST) {
            m_temporary.clear();
            return fail();
        }
    }
    if (m_fd < 0) {
        m_temporary.clear();
        return fail();
    }
    // The umask applies to a new file only: given or inherited permissions are kept whole.
    if ((mode || existed) && ::fchmod(m_fd, wanted) != 0)
        return fail();
    return true;
}

bool AtomicFileWriter::write(std::string_view bytes)
{
    if (m_fd < 0)
        return false;
    while (!bytes.empty()) {
        const ssize_t written = m_sink.write(m_fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return fail();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool AtomicFileWriter::commit()
{
    if (m_fd < 0)
        return false;
    if (m_sink.sync(m_fd) != 0)
        return fail();
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail();
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return fail();
    m_temporary.clear();
    // The new content is in place; a folder that cannot be flushed only weakens the
    // guarantee after a power cut, so it does not undo the write.
    SyncFolderOf(m_target);
    return true;
}

bool ReplaceFileContent(const std::filesystem::path& target, std::string_view bytes, int* error, FileSink& sink)
{
    AtomicFileWriter writer(target, sink);
    const bool ok = writer.open() && writer.write(bytes) && writer.commit();
    if (error)
        *error = writer.error();
    return ok;
}

} // namespace platform

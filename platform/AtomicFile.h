// platform::AtomicFileWriter: replaces a file so that, whatever happens, the file is
// either entirely the old one or entirely the new one.
//
// The new content goes to a temporary file beside the target ("<target>.~<pid>.<n>",
// created exclusively), which is flushed to disk, renamed over the target, and then the
// target's folder is flushed too, so the rename itself survives a power cut. Any failure
// (and a writer destroyed before commit) removes the temporary file and leaves the target
// byte for byte as it was; a writer killed on the way leaves its temporary, which the next
// writer to the same target removes.
//
// Bytes reach the disk through a FileSink; tests hand one that fails after N bytes.
// One writer per thread; different writers may run on different threads.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include <sys/types.h>

namespace platform {

// The calls the writer makes on its temporary file, as write(2) and fsync(2) answer:
// a count (possibly short) or -1 with errno set.
class FileSink {
public:
    virtual ~FileSink() = default;
    virtual ssize_t write(int fd, const char* bytes, std::size_t length);
    virtual int sync(int fd);
};

// The sink that calls the system.
FileSink& SystemFileSink();

class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target, FileSink& sink = SystemFileSink());
    ~AtomicFileWriter(); // an uncommitted temporary file is removed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file with the given permissions; without them, with the
    // target's own permissions when it exists, else those the umask gives a new file.
    // A missing folder is never created.
    [[nodiscard]] bool open(std::optional<mode_t> mode = std::nullopt);
    // Appends bytes (interrupted and short writes are continued).
    [[nodiscard]] bool write(std::string_view bytes);
    // Flushes and closes the temporary file, renames it over the target and flushes the
    // folder. False when any step before the rename failed (the target is unchanged).
    [[nodiscard]] bool commit();
    // The errno value of the first failure, 0 when none.
    [[nodiscard]] int error() const { return m_error; }

private:
    bool fail();
    void discard();

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    FileSink& m_sink;
    int m_fd = -1;
    int m_error = 0;
};

// The whole file replaced by `bytes` in one step (AtomicFileWriter with default
// permissions). On failure `error` (when given) holds the errno value.
[[nodiscard]] bool ReplaceFileContent(const std::filesystem::path& target, std::string_view bytes, int* error = nullptr,
                                      FileSink& sink = SystemFileSink());

// Removes the temporaries of writers to `target` that were killed before they could
// finish (their process no longer runs). Every writer does this when it opens.
void RemoveStaleTemporaries(const std::filesystem::path& target);

// Flushes a file or folder to disk; false when it cannot be opened or flushed.
bool SyncPath(const std::filesystem::path& path);
// Flushes the folder that holds `file` (its entries: a rename into it, for one).
bool SyncFolderOf(const std::filesystem::path& file);

} // namespace platform

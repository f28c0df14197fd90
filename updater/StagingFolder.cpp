#include "updater/StagingFolder.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace updater {
namespace {

std::optional<std::string> ownershipProblem(const struct stat& info)
{
    if (info.st_uid != ::geteuid())
        return "belongs to another user";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "is writable by other users";
    return std::nullopt;
}

} // namespace

std::optional<std::string> stagingFolderProblem(const std::string& folder, bool* missing)
{
    if (missing)
        *missing = false;
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        if (missing)
            *missing = errno == ENOENT;
        return errno == ENOENT ? std::nullopt : std::optional<std::string>("cannot be examined");
    }
    if (S_ISLNK(info.st_mode))
        return "is a link";
    if (!S_ISDIR(info.st_mode))
        return "is not a folder";
    return ownershipProblem(info);
}

bool recreateStagingFolder(const std::string& folder)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0) {
        std::error_code error;
        // remove_all removes a link itself and never what it points at.
        std::filesystem::remove_all(folder, error);
    }
    if (::mkdir(folder.c_str(), 0700) != 0)
        return false;
    bool missing = false;
    return !stagingFolderProblem(folder, &missing) && !missing;
}

int openStagedFile(const std::string& path, std::string* why)
{
    // O_NONBLOCK: a planted FIFO must not hold us; it is refused below as not regular.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (why)
            *why = errno == ELOOP ? "is a link" : "cannot be opened";
        return -1;
    }
    struct stat info {};
    std::optional<std::string> problem;
    if (::fstat(fd, &info) != 0)
        problem = "cannot be examined";
    else if (!S_ISREG(info.st_mode))
        problem = "is not a regular file";
    else
        problem = ownershipProblem(info);
    if (problem) {
        if (why)
            *why = *problem;
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<std::string> readStagedFile(const std::string& path, std::size_t limit)
{
    const int fd = openStagedFile(path);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > limit) {
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace updater

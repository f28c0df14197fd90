#include "updater/FileDigest.h"

#include "platform/MD5.h"
#include "updater/Crc32.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace updater {
namespace {

constexpr std::size_t kBlock = 1 << 16;

std::string upperHex(const std::array<unsigned char, 16>& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(32);
    for (unsigned char b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

class OpenFile {
public:
    explicit OpenFile(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Feeds the whole file to `consume`; false on a read error.
template <typename Consume>
bool readAll(int fd, Consume&& consume)
{
    static thread_local std::vector<unsigned char> buffer(kBlock);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        consume(buffer.data(), static_cast<std::size_t>(got));
    }
}

struct Reading {
    bool opened = false;
    bool readOk = true;
    std::uint64_t size = 0;
};

template <typename Consume>
Reading readFile(const std::filesystem::path& path, Consume&& consume)
{
    Reading reading;
    OpenFile file(path);
    struct stat info {};
    if (file.fd() < 0 || ::fstat(file.fd(), &info) != 0 || S_ISDIR(info.st_mode))
        return reading;
    reading.opened = true;
    reading.size = static_cast<std::uint64_t>(info.st_size);
    if (reading.size != 0)
        reading.readOk = readAll(file.fd(), consume);
    return reading;
}

} // namespace

FileDigest digestFile(const std::filesystem::path& path)
{
    velmar::MD5 md5;
    std::uint32_t crc = 0;
    const Reading reading = readFile(path, [&](const unsigned char* bytes, std::size_t length) {
        md5.update(bytes, static_cast<long>(length));
        crc = crc32Update(crc, bytes, length);
    });
    FileDigest digest;
    if (!reading.opened)
        return digest;
    digest.size = static_cast<std::uint32_t>(reading.size);
    if (reading.size != 0)
        digest.md5 = upperHex(md5.digest());
    if (!reading.readOk) {
        std::fputs("error reading file\n", stderr);
        digest.crc32 = digest.md5;
        return digest;
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
    digest.crc32 = text;
    return digest;
}

bool hasContent(const std::filesystem::path& path, const ExpectedContent& expected)
{
    velmar::MD5 md5;
    const Reading reading = readFile(path, [&](const unsigned char* bytes, std::size_t length) {
        md5.update(bytes, static_cast<long>(length));
    });
    if (!reading.opened || !reading.readOk || reading.size != expected.size)
        return false;
    const std::string text = reading.size == 0 ? std::string() : upperHex(md5.digest());
    return text.size() == expected.md5.size() && ::strncasecmp(text.c_str(), expected.md5.c_str(), text.size()) == 0;
}

std::string fileMd5(const std::filesystem::path& path)
{
    velmar::MD5 md5;
    const Reading reading = readFile(path, [&](const unsigned char* bytes, std::size_t length) {
        md5.update(bytes, static_cast<long>(length));
    });
    if (!reading.opened || reading.size == 0)
        return {};
    return upperHex(md5.digest());
}

} // namespace updater

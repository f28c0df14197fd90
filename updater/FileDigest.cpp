#include "updater/FileDigest.h"

#include "platform/MD5.h"
#include "updater/Crc32.h"

#include <cerrno>
#include <sodium.h>
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

std::string lowerHex(const unsigned char* bytes, std::size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string sha256Text(crypto_hash_sha256_state& state)
{
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return lowerHex(digest, sizeof digest);
}

bool sameMd5(const std::string& text, const std::string& expected)
{
    return text.size() == expected.size() && ::strncasecmp(text.c_str(), expected.c_str(), text.size()) == 0;
}

} // namespace

struct ContentCheck::State {
    velmar::MD5 md5;
    crypto_hash_sha256_state sha256;
};

ContentCheck::ContentCheck(ExpectedContent expected) : m_expected(std::move(expected)), m_state(std::make_unique<State>())
{
    crypto_hash_sha256_init(&m_state->sha256);
}

ContentCheck::~ContentCheck() = default;

void ContentCheck::update(const unsigned char* bytes, std::size_t length)
{
    m_seen += length;
    if (m_expected.sha256.empty())
        m_state->md5.update(bytes, static_cast<long>(length));
    else
        crypto_hash_sha256_update(&m_state->sha256, bytes, length);
}

bool ContentCheck::matches()
{
    if (m_seen != m_expected.size)
        return false;
    if (!m_expected.sha256.empty())
        return sha256Text(m_state->sha256) == m_expected.sha256;
    return sameMd5(m_seen == 0 ? std::string() : upperHex(m_state->md5.digest()), m_expected.md5);
}

bool isSha256Text(std::string_view text)
{
    if (text.size() != 2 * crypto_hash_sha256_BYTES)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

FileDigest digestFile(const std::filesystem::path& path)
{
    velmar::MD5 md5;
    std::uint32_t crc = 0;
    crypto_hash_sha256_state sha256;
    crypto_hash_sha256_init(&sha256);
    const Reading reading = readFile(path, [&](const unsigned char* bytes, std::size_t length) {
        md5.update(bytes, static_cast<long>(length));
        crc = crc32Update(crc, bytes, length);
        crypto_hash_sha256_update(&sha256, bytes, length);
    });
    FileDigest digest;
    if (!reading.opened)
        return digest;
    digest.size = static_cast<std::uint32_t>(reading.size);
    digest.sha256 = sha256Text(sha256);
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
    ContentCheck check(expected);
    const Reading reading = readFile(path, [&](const unsigned char* bytes, std::size_t length) {
        check.update(bytes, length);
    });
    return reading.opened && reading.readOk && check.matches();
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

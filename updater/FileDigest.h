// The digest of one file as the manifests carry it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace updater {

struct FileDigest {
    std::uint32_t size = 0; // content length; files are below 2 GiB
    std::string md5;        // 32 upper-case hex digits; empty for an empty or unopenable file
    std::string crc32;      // 8 upper-case hex digits; empty for an unopenable file
    std::string sha256;     // 64 lower-case hex digits; empty for an unopenable file
};

// Reads the file once. An unopenable file gives size 0 and empty texts. A read error
// writes "error reading file\n" to the standard error stream and sets the crc32 text to
// the md5 text of what was read.
[[nodiscard]] FileDigest digestFile(const std::filesystem::path& path);

// Only the md5 text of digestFile(), which is all a comparison needs.
[[nodiscard]] std::string fileMd5(const std::filesystem::path& path);

// What a listed file must turn out to be; an empty md5 stands for an empty file.
struct ExpectedContent {
    std::string md5; // compared without regard to letter case
    std::uint32_t size = 0;
    // When set, the content is judged by it alone (with the size): a signed manifest
    // binds its files by SHA-256, since MD5 collisions can be made at will.
    std::string sha256;
};

// Judges bytes as they stream past (a transfer, a copy) against an ExpectedContent, so
// that the bytes checked are the bytes written, without reading a file a second time.
class ContentCheck {
public:
    explicit ContentCheck(ExpectedContent expected);
    ~ContentCheck();
    ContentCheck(const ContentCheck&) = delete;
    ContentCheck& operator=(const ContentCheck&) = delete;

    void update(const unsigned char* bytes, std::size_t length);
    // Bytes seen so far.
    [[nodiscard]] std::uint64_t seen() const { return m_seen; }
    // True when more bytes arrived than expected: a transfer can stop at once.
    [[nodiscard]] bool overrun() const { return m_seen > m_expected.size; }
    // Once all bytes were seen: the size and digest are the expected ones.
    [[nodiscard]] bool matches();

private:
    struct State;
    ExpectedContent m_expected;
    std::uint64_t m_seen = 0;
    std::unique_ptr<State> m_state;
};

// True when the file can be read and has the expected size and digest.
[[nodiscard]] bool hasContent(const std::filesystem::path& path, const ExpectedContent& expected);

// True for 64 lower-case hexadecimal digits, as generate writes them.
[[nodiscard]] bool isSha256Text(std::string_view text);

} // namespace updater

// velmar::MD5: the RFC 1321 message digest, used for the login password digest and for the
// updater's file digests.
//
// One object digests one message: update() any number of times, then digest() or
// hexdigest() (either finalizes; later updates are ignored). Not thread-safe: one object
// belongs to one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmar {

class MD5 {
public:
    MD5();

    // Adds bytes to the message; a length of 0 or less adds nothing. Ignored after finalize.
    void update(const unsigned char* bytes, long length);
    void update(const char* bytes, long length);
    // The bytes of the text, without a terminating zero.
    void update(const std::string& text);

    // Appends the final padding block once; further calls do nothing.
    void finalize();

    // The 16 digest bytes; finalizes if needed.
    std::array<unsigned char, 16> digest();
    // 32 lower-case hexadecimal characters ("%02x" per byte); finalizes if needed.
    std::string hexdigest();

private:
    void transform(const unsigned char* block, std::size_t blocks);

    std::uint32_t m_state[4];
    std::uint64_t m_bytes = 0; // message length so far, in bytes
    unsigned char m_buffer[64];
    bool m_finalized = false;
};

// The hexdigest of one text.
std::string md5(const std::string& text);

} // namespace velmar

// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value all ones, final
// complement): the value zlib's crc32() gives when started from 0.
// Carry-less multiplication where the processor has it, slicing-by-16 tables elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace updater {

// Continues a CRC over more bytes: crc32Update(crc32Update(0, a), b) == crc of a then b.
// Start with 0.
[[nodiscard]] std::uint32_t crc32Update(std::uint32_t crc, const void* bytes, std::size_t length);

} // namespace updater

// CRC-32 (the one of zlib and gzip) without tables: a small stand-in for zlib's
// table-driven crc32 in the installer, whose zlib streams never ask for it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tv {

// zlib's crc32(crc, data, n): the running CRC of crc followed by the n bytes; 0 for
// null data.
uint32_t crc32_bitwise(uint32_t crc, const uint8_t* data, size_t n);

}  // namespace tv

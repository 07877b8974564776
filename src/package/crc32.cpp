#include "package/crc32.h"

namespace tv {

// The reflected polynomial 0xEDB88320, one bit at a time: some forty bytes of code
// where zlib's version carries 5 KiB of tables. zlib's inflate reaches it only for
// gzip streams (the gzip trailer's check), and the installer's are zlib streams, whose
// check is Adler-32; so its speed never matters.
uint32_t crc32_bitwise(uint32_t crc, const uint8_t* data, size_t n) {
  if (data == nullptr) return 0;
  crc = ~crc;
  while (n-- > 0) {
    crc ^= *data++;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace tv

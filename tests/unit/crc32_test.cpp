// The installer's table-free CRC-32 against zlib's own.
#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "package/crc32.h"

namespace {

TEST(Crc32, AgreesWithZlibWholeAndInPieces) {
  const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(tv::crc32_bitwise(0, check, sizeof check), 0xCBF43926u);
  std::vector<uint8_t> data(1031);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 131 + (i >> 3));
  for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(64), data.size()}) {
    EXPECT_EQ(tv::crc32_bitwise(0, data.data(), n), ::crc32(0, data.data(), uInt(n))) << n;
  }
  uint32_t running = tv::crc32_bitwise(0, data.data(), 500);
  running = tv::crc32_bitwise(running, data.data() + 500, data.size() - 500);
  EXPECT_EQ(running, ::crc32(0, data.data(), uInt(data.size())));
  EXPECT_EQ(tv::crc32_bitwise(0x12345678u, nullptr, 10), 0u);
}

}  // namespace

// The icon file reader on any bytes: it reads the file or refuses it (a PackError that
// says why, never another exception), and when it reads it every
// image lies inside the input, the directory's count is kept, and each image is a PNG
// or a bitmap of 1 to 256 pixels a side.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/errors.h"
#include "pe/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<tvpack::IconImage> images;
  try {
    images = tvpack::read_ico(data, size);
  } catch (const tvpack::PackError& e) {
    if (*e.what() == 0) std::abort();  // a refusal says why
    return 0;
  }
  if (images.empty()) std::abort();
  if (images.size() > tvpack::kMaxIconImages || images.size() != size_t(data[4] | data[5] << 8)) std::abort();
  for (size_t i = 0; i < images.size(); ++i) {
    const tvpack::IconImage& image = images[i];
    const uint8_t* entry = data + 6 + 16 * i;
    uint32_t length = uint32_t(entry[8] | entry[9] << 8 | entry[10] << 16) | uint32_t(entry[11]) << 24;
    uint32_t offset = uint32_t(entry[12] | entry[13] << 8 | entry[14] << 16) | uint32_t(entry[15]) << 24;
    if (image.data.size() != length || uint64_t(offset) + length > size ||
        std::memcmp(image.data.data(), data + offset, length) != 0)
      std::abort();
    if (image.pixel_width - 1 >= 256 || image.pixel_height - 1 >= 256 || image.bit_count == 0) std::abort();
    if (image.png != (image.data[0] == 0x89)) std::abort();
  }
  return 0;
}

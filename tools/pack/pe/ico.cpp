// The icon file reader: a .ico's directory and images, every offset and size checked
// against the file before a byte is read, each image recognised as a PNG (its IHDR) or a
// device-independent bitmap (its BITMAPINFOHEADER, XOR bitmap and AND mask in full).
#include "pe/ico.h"

#include <cstring>
#include <string>

#include "common/errors.h"
#include "base/bytes.h"

namespace tvpack {
namespace {

using tv::le16;
using tv::le32;

constexpr size_t kHeaderSize = 6;  // reserved, type (1 = icon), count
constexpr size_t kEntrySize = 16;
constexpr uint32_t kMaxSide = 256;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A PNG image: the signature, then IHDR as its first chunk (width, height, bit depth,
// colour type). The bit count is the bits of one pixel.
bool read_png(const uint8_t* p, size_t size, IconImage* image) {
  if (size < 8 + 8 + 13 || !is_png(p, size)) return false;
  if (be32(p + 8) != 13 || p[12] != 'I' || p[13] != 'H' || p[14] != 'D' || p[15] != 'R') return false;
  uint32_t width = be32(p + 16), height = be32(p + 20);
  uint8_t depth = p[24], colour = p[25];
  // Channels per colour type: grey, -, RGB, palette, grey+alpha, -, RGBA.
  static const uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  if (width == 0 || width > kMaxSide || height == 0 || height > kMaxSide) return false;
  if (colour > 6 || kChannels[colour] == 0 || depth == 0 || depth > 16 || (depth & (depth - 1)))
    return false;
  image->png = true;
  image->pixel_width = width;
  image->pixel_height = height;
  if (image->bit_count == 0) image->bit_count = uint16_t(depth * kChannels[colour]);
  if (image->planes == 0) image->planes = 1;
  return true;
}

// A bitmap image: a BITMAPINFOHEADER (or a later, longer version) of one plane whose
// height counts the XOR bitmap and the AND mask, uncompressed, followed by its colour
// table and both bitmaps, all within the image's bytes.
bool read_dib(const uint8_t* p, size_t size, IconImage* image) {
  if (size < 40) return false;
  uint32_t header = le32(p);
  int32_t width = int32_t(le32(p + 4)), height = int32_t(le32(p + 8));
  uint16_t planes = le16(p + 12), bits = le16(p + 14);
  uint32_t compression = le32(p + 16), colours_used = le32(p + 32);
  if (header != 40 && header != 108 && header != 124) return false;
  if (width <= 0 || uint32_t(width) > kMaxSide || height <= 0 || height % 2 != 0 ||
      uint32_t(height / 2) > kMaxSide || planes != 1 || compression != 0)
    return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  uint64_t palette = 0;
  if (bits <= 8) {
    palette = colours_used ? colours_used : (1u << bits);
    if (palette > (1u << bits)) return false;
  }
  uint64_t rows = uint64_t(height) / 2;
  uint64_t xor_row = (uint64_t(width) * bits + 31) / 32 * 4, and_row = (uint64_t(width) + 31) / 32 * 4;
  if (header + palette * 4 + (xor_row + and_row) * rows > size) return false;
  image->png = false;
  image->pixel_width = uint32_t(width);
  image->pixel_height = uint32_t(rows);
  if (image->bit_count == 0) image->bit_count = bits;
  if (image->planes == 0) image->planes = 1;
  return true;
}

bool is_prefix_of_header(const uint8_t* data, size_t size) {
  static const uint8_t kStart[4] = {0, 0, 1, 0};
  for (size_t i = 0; i < size && i < 4; ++i)
    if (data[i] != kStart[i]) return false;
  return true;
}

}  // namespace

bool is_png(const uint8_t* data, size_t size) { return size >= 8 && std::memcmp(data, kPngSignature, 8) == 0; }

// Images are named by their place in the directory, counted from 1.
std::vector<IconImage> read_ico(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) fail(size > 0 && is_prefix_of_header(data, size) ? "is truncated" : "is not an icon file");
  if (le16(data) != 0 || le16(data + 2) != 1) fail("is not an icon file");
  size_t count = le16(data + 4);
  if (count == 0) fail("holds no images");
  if (count > kMaxIconImages)
    fail("holds " + std::to_string(count) + " images, more than " + std::to_string(kMaxIconImages));
  size_t directory_end = kHeaderSize + kEntrySize * count;
  if (directory_end > size) fail("is truncated");
  std::vector<IconImage> images(count);
  uint64_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + kHeaderSize + kEntrySize * i;
    std::string number = "image " + std::to_string(i + 1);
    uint32_t length = le32(e + 8), offset = le32(e + 12);
    if (offset > size || length > size - offset) fail(number + " lies outside the file");
    if (offset < directory_end) fail(number + " overlaps the directory");
    IconImage& image = images[i];
    image.width = e[0];
    image.height = e[1];
    image.color_count = e[2];
    image.planes = le16(e + 4);
    image.bit_count = le16(e + 6);
    const uint8_t* bytes = data + offset;
    if (!read_png(bytes, length, &image) && !read_dib(bytes, length, &image))
      fail(number + " is neither a PNG nor a bitmap");
    total += length;
  }
  // Images may share bytes of the file; each is held in full, so their sum is bounded
  // before any is copied.
  if (total > kMaxIconBytes)
    fail("has images of " + std::to_string(total) + " bytes in all; an icon may have at most 16 MiB");
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = data + kHeaderSize + kEntrySize * i;
    images[i].data.assign(data + le32(e + 12), data + le32(e + 12) + le32(e + 8));
  }
  return images;
}

}  // namespace tvpack

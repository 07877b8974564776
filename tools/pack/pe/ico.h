// Reading a Windows icon file (.ico) that a user hands the maker: its directory and
// the bytes of each image, checked so that nothing is read outside the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tvpack {

constexpr size_t kMaxIconImages = 64;
constexpr uint64_t kMaxIconBytes = 16u << 20;  // the images in all (they may share bytes of the file)

// One image of an icon file, as an RT_ICON resource carries it, with the fields its
// RT_GROUP_ICON entry needs.
struct IconImage {
  uint8_t width = 0;        // as in the directory: 0 stands for 256
  uint8_t height = 0;
  uint8_t color_count = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  bool png = false;         // a PNG-compressed image (else a DIB)
  uint32_t pixel_width = 0, pixel_height = 0;  // read from the image itself
  std::vector<uint8_t> data;
};

// The images of an icon file in memory, in file order. fail()s with one phrase (no
// file name) when it is no icon file, is damaged or holds no image, more than
// kMaxIconImages or more than kMaxIconBytes of images.
std::vector<IconImage> read_ico(const uint8_t* data, size_t size);

// The bytes start with PNG's signature.
bool is_png(const uint8_t* data, size_t size);

}  // namespace tvpack

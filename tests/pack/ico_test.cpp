// The icon file reader: icon files made here, good ones with bitmap and PNG images, and
// damaged or foreign files, each refused with its own phrase.
#include "pe/ico.h"

#include <algorithm>
#include <functional>

#include "pack_test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// x as n little-endian bytes at v[at].
void put(Bytes& v, size_t at, uint32_t x, int n) {
  for (int i = 0; i < n; ++i) v[at + i] = uint8_t(x >> 8 * i);
}
void put16(Bytes& v, size_t at, uint32_t x) { put(v, at, x, 2); }
void put32(Bytes& v, size_t at, uint32_t x) { put(v, at, x, 4); }

// A PNG's signature and IHDR chunk (width, height, depth, colour type), then some bytes.
Bytes png(uint32_t side, uint8_t depth, uint8_t colour) {
  Bytes v = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (int i = 0; i < 8; ++i) v.push_back(uint8_t(side >> (24 - 8 * (i % 4))));
  v.insert(v.end(), {depth, colour, 0, 0, 0, 1, 2, 3, 4, 'I', 'E', 'N', 'D'});
  return v;
}

// A bitmap image as an icon holds it: header, colour table, XOR bitmap and AND mask.
Bytes dib(uint32_t side, uint16_t bits) {
  size_t palette = bits <= 8 ? 4u << bits : 0;
  size_t rows = (side * bits + 31) / 32 * 4 * side + (side + 31) / 32 * 4 * side;
  Bytes v = packtest::pattern(40 + palette + rows, side + bits);
  std::fill(v.begin(), v.begin() + 40, 0);
  put32(v, 0, 40);
  put32(v, 4, side);
  put32(v, 8, side * 2);
  put16(v, 12, 1);
  put16(v, 14, bits);
  return v;
}

struct Entry {
  uint8_t width, height, colours;
  uint16_t planes, bits;
  Bytes image;
};

// An icon file of the given entries, images laid out after the directory in order.
Bytes ico(const std::vector<Entry>& entries) {
  Bytes v(6 + 16 * entries.size());
  put16(v, 2, 1);
  put16(v, 4, uint32_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    size_t at = 6 + 16 * i;
    v[at] = e.width, v[at + 1] = e.height, v[at + 2] = e.colours;
    put16(v, at + 4, e.planes);
    put16(v, at + 6, e.bits);
    put32(v, at + 8, uint32_t(e.image.size()));
    put32(v, at + 12, uint32_t(v.size()));
    v.insert(v.end(), e.image.begin(), e.image.end());
  }
  return v;
}

// The directory's fields, then what the image itself says (planes and bits taken from
// it where the directory has 0).
TEST(Ico, ReadsBitmapAndPngImages) {
  const std::vector<Entry> entries = {{16, 16, 16, 1, 4, dib(16, 4)},   {32, 32, 0, 0, 0, dib(32, 32)},
                                      {48, 48, 0, 1, 24, dib(48, 24)},  {0, 0, 0, 1, 32, png(256, 8, 6)},
                                      {64, 64, 0, 0, 0, png(64, 8, 2)}, {1, 1, 0, 0, 0, png(1, 16, 4)}};
  Bytes file = ico(entries);
  std::vector<tvpack::IconImage> images = tvpack::read_ico(file.data(), file.size());
  std::vector<std::string> got;
  for (const tvpack::IconImage& i : images) {
    got.push_back(std::to_string(i.width) + " " + std::to_string(i.height) + " " +
                  std::to_string(i.color_count) + " " + std::to_string(i.planes) + " " +
                  std::to_string(i.bit_count) + (i.png ? " PNG " : " bitmap ") +
                  std::to_string(i.pixel_width) + "x" + std::to_string(i.pixel_height));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"16 16 16 1 4 bitmap 16x16", "32 32 0 1 32 bitmap 32x32",
                                           "48 48 0 1 24 bitmap 48x48", "0 0 0 1 32 PNG 256x256",
                                           "64 64 0 1 24 PNG 64x64", "1 1 0 1 32 PNG 1x1"}));
  for (size_t i = 0; i < images.size(); ++i) EXPECT_EQ(images[i].data, entries[i].image) << i;
}

// A copy of the bytes with one change made.
Bytes edited(Bytes v, const std::function<void(Bytes&)>& change) {
  change(v);
  return v;
}

TEST(Ico, RefusesWhatIsNoGoodIconFile) {
  // Directory entries at 6 and 22 (size at +8, offset at +12), the first image (a bitmap) at 38.
  const Bytes good = ico({{32, 32, 0, 1, 32, dib(32, 32)}, {0, 0, 0, 1, 32, png(256, 8, 6)}});
  const size_t png_at = good.size() - png(256, 8, 6).size();
  const Bytes bmp = edited(dib(16, 4), [](Bytes& v) { v.insert(v.begin(), 14, 0), v[0] = 'B', v[1] = 'M'; });
  const std::string neither = "is neither a PNG nor a bitmap";
  Bytes big = dib(16, 4);  // a bitmap with bytes after it, 9 MiB
  big.resize(9u << 20);
  const struct {
    const char* what;
    Bytes file;
    std::string why;
  } cases[] = {
      {"empty", {}, "is not an icon file"},
      {"a PNG", png(256, 8, 6), "is not an icon file"},
      {"a BMP", bmp, "is not an icon file"},
      {"a cursor", edited(good, [](Bytes& v) { v[2] = 2; }), "is not an icon file"},
      {"reserved field set", edited(good, [](Bytes& v) { v[0] = 1; }), "is not an icon file"},
      {"header cut short", Bytes(good.begin(), good.begin() + 4), "is truncated"},
      {"directory cut short", Bytes(good.begin(), good.begin() + 30), "is truncated"},
      {"no images", ico({}), "holds no images"},
      {"65 images", ico(std::vector<Entry>(65, {16, 16, 0, 1, 4, dib(16, 4)})),
       "holds 65 images, more than 64"},
      {"image cut short", Bytes(good.begin(), good.end() - 1), "image 2 lies outside the file"},
      {"offset past the end", edited(good, [](Bytes& v) { put32(v, 18, 0xFFFFFFF0u); }),
       "image 1 lies outside the file"},
      {"size wraps around", edited(good, [](Bytes& v) { put32(v, 14, 0xFFFFFFFFu); }),
       "image 1 lies outside the file"},
      {"image in the directory", edited(good, [](Bytes& v) { put32(v, 34, 6); }),
       "image 2 overlaps the directory"},
      {"empty image", edited(good, [](Bytes& v) { put32(v, 14, 0); }), "image 1 " + neither},
      {"PNG chunk not IHDR", edited(good, [&](Bytes& v) { v[png_at + 12] = 'X'; }), "image 2 " + neither},
      {"PNG wider than 256", ico({{0, 0, 0, 1, 32, png(257, 8, 6)}}), "image 1 " + neither},
      {"PNG colour type 5", ico({{0, 0, 0, 1, 32, png(256, 8, 5)}}), "image 1 " + neither},
      {"bitmap header size", edited(good, [](Bytes& v) { put32(v, 38, 12); }), "image 1 " + neither},
      {"bitmap odd height", edited(good, [](Bytes& v) { put32(v, 38 + 8, 33); }), "image 1 " + neither},
      {"bitmap two planes", edited(good, [](Bytes& v) { put16(v, 38 + 12, 2); }), "image 1 " + neither},
      {"bitmap 7 bits", edited(good, [](Bytes& v) { put16(v, 38 + 14, 7); }), "image 1 " + neither},
      {"bitmap compressed", edited(good, [](Bytes& v) { put32(v, 38 + 16, 1); }), "image 1 " + neither},
      {"bitmap larger than its bytes",
       edited(good, [](Bytes& v) { put32(v, 38 + 4, 40), put32(v, 38 + 8, 80); }), "image 1 " + neither},
      {"18 MiB of images", ico({{16, 16, 0, 1, 4, big}, {16, 16, 0, 1, 4, big}}),
       "has images of " + std::to_string(2 * big.size()) + " bytes in all; an icon may have at most 16 MiB"},
      {"colour table too long",
       ico({{16, 16, 0, 1, 4, edited(dib(16, 4), [](Bytes& v) { put32(v, 32, 17); })}}),
       "image 1 " + neither},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(packtest::refusal([&] { tvpack::read_ico(c.file.data(), c.file.size()); }), c.why) << c.what;
  }
}

}  // namespace

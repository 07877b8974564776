#include "pack_test_support.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "errors.h"

namespace packtest {

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = fs::temp_directory_path() /
          ("tvpack-" + std::to_string(ticks % 1000000007) + "-" + std::to_string(++serial));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path TempDir::operator/(const std::string& utf8_relative) const {
  return path_ / tvpack::utf8_path(utf8_relative);
}

fs::path TempDir::write(const std::string& utf8_relative, const std::string& content) const {
  return write(utf8_relative, std::vector<uint8_t>(content.begin(), content.end()));
}

fs::path TempDir::write(const std::string& utf8_relative, const std::vector<uint8_t>& content) const {
  fs::path p = *this / utf8_relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
  return p;
}

std::vector<std::string> TempDir::names() const {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(path_)) out.push_back(e.path().filename().u8string());
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string read_text(const fs::path& path) {
  std::vector<uint8_t> b = read_bytes(path);
  return std::string(b.begin(), b.end());
}

uint32_t le32_at(const std::vector<uint8_t>& v, size_t at) {
  return uint32_t(v.at(at)) | uint32_t(v.at(at + 1)) << 8 | uint32_t(v.at(at + 2)) << 16 |
         uint32_t(v.at(at + 3)) << 24;
}
uint16_t le16_at(const std::vector<uint8_t>& v, size_t at) {
  return uint16_t(v.at(at) | v.at(at + 1) << 8);
}

namespace {

void put16(std::vector<uint8_t>& v, size_t at, uint16_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

}  // namespace

std::vector<uint8_t> make_pe(const PeRecipe& r) {
  const uint32_t pe = 0x80;
  const uint16_t optional_size = r.pe32plus ? 0xF0 : 0xE0;
  const uint32_t table = pe + 24 + optional_size;
  const uint32_t fa = r.file_alignment, sa = r.section_alignment;
  size_t raw_end = r.size_of_headers + size_t(r.sections) * fa;
  std::vector<uint8_t> f(raw_end + r.overlay, 0);
  f[0] = 'M';
  f[1] = 'Z';
  put32(f, 0x3C, pe);
  std::memcpy(&f[pe], "PE\0\0", 4);
  put16(f, pe + 4, r.pe32plus ? 0x8664 : 0x14C);
  put16(f, pe + 6, uint16_t(r.sections));
  if (r.overlay) {
    put32(f, pe + 12, uint32_t(raw_end));  // PointerToSymbolTable
    put32(f, pe + 16, 1);
  }
  put16(f, pe + 20, optional_size);
  put16(f, pe + 22, r.pe32plus ? 0x22 : 0x102);
  size_t o = pe + 24;
  put16(f, o, r.pe32plus ? 0x20B : 0x10B);
  put32(f, o + 8, uint32_t(r.sections) * fa);  // SizeOfInitializedData
  put32(f, o + 16, sa);                        // AddressOfEntryPoint
  if (r.pe32plus) {
    put32(f, o + 24, 0x40000000);
    put32(f, o + 28, 0x1);
  } else {
    put32(f, o + 28, 0x400000);
  }
  put32(f, o + 32, sa);
  put32(f, o + 36, fa);
  put16(f, o + 40, 4);
  put16(f, o + 48, 4);
  uint32_t last_pages = r.last_virtual_size ? (r.last_virtual_size + sa - 1) / sa : 1;
  put32(f, o + 56, sa * uint32_t(r.sections + last_pages));
  put32(f, o + 60, r.size_of_headers);
  put16(f, o + 68, 3);  // console
  size_t dirs = o + (r.pe32plus ? 112 : 96);
  put32(f, dirs - 4, 16);
  if (r.certificate_size) {
    put32(f, dirs + 8 * 4, uint32_t(raw_end));
    put32(f, dirs + 8 * 4 + 4, r.certificate_size);
  }
  for (int i = 0; i < r.sections; ++i) {
    size_t sh = table + size_t(i) * 40;
    std::string name = ".s" + std::to_string(i);
    if (i == r.sections - 1 && !r.last_section_name.empty()) name = r.last_section_name;
    std::memcpy(&f[sh], name.data(), std::min<size_t>(8, name.size()));
    put32(f, sh + 8, i == r.sections - 1 && r.last_virtual_size ? r.last_virtual_size : fa - 16);
    put32(f, sh + 12, sa * uint32_t(i + 1));
    put32(f, sh + 16, fa);
    put32(f, sh + 20, r.size_of_headers + uint32_t(i) * fa);
    put32(f, sh + 36, 0x40000040);
    for (uint32_t k = 0; k < fa; ++k) f[r.size_of_headers + i * fa + k] = uint8_t(0x11 * (i + 1) + k);
  }
  for (size_t k = 0; k < r.overlay; ++k) f[raw_end + k] = uint8_t(0xA0 ^ k);
  return f;
}

std::vector<uint8_t> map_image(const std::vector<uint8_t>& file) {
  uint32_t pe = le32_at(file, 0x3C);
  uint16_t count = le16_at(file, pe + 6);
  uint16_t optional_size = le16_at(file, pe + 20);
  uint32_t size_of_image = le32_at(file, pe + 24 + 56);
  uint32_t size_of_headers = le32_at(file, pe + 24 + 60);
  std::vector<uint8_t> image(size_of_image, 0);
  std::copy(file.begin(), file.begin() + std::min<size_t>(size_of_headers, file.size()), image.begin());
  for (uint16_t i = 0; i < count; ++i) {
    size_t sh = pe + 24 + optional_size + size_t(i) * 40;
    uint32_t vsize = le32_at(file, sh + 8), va = le32_at(file, sh + 12);
    uint32_t raw_size = le32_at(file, sh + 16), raw = le32_at(file, sh + 20);
    uint32_t len = std::min(vsize, raw_size);
    EXPECT_LE(uint64_t(va) + vsize, size_of_image) << "section " << i << " lies past SizeOfImage";
    EXPECT_LE(uint64_t(raw) + raw_size, file.size()) << "section " << i << " runs past the file";
    if (uint64_t(va) + len > size_of_image || uint64_t(raw) + len > file.size()) continue;
    std::copy(file.begin() + raw, file.begin() + raw + len, image.begin() + va);
  }
  return image;
}

std::vector<fs::path> real_stubs() {
  std::vector<fs::path> out;
#ifdef TV_TEST_STUBS
  std::stringstream list(TV_TEST_STUBS);  // paths joined by "|"
  std::string item;
  while (std::getline(list, item, '|')) {
    if (!item.empty() && fs::exists(item)) out.push_back(item);
  }
#endif
  return out;
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 16);
  }
  return v;
}

}  // namespace packtest

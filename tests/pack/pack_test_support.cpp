// The maker tests' helpers (see pack_test_support.h).
#include "pack_test_support.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/errors.h"

namespace packtest {

TempDir::TempDir() {
  static std::atomic<unsigned> serial{0};
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007;
  path_ = fs::temp_directory_path() / ("tvpack-" + std::to_string(ticks) + "-" + std::to_string(++serial));
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path TempDir::operator/(const std::string& utf8_relative) const {
  return path_ / tvpack::utf8_path(utf8_relative);
}

fs::path TempDir::write(const std::string& utf8_relative, const std::vector<uint8_t>& content) const {
  fs::path p = *this / utf8_relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                           std::streamsize(content.size()));
  return p;
}

std::vector<uint8_t> read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const tvpack::PackError& e) {
    return e.what();
  }
  return "";
}

uint32_t le32_at(const std::vector<uint8_t>& v, size_t at) {
  return uint32_t(v.at(at)) | uint32_t(v.at(at + 1)) << 8 | uint32_t(v.at(at + 2)) << 16 |
         uint32_t(v.at(at + 3)) << 24;
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : v) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  return v;
}

namespace {
void put(std::vector<uint8_t>& v, size_t at, uint32_t x, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
}  // namespace

std::vector<uint8_t> make_pe(const PeRecipe& r) {
  const uint32_t pe = 0x80, fa = 0x200, sa = 0x1000, n = uint32_t(r.sections);
  const uint32_t opt_size = r.pe32plus ? 0xF0 : 0xE0, o = pe + 24, table = o + opt_size;
  const size_t raw_end = r.size_of_headers + n * fa;
  std::vector<uint8_t> f(raw_end + r.overlay, 0);
  f[0] = 'M', f[1] = 'Z';
  put(f, 0x3C, pe);
  std::memcpy(&f[pe], "PE\0\0", 4);
  put(f, pe + 4, r.pe32plus ? 0x8664 : 0x14C, 2);
  put(f, pe + 6, n, 2);
  if (r.overlay) put(f, pe + 12, uint32_t(raw_end));  // PointerToSymbolTable
  put(f, pe + 20, opt_size, 2);
  put(f, o, r.pe32plus ? 0x20B : 0x10B, 2);
  put(f, o + 8, n * fa);  // SizeOfInitializedData
  put(f, o + 32, sa);
  put(f, o + 36, fa);
  uint32_t last_pages = r.last_virtual_size ? (r.last_virtual_size + sa - 1) / sa : 1;
  put(f, o + 56, sa * (n + last_pages));  // SizeOfImage
  put(f, o + 60, r.size_of_headers);
  uint32_t dirs = o + (r.pe32plus ? 112 : 96);
  put(f, dirs - 4, 16);  // NumberOfRvaAndSizes
  if (r.certificate_size) put(f, dirs + 36, r.certificate_size);
  for (uint32_t i = 0; i < n; ++i) {
    size_t sh = table + i * 40;
    std::string name = i + 1 == n && !r.last_name.empty() ? r.last_name : ".s" + std::to_string(i);
    std::memcpy(&f[sh], name.data(), std::min<size_t>(8, name.size()));
    put(f, sh + 8, i + 1 == n && r.last_virtual_size ? r.last_virtual_size : fa - 16);
    put(f, sh + 12, sa * (i + 1));
    put(f, sh + 16, fa);
    put(f, sh + 20, r.size_of_headers + i * fa);
    put(f, sh + 36, 0x40000040);
    for (uint32_t k = 0; k < fa; ++k) f[r.size_of_headers + i * fa + k] = uint8_t(0x11 * (i + 1) + k);
  }
  for (size_t k = 0; k < r.overlay; ++k) f[raw_end + k] = uint8_t(0xA0 ^ k);
  return f;
}

std::vector<uint8_t> map_image(const std::vector<uint8_t>& file) {
  uint32_t pe = le32_at(file, 0x3C), count = le32_at(file, pe + 6) & 0xFFFF;
  uint32_t table = pe + 24 + (le32_at(file, pe + 20) & 0xFFFF);
  std::vector<uint8_t> image(le32_at(file, pe + 24 + 56), 0);
  std::copy(file.begin(), file.begin() + le32_at(file, pe + 24 + 60), image.begin());
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t vsize = le32_at(file, table + i * 40 + 8), va = le32_at(file, table + i * 40 + 12);
    uint32_t raw_size = le32_at(file, table + i * 40 + 16), raw = le32_at(file, table + i * 40 + 20);
    uint32_t len = std::min(vsize, raw_size);
    EXPECT_LE(uint64_t(va) + vsize, image.size()) << "section " << i << " lies past SizeOfImage";
    EXPECT_LE(uint64_t(raw) + raw_size, file.size()) << "section " << i << " runs past the file";
    if (uint64_t(va) + len <= image.size() && uint64_t(raw) + len <= file.size())
      std::copy(file.begin() + raw, file.begin() + raw + len, image.begin() + va);
  }
  return image;
}

std::vector<fs::path> real_stubs() {
  std::vector<fs::path> out;
  std::stringstream list(TV_TEST_STUBS);  // paths joined by "|"
  for (std::string item; std::getline(list, item, '|');)
    if (fs::exists(item)) out.push_back(item);
  return out;
}

fs::path any_stub(const TempDir& dir) {
  std::vector<fs::path> stubs = real_stubs();
  return stubs.empty() ? dir.write("stub.exe", make_pe(PeRecipe{})) : stubs.front();
}

}  // namespace packtest

// Helpers for the maker's tests: temporary folders, small PE images made to order,
// an image laid out as the Windows loader maps it, and the real stubs of the build.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace packtest {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& utf8_relative) const;
  // Writes a file (creating its folders) and returns its path.
  fs::path write(const std::string& utf8_relative, const std::string& content) const;
  fs::path write(const std::string& utf8_relative, const std::vector<uint8_t>& content) const;
  // The names in the folder itself (not below), sorted.
  std::vector<std::string> names() const;

 private:
  fs::path path_;
};

std::vector<uint8_t> read_bytes(const fs::path& path);
std::string read_text(const fs::path& path);

// A small, valid PE image: DOS header, PE headers, `sections` sections of one file
// alignment each (".s0", ".s1", ...), then `overlay` bytes that the symbol table
// pointer names. Header room ends at size_of_headers.
struct PeRecipe {
  bool pe32plus = false;
  int sections = 2;
  uint32_t size_of_headers = 0x400;
  uint32_t file_alignment = 0x200;
  uint32_t section_alignment = 0x1000;
  size_t overlay = 0;
  uint32_t certificate_size = 0;
  std::string last_section_name;  // overrides the last section's name when set
  uint32_t last_virtual_size = 0;  // overrides the last section's VirtualSize (like .bss)
};
std::vector<uint8_t> make_pe(const PeRecipe& recipe);

// The image as the loader maps it: SizeOfImage bytes, the headers and each section's
// raw data (up to its virtual size) at its virtual address.
std::vector<uint8_t> map_image(const std::vector<uint8_t>& file);

uint32_t le32_at(const std::vector<uint8_t>& v, size_t at);
uint16_t le16_at(const std::vector<uint8_t>& v, size_t at);

// The real stubs the build made (a mingw-linked program with and without its symbol
// table); empty when this build has none.
std::vector<fs::path> real_stubs();

// Deterministic bytes of the given length (a different pattern per seed).
std::vector<uint8_t> pattern(size_t size, uint32_t seed);

}  // namespace packtest

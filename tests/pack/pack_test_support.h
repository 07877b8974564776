// Helpers for the maker's tests: a temporary folder, PE images made to order, an
// image laid out as the loader maps it, and the real stubs of the build.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace packtest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  fs::path operator/(const std::string& utf8_relative) const;
  // Writes a file, making its folders.
  fs::path write(const std::string& utf8_relative, const std::vector<uint8_t>& content) const;
  fs::path write(const std::string& utf8_relative, const std::string& content) const {
    return write(utf8_relative, std::vector<uint8_t>(content.begin(), content.end()));
  }

 private:
  fs::path path_;
};

std::vector<uint8_t> read_bytes(const fs::path& path);
// What a call fails with (its PackError's text), "" when it does not fail.
std::string refusal(const std::function<void()>& call);
uint32_t le32_at(const std::vector<uint8_t>& v, size_t at);
// Deterministic bytes, a different pattern per seed.
std::vector<uint8_t> pattern(size_t size, uint32_t seed);

// A small valid PE image: headers up to size_of_headers, `sections` sections of one
// file alignment each, then `overlay` bytes named by the symbol table pointer.
struct PeRecipe {
  bool pe32plus = false;
  int sections = 2;
  uint32_t size_of_headers = 0x400;
  size_t overlay = 0;
  uint32_t certificate_size = 0;
  std::string last_name;           // the last section's name, when set
  uint32_t last_virtual_size = 0;  // the last section's VirtualSize, when set (like .bss)
};
std::vector<uint8_t> make_pe(const PeRecipe& recipe);

// SizeOfImage bytes: the headers and each section's raw data at its virtual address.
std::vector<uint8_t> map_image(const std::vector<uint8_t>& file);

// The mingw-linked stubs of this build (with and without symbol table), if any.
std::vector<fs::path> real_stubs();
// A stub to build on: the first real one, else a made one written into dir.
fs::path any_stub(const TempDir& dir);

}  // namespace packtest

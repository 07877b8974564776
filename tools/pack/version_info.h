// The version information (VERSIONINFO resource) of a PE file, for `inspect`.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvpack {

struct VersionInfo {
  uint16_t file_version[4] = {};     // the fixed part: major, minor, patch, build
  uint16_t product_version[4] = {};
  struct Value {
    std::string block;  // the string table, e.g. "080404B0" (language and code page)
    std::string name;   // e.g. "FileDescription"
    std::string value;  // UTF-8
  };
  std::vector<Value> strings;  // every string table's values, in file order
};

// Reads the first version resource of a PE file in memory. Returns false and says
// why in *why (one phrase) when the file has none or it is damaged; nothing is read
// outside the file, whatever it holds.
bool read_version_info(const uint8_t* data, size_t size, VersionInfo* out, std::string* why);

}  // namespace tvpack

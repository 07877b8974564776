// The version information (VERSIONINFO resource) of a PE file: read for `inspect`,
// and written again with the product's values when the maker builds an installer.
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
  std::vector<uint8_t> fixed;  // VS_FIXEDFILEINFO as read (52 bytes), empty when none
  struct Var {
    std::string name;            // e.g. "Translation"
    std::vector<uint8_t> value;  // as read
  };
  std::vector<Var> vars;         // VarFileInfo's values
};

// Reads the first version resource of a PE file in memory. Returns false and says
// why in *why (one phrase) when the file has none or it is damaged; nothing is read
// outside the file, whatever it holds.
bool read_version_info(const uint8_t* data, size_t size, VersionInfo* out, std::string* why);

// The same for the bytes of one version resource: false when they are damaged.
bool parse_version_resource(const uint8_t* data, size_t size, VersionInfo* out);

// A version resource: the fixed part (when there was one) with file_version and
// product_version, a string table per run of values of one block, then the vars.
std::vector<uint8_t> write_version_resource(const VersionInfo& info);

}  // namespace tvpack

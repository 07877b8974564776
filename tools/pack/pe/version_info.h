// The version information (VERSIONINFO resource) of a PE file: read for `inspect`,
// and written again with the product's values when the maker builds an installer
// (which values, and where, is decided here).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe/pe_resources.h"
#include "pe/product_info.h"

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

// Reads the first version resource of a PE file in memory. fail()s with one phrase
// when the file has none ("has no resources", "has no version information") or it is
// damaged; nothing is read outside the file, whatever it holds.
VersionInfo read_version_info(const uint8_t* data, size_t size);

// The same for the resources of a file already read (pe_file.h).
VersionInfo version_info_of(const std::vector<Resource>& resources);

// The same for the bytes of one version resource: fail()s when they are damaged.
VersionInfo parse_version_resource(const uint8_t* data, size_t size);

// A version resource: the fixed part (when there was one) with file_version and
// product_version, a string table per run of values of one block, then the vars.
std::vector<uint8_t> write_version_resource(const VersionInfo& info);

// Which values the product's version information holds: a stub's version resource
// with the product's values set in its Chinese (PRC, Unicode) string table and its
// fixed part (made when the stub has none and a version number is given), and
// output_name as its OriginalFilename.
std::vector<uint8_t> product_version_resource(const std::vector<uint8_t>& stub_version, const ProductInfo& product,
                                              const std::u16string& output_name);
// The product sets a version value (the stub must then have version information).
bool has_version_values(const ProductInfo& product);

}  // namespace tvpack

// What the installer's own resources say of the product, and the stub made the
// product's: its icon and version information, every other resource kept.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe/ico.h"

namespace tvpack {

// The product's icon, names and versions; a value left out keeps the stub's. The
// strings are ones the version information can hold as they are (no control
// characters, at most 256 UTF-16 units); the numbers are the binary FILEVERSION and
// PRODUCTVERSION.
struct ProductInfo {
  std::vector<IconImage> icon;  // none: the stub's icons stay
  std::optional<std::u16string> product_name, product_version, file_version;
  std::optional<std::u16string> company, copyright, description;
  std::optional<std::array<uint16_t, 4>> product_version_number, file_version_number;
};

// The stub with its resources made the product's: the icon's images (put_icon) and
// the version information with the product's values (version_info.h), with
// output_name as its OriginalFilename. The resource section is rewritten where it was
// (with_resources). Returns the stub as it is when there is nothing to write (no icon,
// no version information). fail()s (one phrase, to follow "the stub ") when the stub
// cannot take it.
std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const ProductInfo& product,
                                            const std::u16string& output_name);

}  // namespace tvpack

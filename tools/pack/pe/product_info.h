// What the installer's own resources say of the product: its icon, names and versions.
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
// PRODUCTVERSION. folder_name is one the installer takes (tv::is_folder_name): it
// goes into a resource of its own (tv::kFolderNameId).
struct ProductInfo {
  std::vector<IconImage> icon;  // none: the stub's icons stay
  std::optional<std::u16string> product_name, product_version, file_version;
  std::optional<std::u16string> company, copyright, description;
  std::optional<std::array<uint16_t, 4>> product_version_number, file_version_number;
  std::optional<std::u16string> folder_name;  // none: the stub's "\KESTA" and "D:\Kesta"
};

}  // namespace tvpack

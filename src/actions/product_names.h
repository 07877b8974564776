// The product's names as the running installer carries them in its resources (the
// maker writes them from the manifest's [installer] table): the name its texts give
// the product, and the folder that browsing and the default install folder add.
#pragma once
#include <cstddef>
#include <cstdint>

#include "actions/path_rules.h"
#include "variables/expand.h"  // kMaxPath

namespace tv {

// The longest product name the installer reads whole; the maker writes no longer one.
constexpr size_t kMaxProductNameUnits = 256;
constexpr size_t kProductNameUnits = kMaxProductNameUnits + 1;  // with its NUL

// The product's name for the installer's texts into out (kProductNameUnits units):
// the ProductName of its version information, or "Talvenor" when it has none, or an
// empty one, one longer than kMaxProductNameUnits or damaged version information.
void product_name(char16_t* out);

// The folder name held in the bytes of the folder-name resource (its UTF-16LE units,
// no NUL), copied with a NUL into out (kMaxFolderNameUnits + 1 units). False (out
// empty) when size is odd or the name is not one is_folder_name takes.
bool read_folder_name(const uint8_t* data, size_t size, char16_t* out);

// What the browse button adds to the folder chosen, into out (kFolderSuffixUnits
// units): a backslash and the product's folder name, or "\KESTA" when the installer
// carries none that read_folder_name takes.
constexpr size_t kFolderSuffixUnits = kMaxFolderNameUnits + 2;
void browse_folder_suffix(char16_t* out);

// The folder name the texts' examples give, into out (kMaxFolderNameUnits + 1 units):
// the product's folder name, else the last name of the default install folder (the
// package's {App}, when that name is one is_folder_name takes and names no variable),
// else "Kesta".
void example_folder_name(char16_t* out);

// The install folder when the edit box holds none, into out (kMaxPath units): "D:\"
// and the product's folder name, or "D:\Kesta" when the installer carries none.
void default_install_folder(char16_t* out);

}  // namespace tv

// The stub made the product's: its icon, version information and folder name
// (product_info.h), every other resource kept.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "pe/product_info.h"

namespace tvpack {

// The stub with its resources made the product's: the icon's images (put_icon), the
// version information with the product's values (version_info.h), with output_name
// as its OriginalFilename, and the folder name (tv::kFolderNameId). The resource
// section is rewritten where it was (with_resources). Returns the stub as it is when
// there is nothing to write (no icon, no version information, no folder name).
// fail()s (one phrase, to follow "the stub ") when the stub cannot take it.
std::vector<uint8_t> with_product_resources(const std::vector<uint8_t>& stub, const ProductInfo& product,
                                            const std::u16string& output_name);

}  // namespace tvpack

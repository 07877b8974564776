// talvenor-pack try, the prefix's ANSI code page: what Wine's shell links cannot keep.
#pragma once
#include <string>

namespace tvpack {

// Whether Wine alone explains a shortcut that reads back as got where the package
// planned planned: each character outside the prefix's ANSI code page (936, for the
// Chinese locale try runs in) is stored by Wine's shell links as one '?' per UTF-16
// unit, and all else is equal.
bool wine_code_page_loss(const std::string& planned, const std::string& got);

}  // namespace tvpack

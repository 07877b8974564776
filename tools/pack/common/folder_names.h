// A name found in a folder on disk as Windows finds it, regardless of case: the one
// place the maker looks a name up in a host folder (extract's output, try's drives).
#pragma once
#include <filesystem>
#include <map>
#include <string>

namespace tvpack {

// The names of folder (UTF-8) by their uppercase (upcase.h); of two names that fold
// alike, the first in name order. Empty when folder cannot be listed.
std::map<std::u16string, std::string> names_by_case(const std::filesystem::path& folder);

}  // namespace tvpack

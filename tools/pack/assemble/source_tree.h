// The walk of a [[tree]] source folder: every file below it, each name one Windows
// can be given, each link leading to a place inside the folder.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"

namespace tvpack {

// The files below source (links inside it followed), each as the names of its path
// below source (UTF-8), in the order of those names. Tells errors at line, naming
// the path, and passes over what it names: a name that is not valid UTF-8 (shown with
// its bad bytes as \xNN) or holds a backslash, a link that leads outside source (or
// nowhere), a link that leads back to a folder it lies in, or a folder that cannot be read.
std::vector<std::vector<std::string>> walk_tree(ErrorList* errors, int line, const std::filesystem::path& source);

// name with every byte that is not part of a UTF-8 sequence written as \xNN; name
// itself when it is valid UTF-8.
std::string escaped_utf8(const std::string& name);

}  // namespace tvpack

// Where the maker finds what ships with it (the installer stub, try's UI driver): one
// rule, from the maker's own folder, whatever the current folder is.
#pragma once
#include <filesystem>
#include <vector>

namespace tvpack {

// The folders looked in, in order: the maker's own (a Windows download, a build
// folder), ../share/talvenor/ from it (an installed maker, wherever its prefix was
// moved), and ../win32/ (a source build: build/win32/ beside build/native/). Empty
// when the maker's folder is unknown.
std::vector<std::filesystem::path> beside_maker(const std::filesystem::path& self_dir);

// The same folders as the help lists them, a line each.
extern const char* const kBesideMakerText;

}  // namespace tvpack

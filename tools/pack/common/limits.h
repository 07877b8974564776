// Limits of the install script that the installer reads, which the maker keeps to.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tvpack {

constexpr uint64_t kMaxFileSize = 0x7FFFFFFFull;      // a file of 2 GiB or more is refused
constexpr uint64_t kMaxScriptSize = 1ull << 30;       // 1 GiB
constexpr unsigned kMaxPathUnits = 259;               // an expanded path, NUL not counted
constexpr size_t kMaxShortcuts = 256;                 // the installer's 1024 lines, four each

}  // namespace tvpack

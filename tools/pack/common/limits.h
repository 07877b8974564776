// Limits of the install script that the installer reads, which the maker keeps to.
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/path_limit.h"

namespace tvpack {

constexpr uint64_t kMaxFileSize = 0x7FFFFFFFull;  // a file of 2 GiB or more is refused
using tv::kMaxPathUnits;                          // an expanded path, NUL not counted
constexpr size_t kMaxShortcuts = 256;             // the installer's 1024 lines, four each
constexpr size_t kMaxInfoUnits = 256;             // a text of the version information

// The installer's memory: its image maps the stored blob (twice the compressed
// container, 2N bytes), and the install script (U bytes) is unpacked beside it, each
// in one piece. The installer is large-address aware, so 64-bit Windows gives it
// 4 GiB. Measured under 32-bit Wine 8: a flagged program whose image holds a 1,700 MiB
// section loads at its usual base, and 1,883 MiB can then still be reserved in one
// piece. Each of the two is held to 1.5 GiB, a margin on both.
constexpr uint64_t kMaxScriptSize = 3ull << 29;  // U: 1.5 GiB
constexpr uint64_t kMaxStoredBlob = 3ull << 29;  // 2N: 1.5 GiB
// 32-bit Windows gives a program 2 GiB, shared with the system's libraries: a package
// whose 2N + U is over 1 GiB needs 64-bit Windows.
constexpr uint64_t kMax32BitWindows = 1ull << 30;
// A 32-bit maker has 2 GiB itself, and holds the script and the compressor's output
// (about as large again) at once: it takes scripts up to 512 MiB.
constexpr uint64_t kMaxScriptSize32BitMaker = 1ull << 29;

}  // namespace tvpack

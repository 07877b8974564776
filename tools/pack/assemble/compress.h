// The install script as one zlib stream (RFC 1950), as the installer's `uncompress`
// reads it. The Linux maker compresses with libdeflate (levels 1..12), the Windows
// maker with zlib (levels 1..9); each gives the same bytes for the same script and
// level every time. One file per compressor (compress_libdeflate.cpp,
// compress_zlib.cpp); CMake links the one the system has.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace tvpack {

extern const int kMinLevel;
extern const int kMaxLevel;
extern const int kDefaultLevel;
// "libdeflate" or "zlib".
extern const char* const kCompressorName;

// Called after each piece with the number of script bytes compressed so far.
using CompressProgress = std::function<void(uint64_t done)>;

// The script is compressed in pieces of `piece` bytes (the last may be shorter), each
// ending on a byte boundary inside the one stream; progress is reported after each.
constexpr size_t kCompressPiece = size_t(8) << 20;

// Throws std::runtime_error when the compressor cannot be had (no memory).
std::vector<uint8_t> compress_script(const std::vector<uint8_t>& script, int level,
                                     const CompressProgress& progress = nullptr,
                                     size_t piece = kCompressPiece);

}  // namespace tvpack

// Where the installer-maker puts the package inside the installer: one extra PE
// section named ".tvpkg" holding a 16-byte header and the stored blob.
//   0  8 bytes  magic "TVPKG\x01\0\0"
//   8  4 bytes  N, the container length (little-endian)
//  12  4 bytes  the scrambling key (little-endian)
//  16  2 * N    the stored blob
#pragma once
#include <cstddef>
#include <cstdint>

#include "base/pe_headers.h"

namespace tv {

constexpr char kPackageSectionName[8] = {'.', 't', 'v', 'p', 'k', 'g', 0, 0};
constexpr unsigned char kPackageMagic[8] = {'T', 'V', 'P', 'K', 'G', 1, 0, 0};
constexpr uint32_t kPackageHeaderSize = 16;

struct PackageView {
  const uint8_t* blob = nullptr;
  uint32_t n = 0;
  uint32_t key = 0;
};

// Finds the package section in a PE image as loaded in memory (sections at their
// virtual addresses, image_size bytes readable from base) and checks its header.
bool find_package_in_image(const uint8_t* base, size_t image_size, PackageView* out);

// The same for a PE file read into memory (sections at their raw file offsets).
bool find_package_in_file(const uint8_t* file, size_t file_size, PackageView* out);

// Whether a header names the package section.
bool is_package_section(const PeSectionHeader& section);

// The package in the package section whose header is given, its header checked: in
// an image as loaded (in_memory: at its virtual address) or in a file (at its raw
// offset, no more than its raw size).
bool package_in_section(const uint8_t* base, size_t size, const PeSectionHeader& section, bool in_memory,
                        PackageView* out);

}  // namespace tv

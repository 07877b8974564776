// The package section: the installer stub with one more section, ".tvpkg", added
// without a compiler (its header, its raw data at the file-aligned end of the file,
// and the headers that describe the image brought up to date), and the section found
// again in an installer.
#pragma once
#include <cstdint>
#include <vector>

#include "pe/pe_image.h"

namespace tvpack {

// The installer is the stub's bytes with the headers changed, zeros up to
// section_offset, the section's bytes, and zeros up to total_size.
struct PackagedImage {
  std::vector<uint8_t> head;   // the stub, headers updated (the checksum included)
  uint64_t section_offset = 0; // where the section's raw data starts
  uint64_t total_size = 0;     // the whole installer
};

// Plans the installer from a stub and the section's contents: refuses (fail(), one
// phrase) a stub that is no PE image, is signed, already carries a package section,
// or has no room for another section header.
PackagedImage add_package_section(const std::vector<uint8_t>& stub,
                                  const std::vector<const std::vector<uint8_t>*>& section_parts);

// The ".tvpkg" section's 16-byte header for a blob of 2 * n bytes.
std::vector<uint8_t> package_section_header(uint32_t n, uint32_t key);

// The package section of a PE file, or null when it has none.
const PeSection* find_package_section(const PeLayout& pe);

}  // namespace tvpack

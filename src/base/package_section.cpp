#include "base/package_section.h"

#include "base/bytes.h"
#include "base/pe_headers.h"

#include <cstring>

namespace tv {
namespace {

// The first section the table names the package section's (another of that name is
// never looked at); in_memory picks virtual addresses over raw offsets.
bool find_package(const uint8_t* base, size_t size, bool in_memory, PackageView* out) {
  PeHeaders pe;
  if (read_pe_headers(base, size, &pe) != PeHeadersRead::kOk) return false;
  for (uint16_t i = 0; i < pe.section_count; ++i) {
    PeSectionHeader section = pe_section_header(base, pe, i);
    if (is_package_section(section)) return package_in_section(base, size, section, in_memory, out);
  }
  return false;
}

}  // namespace

bool is_package_section(const PeSectionHeader& section) {
  return std::memcmp(section.raw_name, kPackageSectionName, 8) == 0;
}

bool package_in_section(const uint8_t* base, size_t size, const PeSectionHeader& section, bool in_memory,
                        PackageView* out) {
  uint32_t vsize = section.virtual_size, raw_size = section.raw_size;
  uint32_t where = in_memory ? section.virtual_address : section.raw_pointer;
  uint32_t len = in_memory ? vsize : (raw_size < vsize ? raw_size : vsize);
  if (where > size || size - where < len || len < kPackageHeaderSize) return false;
  const uint8_t* s = base + where;
  if (std::memcmp(s, kPackageMagic, 8) != 0) return false;
  uint32_t n = le32(s + 8);
  if (n > (len - kPackageHeaderSize) / 2) return false;
  out->blob = s + kPackageHeaderSize;
  out->n = n;
  out->key = le32(s + 12);
  return true;
}

bool find_package_in_image(const uint8_t* base, size_t image_size, PackageView* out) {
  return find_package(base, image_size, true, out);
}

bool find_package_in_file(const uint8_t* file, size_t file_size, PackageView* out) {
  return find_package(file, file_size, false, out);
}

}  // namespace tv

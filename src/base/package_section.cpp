#include "base/package_section.h"

#include "base/bytes.h"
#include "base/pe_headers.h"

#include <cstring>

namespace tv {
namespace {


// Walks the section table; in_memory picks virtual addresses over raw offsets.
bool find_package(const uint8_t* base, size_t size, bool in_memory, PackageView* out) {
  PeHeaders pe;
  if (read_pe_headers(base, size, &pe) != PeHeadersRead::kOk) return false;
  for (uint16_t i = 0; i < pe.section_count; ++i) {
    const uint8_t* sh = base + pe.section_table + size_t(i) * kPeSectionHeaderSize;
    if (std::memcmp(sh, kPackageSectionName, 8) != 0) continue;
    uint32_t vsize = le32(sh + 8), vaddr = le32(sh + 12);
    uint32_t raw_size = le32(sh + 16), raw_ptr = le32(sh + 20);
    uint32_t where = in_memory ? vaddr : raw_ptr;
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
  return false;
}

}  // namespace

bool find_package_in_image(const uint8_t* base, size_t image_size, PackageView* out) {
  return find_package(base, image_size, true, out);
}

bool find_package_in_file(const uint8_t* file, size_t file_size, PackageView* out) {
  return find_package(file, file_size, false, out);
}

}  // namespace tv

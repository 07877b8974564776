// The package section written into a stub. What it writes must agree with what the
// installer reads: src/base/package_section.cpp (the section's name, its header,
// the blob after it).
#include "pe/package_section.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/errors.h"
#include "base/bytes.h"
#include "base/package_section.h"

namespace tvpack {
namespace {

using tv::put16;
using tv::put32;

constexpr uint32_t kScnMemRead = 0x40000000;
constexpr uint32_t kPageBytes = 4096;

// The file offset of the new section header: after the last one, before SizeOfHeaders
// and the first section's raw data, over bytes that nothing else uses.
uint64_t room_for_section_header(const std::vector<uint8_t>& stub, const PeLayout& pe) {
  if (find_package_section(pe) != nullptr) fail("already carries a package section (.tvpkg); pack a clean stub");
  if (pe.certificate_size != 0)
    fail("is signed; adding a section would break the signature (sign the installer after packing)");
  if (pe.section_count == 0xFFFF) fail("has the most sections a PE file can");
  uint64_t room = pe.size_of_headers;
  for (const PeSection& s : pe.sections) {
    if (s.raw_size != 0 && s.raw_pointer != 0 && s.raw_pointer < room) room = s.raw_pointer;
  }
  uint64_t at = pe.section_table + uint64_t(pe.section_count) * kSectionHeaderSize;
  bool free = at + kSectionHeaderSize <= room && at + kSectionHeaderSize <= stub.size();
  for (uint32_t i = 0; free && i < kSectionHeaderSize; ++i) free = stub[at + i] == 0;
  if (!free)
    fail("has no room in its headers for another section header (its headers end at " + std::to_string(room) +
         " bytes)");
  return at;
}

// Where the section goes in memory and in the file, for content bytes.
struct Placement {
  uint64_t vaddr, raw_size, raw_pointer, image_size, total, initialized;
};

Placement place_section(const std::vector<uint8_t>& stub, const PeLayout& pe, uint64_t content) {
  uint64_t end_of_image = pe.size_of_image;
  for (const PeSection& s : pe.sections) {
    uint32_t extent = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
    uint64_t end = align_up(uint64_t(s.virtual_address) + extent, pe.section_alignment);
    if (end > end_of_image) end_of_image = end;
  }
  Placement p;
  p.vaddr = align_up(end_of_image, pe.section_alignment);
  p.raw_size = align_up(content, pe.file_alignment);
  // At a page boundary of the file, so that a loader can map the package straight
  // from the file: Wine reads a section at any other offset into new memory when the
  // process starts (the whole package, before the first instruction runs).
  p.raw_pointer = align_up(stub.size(), std::max<uint32_t>(pe.file_alignment, kPageBytes));
  p.image_size = p.vaddr + align_up(content, pe.section_alignment);
  p.total = p.raw_pointer + p.raw_size;
  p.initialized = uint64_t(pe.size_of_initialized_data) + p.raw_size;
  if (p.image_size > 0xFFFFFFFFu || p.total > 0xFFFFFFFFu || p.initialized > 0xFFFFFFFFu)
    fail("with the package would exceed 4 GiB, more than a PE image can hold");
  return p;
}

}  // namespace

const PeSection* find_package_section(const PeLayout& pe) {
  for (const PeSection& s : pe.sections)
    if (tv::is_package_section(s)) return &s;
  return nullptr;
}

PackagedImage add_package_section(const std::vector<uint8_t>& stub,
                                  const std::vector<const std::vector<uint8_t>*>& section_parts) {
  PeLayout pe = parse_pe(stub.data(), stub.size());
  uint64_t new_header = room_for_section_header(stub, pe);
  uint64_t content = 0;
  for (const auto* part : section_parts) content += part->size();
  Placement p = place_section(stub, pe, content);

  PackagedImage out;
  out.head = stub;
  tv::PeSectionHeader section;
  std::memcpy(section.raw_name, tv::kPackageSectionName, 8);
  section.virtual_size = uint32_t(content);
  section.virtual_address = uint32_t(p.vaddr);
  section.raw_size = uint32_t(p.raw_size);
  section.raw_pointer = uint32_t(p.raw_pointer);
  section.characteristics = kScnCntInitializedData | kScnMemRead;
  tv::put_pe_section_header(out.head.data() + new_header, section);
  put16(out.head.data() + pe.pe_offset + 6, uint16_t(pe.section_count + 1));
  uint8_t* opt = out.head.data() + pe.optional_offset;
  put32(opt + 8, uint32_t(p.initialized));
  put32(opt + 56, uint32_t(p.image_size));
  out.section_offset = p.raw_pointer;
  out.total_size = p.total;

  PeChecksum sum(pe.checksum_offset);
  sum.add(out.head.data(), out.head.size());
  sum.add_zeros(size_t(p.raw_pointer - out.head.size()));
  for (const auto* part : section_parts) sum.add(part->data(), part->size());
  sum.add_zeros(size_t(p.raw_size - content));
  put32(out.head.data() + pe.checksum_offset, sum.finish());
  return out;
}

std::vector<uint8_t> package_section_header(uint32_t n, uint32_t key) {
  std::vector<uint8_t> h(tv::kPackageHeaderSize);
  std::memcpy(h.data(), tv::kPackageMagic, 8);
  put32(h.data() + 8, n);
  put32(h.data() + 12, key);
  return h;
}

}  // namespace tvpack

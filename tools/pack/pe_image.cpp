#include "pe_image.h"

#include "platform/bytes.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/package_section.h"

namespace tvpack {
namespace {

using tv::le16;
using tv::le32;
using tv::put16;
using tv::put32;

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kScnMemRead = 0x40000000;
constexpr uint32_t kPageBytes = 4096;


bool power_of_two(uint32_t x) { return x != 0 && (x & (x - 1)) == 0; }
uint64_t align_up(uint64_t x, uint32_t a) { return (x + a - 1) / a * a; }

bool fail(std::string* why, const char* text) {
  *why = text;
  return false;
}

}  // namespace

bool parse_pe(const uint8_t* data, size_t size, PeLayout* out, std::string* why) {
  PeLayout pe;
  if (size < 0x40 || data[0] != 'M' || data[1] != 'Z')
    return fail(why, "is not a Windows executable (no MZ header)");
  pe.pe_offset = le32(data + 0x3C);
  if (pe.pe_offset > size || size - pe.pe_offset < 24 ||
      std::memcmp(data + pe.pe_offset, "PE\0\0", 4) != 0)
    return fail(why, "is not a PE executable (no PE signature)");
  const uint8_t* coff = data + pe.pe_offset + 4;
  pe.section_count = le16(coff + 2);
  uint16_t optional_size = le16(coff + 16);
  pe.optional_offset = pe.pe_offset + 24;
  if (optional_size < 68 || size - pe.optional_offset < optional_size)
    return fail(why, "has a truncated optional header");
  const uint8_t* opt = data + pe.optional_offset;
  pe.optional_magic = le16(opt);
  // Both PE32 and PE32+ keep these fields at the same offsets.
  uint32_t directories_at;
  if (pe.optional_magic == 0x10B)
    directories_at = 96;
  else if (pe.optional_magic == 0x20B)
    directories_at = 112;
  else
    return fail(why, "has an optional header of unknown kind (neither PE32 nor PE32+)");
  pe.size_of_initialized_data = le32(opt + 8);
  pe.section_alignment = le32(opt + 32);
  pe.file_alignment = le32(opt + 36);
  pe.size_of_image = le32(opt + 56);
  pe.size_of_headers = le32(opt + 60);
  pe.checksum = le32(opt + 64);
  pe.checksum_offset = pe.optional_offset + 64;
  // A file alignment is at most 64 KiB (a larger one would pad each section with
  // megabytes or gigabytes of zeros when the maker writes it).
  if (!power_of_two(pe.file_alignment) || pe.file_alignment > 0x10000 || !power_of_two(pe.section_alignment) ||
      pe.section_alignment < pe.file_alignment)
    return fail(why, "has invalid section or file alignment");
  if (optional_size >= directories_at + 4) {
    uint32_t count = le32(opt + directories_at - 4);  // NumberOfRvaAndSizes
    uint32_t entry = directories_at + 8 * kSecurityDirectory;
    if (count > kSecurityDirectory && optional_size >= entry + 8)
      pe.certificate_size = le32(opt + entry + 4);
  }
  pe.section_table = pe.optional_offset + optional_size;
  if (size - pe.section_table < uint64_t(pe.section_count) * kSectionHeaderSize)
    return fail(why, "has a truncated section table");
  for (uint16_t i = 0; i < pe.section_count; ++i) {
    const uint8_t* sh = data + pe.section_table + size_t(i) * kSectionHeaderSize;
    PeSection s;
    s.name.assign(reinterpret_cast<const char*>(sh), strnlen(reinterpret_cast<const char*>(sh), 8));
    s.virtual_size = le32(sh + 8);
    s.virtual_address = le32(sh + 12);
    s.raw_size = le32(sh + 16);
    s.raw_pointer = le32(sh + 20);
    s.characteristics = le32(sh + 36);
    if (s.raw_size != 0 && uint64_t(s.raw_pointer) + s.raw_size > size)
      return fail(why, "is truncated (a section's raw data runs past the end of the file)");
    pe.sections.push_back(s);
  }
  *out = pe;
  return true;
}

void PeChecksum::add_byte(uint8_t b) {
  uint64_t at = position_++;
  if (at >= checksum_offset_ && at < checksum_offset_ + 4) b = 0;
  if ((at & 1) == 0) {
    low_ = b;
    return;
  }
  sum_ += uint32_t(low_) | uint32_t(b) << 8;
  sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
}

void PeChecksum::add(const uint8_t* data, size_t size) {
  size_t i = 0;
  // Word by word while the stream is at an even position and away from the field.
  while (i < size) {
    uint64_t at = position_;
    bool near_field = at + 2 > checksum_offset_ && at < checksum_offset_ + 4;
    if ((at & 1) == 0 && i + 1 < size && !near_field) {
      sum_ += uint32_t(data[i]) | uint32_t(data[i + 1]) << 8;
      sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
      position_ += 2;
      i += 2;
    } else {
      add_byte(data[i++]);
    }
  }
}

void PeChecksum::add_zeros(size_t count) {
  // Zero words leave the sum as it is; only the position and a pending byte matter.
  if (count == 0) return;
  if (position_ & 1) {
    add_byte(0);
    --count;
  }
  position_ += count;
  low_ = 0;
}

uint32_t PeChecksum::finish() const {
  uint32_t sum = sum_;
  if (position_ & 1) {  // an odd length: the last byte is a word with a zero high byte
    sum += low_;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + position_);
}

uint32_t pe_checksum(const uint8_t* data, size_t size, uint64_t checksum_offset) {
  PeChecksum c(checksum_offset);
  c.add(data, size);
  return c.finish();
}

PackagedImage add_package_section(const std::vector<uint8_t>& stub,
                                  const std::vector<const std::vector<uint8_t>*>& section_parts) {
  PeLayout pe;
  std::string why;
  if (!parse_pe(stub.data(), stub.size(), &pe, &why)) throw std::runtime_error(why);
  for (const PeSection& s : pe.sections) {
    if (s.name == std::string(tv::kPackageSectionName))
      throw std::runtime_error("already carries a package section (.tvpkg); pack a clean stub");
  }
  if (pe.certificate_size != 0)
    throw std::runtime_error(
        "is signed; adding a section would break the signature (sign the installer after packing)");
  if (pe.section_count == 0xFFFF) throw std::runtime_error("has the most sections a PE file can");

  // Room for one more section header: before SizeOfHeaders, before the first
  // section's raw data, and over bytes that nothing else uses.
  uint64_t room = pe.size_of_headers;
  for (const PeSection& s : pe.sections) {
    if (s.raw_size != 0 && s.raw_pointer != 0 && s.raw_pointer < room) room = s.raw_pointer;
  }
  uint64_t new_header = pe.section_table + uint64_t(pe.section_count) * kSectionHeaderSize;
  bool free = new_header + kSectionHeaderSize <= room && new_header + kSectionHeaderSize <= stub.size();
  for (uint32_t i = 0; free && i < kSectionHeaderSize; ++i) free = stub[new_header + i] == 0;
  if (!free)
    throw std::runtime_error("has no room in its headers for another section header (its "
                             "headers end at " + std::to_string(room) + " bytes)");

  uint64_t content = 0;
  for (const auto* part : section_parts) content += part->size();

  uint64_t end_of_image = pe.size_of_image;
  for (const PeSection& s : pe.sections) {
    uint32_t extent = s.virtual_size != 0 ? s.virtual_size : s.raw_size;
    uint64_t end = align_up(uint64_t(s.virtual_address) + extent, pe.section_alignment);
    if (end > end_of_image) end_of_image = end;
  }
  uint64_t vaddr = align_up(end_of_image, pe.section_alignment);
  uint64_t raw_size = align_up(content, pe.file_alignment);
  // At a page boundary of the file, so that a loader can map the package straight
  // from the file: Wine reads a section at any other offset into new memory when the
  // process starts (the whole package, before the first instruction runs).
  uint64_t raw_pointer = align_up(stub.size(), std::max<uint32_t>(pe.file_alignment, kPageBytes));
  uint64_t image_size = vaddr + align_up(content, pe.section_alignment);
  uint64_t total = raw_pointer + raw_size;
  uint64_t initialized = uint64_t(pe.size_of_initialized_data) + raw_size;
  if (image_size > 0xFFFFFFFFu || total > 0xFFFFFFFFu || initialized > 0xFFFFFFFFu)
    throw std::runtime_error("with the package would exceed 4 GiB, more than a PE image can hold");

  PackagedImage out;
  out.head = stub;
  uint8_t* sh = out.head.data() + new_header;
  std::memcpy(sh, tv::kPackageSectionName, 8);
  put32(sh + 8, uint32_t(content));
  put32(sh + 12, uint32_t(vaddr));
  put32(sh + 16, uint32_t(raw_size));
  put32(sh + 20, uint32_t(raw_pointer));
  put32(sh + 36, kScnCntInitializedData | kScnMemRead);
  put16(out.head.data() + pe.pe_offset + 6, uint16_t(pe.section_count + 1));
  uint8_t* opt = out.head.data() + pe.optional_offset;
  put32(opt + 8, uint32_t(initialized));
  put32(opt + 56, uint32_t(image_size));
  out.section_offset = raw_pointer;
  out.total_size = total;

  PeChecksum sum(pe.checksum_offset);
  sum.add(out.head.data(), out.head.size());
  sum.add_zeros(size_t(raw_pointer - out.head.size()));
  for (const auto* part : section_parts) sum.add(part->data(), part->size());
  sum.add_zeros(size_t(raw_size - content));
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

// The PE reader every job of the maker uses: headers, data directories, sections, and
// the checksum that the maker writes after each change.
#include "pe/pe_image.h"

#include <algorithm>
#include <cstring>

#include "common/errors.h"
#include "base/bytes.h"
#include "base/pe_headers.h"

namespace tvpack {
namespace {

using tv::le16;
using tv::le32;

bool power_of_two(uint32_t x) { return x != 0 && (x & (x - 1)) == 0; }

// The headers as the installer reads them (platform/pe_headers.h): the file offset
// of "PE\0\0" and the COFF header after it. The section table is checked later, after
// the optional header that it follows.
tv::PeHeaders pe_signature(const uint8_t* data, size_t size) {
  tv::PeHeaders headers;
  tv::PeHeadersRead read = tv::read_pe_headers(data, size, &headers);
  if (read == tv::PeHeadersRead::kNoMz) fail("is not a Windows executable (no MZ header)");
  if (read == tv::PeHeadersRead::kNoSignature) fail("is not a PE executable (no PE signature)");
  return headers;
}

// The data directories the optional header has room for (at most as many as it says).
void read_directories(const uint8_t* opt, uint32_t optional_size, uint32_t directories_at, PeLayout* pe) {
  pe->directory_offset = pe->optional_offset + directories_at;
  if (optional_size < directories_at) return;
  uint32_t count = std::min<uint32_t>(le32(opt + directories_at - 4), (optional_size - directories_at) / 8);
  for (uint32_t d = 0; d < count; ++d) {
    const uint8_t* entry = opt + directories_at + 8 * d;
    pe->directories.push_back({le32(entry), le32(entry + 4)});
  }
  if (count > kSecurityDirectory) pe->certificate_size = pe->directories[kSecurityDirectory].size;
}

void read_optional_header(const uint8_t* data, size_t size, const tv::PeHeaders& headers, PeLayout* pe) {
  pe->section_count = headers.section_count;
  uint16_t optional_size = headers.optional_size;
  pe->optional_offset = pe->pe_offset + 24;
  if (optional_size < 68 || size - pe->optional_offset < optional_size) fail("has a truncated optional header");
  const uint8_t* opt = data + pe->optional_offset;
  pe->optional_magic = le16(opt);
  // Both PE32 and PE32+ keep these fields at the same offsets.
  uint32_t directories_at = tv::pe_directories_at(pe->optional_magic);
  if (directories_at == 0) fail("has an optional header of unknown kind (neither PE32 nor PE32+)");
  pe->size_of_initialized_data = le32(opt + 8);
  pe->section_alignment = le32(opt + 32);
  pe->file_alignment = le32(opt + 36);
  pe->size_of_image = le32(opt + 56);
  pe->size_of_headers = le32(opt + 60);
  pe->checksum = le32(opt + 64);
  pe->checksum_offset = pe->optional_offset + 64;
  // A file alignment is at most 64 KiB (a larger one would pad each section with
  // megabytes or gigabytes of zeros when the maker writes it).
  if (!power_of_two(pe->file_alignment) || pe->file_alignment > 0x10000 || !power_of_two(pe->section_alignment) ||
      pe->section_alignment < pe->file_alignment)
    fail("has invalid section or file alignment");
  read_directories(opt, optional_size, directories_at, pe);
  pe->section_table = pe->optional_offset + optional_size;
}

void read_sections(const uint8_t* data, size_t size, const tv::PeHeaders& headers, PeLayout* pe) {
  if (size - pe->section_table < uint64_t(pe->section_count) * kSectionHeaderSize)
    fail("has a truncated section table");
  for (uint16_t i = 0; i < pe->section_count; ++i) {
    PeSection s;
    static_cast<tv::PeSectionHeader&>(s) = tv::pe_section_header(data, headers, i);
    s.name.assign(reinterpret_cast<const char*>(s.raw_name), strnlen(reinterpret_cast<const char*>(s.raw_name), 8));
    if (s.raw_size != 0 && uint64_t(s.raw_pointer) + s.raw_size > size)
      fail("is truncated (a section's raw data runs past the end of the file)");
    pe->sections.push_back(s);
  }
}

}  // namespace

PeLayout parse_pe(const uint8_t* data, size_t size) {
  PeLayout pe;
  tv::PeHeaders headers = pe_signature(data, size);
  pe.pe_offset = headers.signature;
  read_optional_header(data, size, headers, &pe);
  read_sections(data, size, headers, &pe);
  return pe;
}

int pe_bits(const std::vector<uint8_t>& bytes) {
  tv::PeHeaders headers;
  tv::PeHeadersRead read = tv::read_pe_headers(bytes.data(), bytes.size(), &headers);
  if (read == tv::PeHeadersRead::kNoMz || read == tv::PeHeadersRead::kNoSignature) return 0;
  uint32_t at = headers.signature;
  if (bytes.size() - at < 26) return 0;
  uint16_t magic = le16(&bytes[at + 24]);
  return magic == tv::kPe32Magic ? 32 : magic == tv::kPe32PlusMagic ? 64 : 0;
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

}  // namespace tvpack

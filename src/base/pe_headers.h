// The headers of a PE file, read once for installer and maker: the "MZ" header, the
// "PE\0\0" signature at e_lfanew with the COFF header after it, and the section table
// after the optional header, each checked to lie inside the bytes given; the optional
// header's kinds; and the one reader and writer of a section header's fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"

namespace tv {

constexpr uint32_t kPeSectionHeaderSize = 40;

enum class PeHeadersRead { kOk, kNoMz, kNoSignature, kTruncatedSectionTable };

struct PeHeaders {
  uint32_t signature = 0;       // offset of "PE\0\0"
  uint16_t section_count = 0;
  uint16_t optional_size = 0;   // the optional header's, at signature + 24
  size_t section_table = 0;     // offset of the first section header
};

// Reads the headers of size bytes at base (a file, or an image as loaded: their
// headers are the same bytes).
inline PeHeadersRead read_pe_headers(const uint8_t* base, size_t size, PeHeaders* out) {
  if (size < 0x40 || base[0] != 'M' || base[1] != 'Z') return PeHeadersRead::kNoMz;
  uint32_t pe = le32(base + 0x3C);
  if (pe > size || size - pe < 24 || std::memcmp(base + pe, "PE\0\0", 4) != 0) return PeHeadersRead::kNoSignature;
  out->signature = pe;
  out->section_count = le16(base + pe + 6);
  out->optional_size = le16(base + pe + 20);
  out->section_table = size_t(pe) + 24 + out->optional_size;
  if (out->section_table > size || (size - out->section_table) / kPeSectionHeaderSize < out->section_count)
    return PeHeadersRead::kTruncatedSectionTable;
  return PeHeadersRead::kOk;
}

// The optional header's kinds (its first two bytes), and where its data directories
// begin in each (their count is the four bytes before); 0 for neither kind.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t pe_directories_at(uint16_t magic) {
  return magic == kPe32Magic ? 96 : magic == kPe32PlusMagic ? 112 : 0;
}

// One section header's fields as they are in the file.
struct PeSectionHeader {
  uint8_t raw_name[8] = {};  // NUL-padded; all 8 bytes used by a name of 8
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
};

// The i-th section header of the table read_pe_headers found (i < section_count).
inline PeSectionHeader pe_section_header(const uint8_t* base, const PeHeaders& pe, unsigned i) {
  const uint8_t* sh = base + pe.section_table + size_t(i) * kPeSectionHeaderSize;
  PeSectionHeader s;
  std::memcpy(s.raw_name, sh, 8);
  s.virtual_size = le32(sh + 8);
  s.virtual_address = le32(sh + 12);
  s.raw_size = le32(sh + 16);
  s.raw_pointer = le32(sh + 20);
  s.characteristics = le32(sh + 36);
  return s;
}

// Writes the fields into the 40 bytes of a section header at sh (its relocation and
// line-number fields are left as they are).
inline void put_pe_section_header(uint8_t* sh, const PeSectionHeader& s) {
  std::memcpy(sh, s.raw_name, 8);
  put32(sh + 8, s.virtual_size);
  put32(sh + 12, s.virtual_address);
  put32(sh + 16, s.raw_size);
  put32(sh + 20, s.raw_pointer);
  put32(sh + 36, s.characteristics);
}

}  // namespace tv

// A PE file as the maker reads it: its headers, read by one reader for everyone (the
// package section, the resources, try's look at what kind of program a file is), its
// data directories and sections, and its checksum.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/pe_headers.h"

namespace tvpack {

// Data directory numbers and section flags that the maker's PE code shares.
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;
constexpr unsigned kRelocationDirectory = 5;
constexpr uint32_t kScnCntInitializedData = 0x00000040;
constexpr uint32_t kSectionHeaderSize = tv::kPeSectionHeaderSize;

// x rounded up to a multiple of a (a power of two, or any number above 0).
inline uint64_t align_up(uint64_t x, uint32_t a) { return (x + a - 1) / a * a; }

// One section header as it is in the file (read and written by the base's one reader
// and writer of its fields), with its name as text.
struct PeSection : tv::PeSectionHeader {
  std::string name;  // up to 8 bytes, NULs dropped
};

// One data directory: where its data is in memory.
struct PeDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

// What the maker needs to know of a PE file; offsets are file offsets.
struct PeLayout {
  uint32_t pe_offset = 0;          // "PE\0\0"
  uint32_t optional_offset = 0;    // the optional header
  uint32_t section_table = 0;      // the first section header
  uint16_t section_count = 0;
  uint16_t optional_magic = 0;     // tv::kPe32Magic or tv::kPe32PlusMagic
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t checksum = 0;
  uint32_t checksum_offset = 0;    // file offset of the CheckSum field
  uint32_t size_of_initialized_data = 0;
  uint32_t certificate_size = 0;   // the security directory's size (0 when unsigned)
  uint32_t directory_offset = 0;   // the first data directory
  std::vector<PeDirectory> directories;  // those the optional header has room for
  std::vector<PeSection> sections;
};

// Parses and checks a PE file in memory; fail()s with one phrase (no file name).
PeLayout parse_pe(const uint8_t* data, size_t size);

// 32 or 64 for a PE image (the optional header's magic), 0 when it is none.
int pe_bits(const std::vector<uint8_t>& bytes);

// The standard PE checksum: the file summed as 16-bit little-endian words with
// end-around carry, the CheckSum field counted as zero, plus the file length.
// Fed in pieces of any length.
class PeChecksum {
 public:
  explicit PeChecksum(uint64_t checksum_offset) : checksum_offset_(checksum_offset) {}
  void add(const uint8_t* data, size_t size);
  void add_zeros(size_t count);
  uint32_t finish() const;

 private:
  void add_byte(uint8_t b);
  uint64_t checksum_offset_;
  uint64_t position_ = 0;
  uint32_t sum_ = 0;
  uint8_t low_ = 0;  // the first byte of a word whose second byte is still to come
};

uint32_t pe_checksum(const uint8_t* data, size_t size, uint64_t checksum_offset);

}  // namespace tvpack

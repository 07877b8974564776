// The installer stub as a PE file, and adding the package section to it without a
// compiler: one more section header, the section's raw data at the file-aligned end
// of the file, and the headers that describe the image brought up to date.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvpack {

// Data directory numbers and section flags that the maker's PE code shares.
constexpr unsigned kResourceDirectory = 2;
constexpr unsigned kSecurityDirectory = 4;
constexpr unsigned kRelocationDirectory = 5;
constexpr uint32_t kScnCntInitializedData = 0x00000040;

// One section header as it is in the file.
struct PeSection {
  std::string name;  // up to 8 bytes, NULs dropped
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
};

// What the maker needs to know of a PE file; offsets are file offsets.
struct PeLayout {
  uint32_t pe_offset = 0;          // "PE\0\0"
  uint32_t optional_offset = 0;    // the optional header
  uint32_t section_table = 0;      // the first section header
  uint16_t section_count = 0;
  uint16_t optional_magic = 0;     // 0x10B (PE32) or 0x20B (PE32+)
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t checksum = 0;
  uint32_t checksum_offset = 0;    // file offset of the CheckSum field
  uint32_t size_of_initialized_data = 0;
  uint32_t certificate_size = 0;   // the security directory's size (0 when unsigned)
  std::vector<PeSection> sections;
};

// Parses and checks a PE file in memory. On failure returns false and says why in
// *why (one phrase, no file name).
bool parse_pe(const uint8_t* data, size_t size, PeLayout* out, std::string* why);

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

// The installer is the stub's bytes with the headers changed, zeros up to
// section_offset, the section's bytes, and zeros up to total_size.
struct PackagedImage {
  std::vector<uint8_t> head;   // the stub, headers updated (the checksum included)
  uint64_t section_offset = 0; // where the section's raw data starts
  uint64_t total_size = 0;     // the whole installer
};

// Plans the installer from a stub and the section's contents: refuses (throws
// std::runtime_error with one phrase) a stub that is no PE image, is signed,
// already carries a package section, or has no room for another section header.
PackagedImage add_package_section(const std::vector<uint8_t>& stub,
                                  const std::vector<const std::vector<uint8_t>*>& section_parts);

// The ".tvpkg" section's 16-byte header for a blob of 2 * n bytes.
std::vector<uint8_t> package_section_header(uint32_t n, uint32_t key);

}  // namespace tvpack

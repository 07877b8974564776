// Writing packages: the inverse of unpacking, for the installer-maker and tests.
// Not linked into the installer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tv {

// Builds an install script: integers are 32-bit little-endian, strings UTF-16LE
// with one NUL unit, nothing padded.
class ScriptWriter {
 public:
  void put_int(int32_t value);
  void put_string(const std::u16string& text);
  void put_bytes(const void* data, size_t size);
  // size bytes added at the end, for the caller to fill (a file read straight in).
  uint8_t* put_space(size_t size);
  // Room for a script of this many bytes, so that a large one is never moved.
  void reserve(size_t size) { bytes_.reserve(size); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // The script, taken without a copy; the writer is empty after.
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// zlib-compresses a script at the given level and appends the trailer (Z, U):
// the container before scrambling.
std::vector<uint8_t> make_container(const std::vector<uint8_t>& script, int level = 9);

// Makes a zlib stream of a script of script_size bytes the container: appends the
// trailer, the stream's length Z and the script's length U.
void append_container_trailer(std::vector<uint8_t>& stream, uint32_t script_size);

// Scrambles a container with key and spreads it over the even bytes of a blob
// twice as long. The odd bytes are zero: the installer never reads them, and zeros
// let a compressor that the installer is later shipped in (a .zip, a server's gzip)
// shrink the blob to about the container's size.
std::vector<uint8_t> make_blob(const std::vector<uint8_t>& container, uint32_t key);

}  // namespace tv

// Writing packages: install scripts, containers and stored blobs, as the installer reads them.
#include "package/writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "package/container.h"

namespace tv {
namespace {

void append_le32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

}  // namespace

void ScriptWriter::put_int(int32_t value) { append_le32(bytes_, uint32_t(value)); }

void ScriptWriter::put_string(const std::u16string& text) {
  for (char16_t c : text) {
    bytes_.push_back(uint8_t(c));
    bytes_.push_back(uint8_t(c >> 8));
  }
  bytes_.push_back(0);
  bytes_.push_back(0);
}

void ScriptWriter::put_bytes(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
}

uint8_t* ScriptWriter::put_space(size_t size) {
  bytes_.resize(bytes_.size() + size);
  return bytes_.data() + bytes_.size() - size;
}

std::vector<uint8_t> make_container(const std::vector<uint8_t>& script, int level) {
  if (script.size() > 0xFFFFFFFFu) throw std::length_error("install script too large");
  uLongf bound = compressBound(static_cast<uLong>(script.size()));
  std::vector<uint8_t> out(bound + 8);
  uLongf z = bound;
  int rc = compress2(out.data(), &z, script.data(), static_cast<uLong>(script.size()), level);
  if (rc != Z_OK) throw std::runtime_error("zlib compression failed");
  out.resize(z);
  append_container_trailer(out, static_cast<uint32_t>(script.size()));
  return out;
}

void append_container_trailer(std::vector<uint8_t>& stream, uint32_t script_size) {
  append_le32(stream, static_cast<uint32_t>(stream.size()));
  append_le32(stream, script_size);
}

std::vector<uint8_t> make_blob(const std::vector<uint8_t>& container, uint32_t key) {
  std::vector<uint8_t> blob(2 * container.size());  // the odd bytes stay zero
  // Scrambled a slice at a time (a multiple of the key's 4 bytes), never a copy of the
  // whole container: the maker of a large package holds the container and the blob only.
  uint8_t slice[1 << 16];
  for (size_t at = 0; at < container.size(); at += sizeof slice) {
    size_t size = std::min(sizeof slice, container.size() - at);
    std::memcpy(slice, container.data() + at, size);
    scramble_container(slice, static_cast<uint32_t>(size), key);
    for (size_t i = 0; i < size; ++i) blob[2 * (at + i)] = slice[i];
  }
  return blob;
}

}  // namespace tv

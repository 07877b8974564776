#include "package/container.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "package/script.h"
#include "platform/platform.h"

namespace tv {
namespace {

// Deflate's largest expansion is 1032:1 (a 258-byte match coded in two bits, plus
// block overhead); a margin above it.
constexpr uint64_t kMaxInflateRatio = 1100;
// Container bytes unscrambled per step, kept in cache between us and zlib.
constexpr uint32_t kSliceBytes = 32768;

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// container[offset + i] = blob[2 * (offset + i)] XOR the key's byte (offset + i) % 4.
// Whole little-endian words XOR with the key and the one to three tail bytes with
// its low bytes, which is the same as this per-byte rule.
void unscramble_range(const uint8_t* blob, uint32_t offset, uint32_t count, uint32_t key,
                      uint8_t* out) {
  const uint8_t kb[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
  const uint8_t* b = blob + 2 * size_t(offset);
  uint32_t i = 0;
  if ((offset & 3) == 0) {
    for (; i + 4 <= count; i += 4) {
      uint32_t w0, w1;
      std::memcpy(&w0, b + 2 * size_t(i), 4);
      std::memcpy(&w1, b + 2 * size_t(i) + 4, 4);
      // Little-endian: the even bytes are bits 0-7 and 16-23 of each word.
      uint32_t even = (w0 & 0xFFu) | ((w0 >> 8) & 0xFF00u) | ((w1 & 0xFFu) << 16) |
                      ((w1 << 8) & 0xFF000000u);
      even ^= key;
      out[i] = uint8_t(even);
      out[i + 1] = uint8_t(even >> 8);
      out[i + 2] = uint8_t(even >> 16);
      out[i + 3] = uint8_t(even >> 24);
    }
  }
  for (; i < count; ++i) out[i] = b[2 * size_t(i)] ^ kb[(offset + i) & 3];
}

}  // namespace

void scramble_container(uint8_t* container, uint32_t n, uint32_t key) {
  const uint8_t kb[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
  for (uint32_t i = 0; i < n; ++i) container[i] ^= kb[i & 3];
}

// The container is unscrambled a slice at a time straight into zlib's input, so
// that the blob is read once and no container-sized buffer is needed. This decides
// exactly what a one-shot uncompress of the first Z container bytes into U bytes
// decides: success only when the stream ends within Z bytes and its output fits.
UnpackError unpack_blob(const uint8_t* blob, uint32_t n, uint32_t key) {
  if (blob == nullptr) return UnpackError::kNoPackage;
  if (n < 8) return UnpackError::kTooShort;
  uint8_t trailer[8];
  unscramble_range(blob, n - 8, 8, key, trailer);
  uint32_t z = le32(trailer);
  uint32_t u = le32(trailer + 4);
  if (z > n - 8) return UnpackError::kBadTrailer;
  // No Z-byte deflate stream inflates to more than about 1032 * Z bytes, so a buffer
  // capped there decides every package exactly as one of U bytes would, and a
  // trailer that claims gigabytes cannot make the installer ask for them.
  uint64_t most = uint64_t(z) * kMaxInflateRatio + 4096;
  uint32_t capacity = most < u ? uint32_t(most) : u;
  // One byte more than asked, so that an empty script is a real allocation.
  uint8_t* script = static_cast<uint8_t*>(std::malloc(size_t(capacity) + 1));
  if (script == nullptr) return UnpackError::kNoMemory;

  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  if (inflateInit(&zs) != Z_OK) {
    std::free(script);
    return UnpackError::kNoMemory;
  }
  zs.next_out = script;
  zs.avail_out = capacity;
  uint8_t slice[kSliceBytes];
  int rc = Z_OK;
  for (uint32_t at = 0; at < z && rc == Z_OK;) {
    uint32_t len = z - at < kSliceBytes ? z - at : kSliceBytes;
    unscramble_range(blob, at, len, key, slice);
    at += len;
    zs.next_in = slice;
    zs.avail_in = len;
    while (zs.avail_in > 0 && rc == Z_OK) rc = inflate(&zs, Z_NO_FLUSH);
  }
  uint32_t written = capacity - zs.avail_out;
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    std::free(script);
    return rc == Z_MEM_ERROR ? UnpackError::kNoMemory : UnpackError::kBadStream;
  }
  // The readers' bounds are the bytes zlib really wrote: a trailer U larger than the
  // script leaves the rest of the buffer unwritten, and nothing may read it.
  set_script(script, written);
  return UnpackError::kOk;
}

const char* describe_unpack_error(UnpackError error) {
  switch (error) {
    case UnpackError::kOk: return "ok";
    case UnpackError::kNoPackage: return "no package is embedded";
    case UnpackError::kTooShort: return "the container is shorter than its 8-byte trailer";
    case UnpackError::kBadTrailer: return "the trailer's stream length runs past the container";
    case UnpackError::kNoMemory: return "not enough memory to unpack the package";
    case UnpackError::kBadStream: return "the zlib stream is damaged or does not fit its trailer";
  }
  return "unknown";
}

int unpack() {
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  UnpackError error = UnpackError::kNoPackage;
  if (embedded_package(&blob, &n, &key)) error = unpack_blob(blob, n, key);
  if (error == UnpackError::kOk) return 1;
  set_damage_reason(describe_unpack_error(error));
  report_damaged_package();
  return 0;
}

}  // namespace tv

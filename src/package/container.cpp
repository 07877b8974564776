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

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// container[i] = blob[2i], then the XOR with the key: whole little-endian words
// while four bytes remain, then the one to three tail bytes with the key's low bytes.
void deinterleave_and_unscramble(const uint8_t* blob, uint8_t* out, uint32_t n, uint32_t key) {
  const uint8_t kb[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
  uint32_t k = 0;
  for (; n >= 4 && k <= n - 4; k += 4) {
    const uint8_t* b = blob + 2 * size_t(k);
    out[k] = b[0] ^ kb[0];
    out[k + 1] = b[2] ^ kb[1];
    out[k + 2] = b[4] ^ kb[2];
    out[k + 3] = b[6] ^ kb[3];
  }
  for (uint32_t j = 0; k + j < n; ++j) out[k + j] = blob[2 * size_t(k + j)] ^ kb[j];
}

}  // namespace

void scramble_container(uint8_t* container, uint32_t n, uint32_t key) {
  const uint8_t kb[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
  for (uint32_t i = 0; i < n; ++i) container[i] ^= kb[i & 3];
}

UnpackError unpack_blob(const uint8_t* blob, uint32_t n, uint32_t key) {
  if (blob == nullptr) return UnpackError::kNoPackage;
  if (n < 8) return UnpackError::kTooShort;
  uint8_t* container = static_cast<uint8_t*>(std::malloc(n));
  if (container == nullptr) return UnpackError::kNoMemory;
  deinterleave_and_unscramble(blob, container, n, key);
  uint32_t z = le32(container + n - 8);
  uint32_t u = le32(container + n - 4);
  if (z > n - 8) {
    std::free(container);
    return UnpackError::kBadTrailer;
  }
  // No Z-byte deflate stream inflates to more than about 1032 * Z bytes, so a buffer
  // capped there decides every package exactly as one of U bytes would, and a
  // trailer that claims gigabytes cannot make the installer ask for them.
  uint64_t most = uint64_t(z) * kMaxInflateRatio + 4096;
  uint32_t capacity = most < u ? uint32_t(most) : u;
  // One byte more than asked, so that an empty script is a real allocation.
  uint8_t* script = static_cast<uint8_t*>(std::malloc(size_t(capacity) + 1));
  if (script == nullptr) {
    std::free(container);
    return UnpackError::kNoMemory;
  }
  uLongf out_len = capacity;
  int rc = uncompress(script, &out_len, container, z);
  // The container is no longer read once the script is out.
  std::free(container);
  if (rc != Z_OK) {
    std::free(script);
    return rc == Z_MEM_ERROR ? UnpackError::kNoMemory : UnpackError::kBadStream;
  }
  // The readers' bounds are the bytes zlib really wrote: a trailer U larger than the
  // script leaves the rest of the buffer unwritten, and nothing may read it.
  set_script(script, static_cast<uint32_t>(out_len));
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

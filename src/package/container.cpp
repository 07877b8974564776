// Unpacking the package container: de-interleave, unscramble and inflate, a slice at a time.
#include "package/container.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "package/script.h"
#include "base/bytes.h"
#include "platform/platform.h"

namespace tv {
namespace {

// Deflate's largest expansion is 1032:1 (a 258-byte match coded in two bits, plus
// block overhead); a margin above it.
constexpr uint64_t kMaxInflateRatio = 1100;
// Container bytes unscrambled per step: small enough to stay in cache between us
// and zlib, large enough that zlib's copy of its 32 KiB window at the end of every
// call costs little.
constexpr uint32_t kSliceBytes = 256 * 1024;
// Script bytes inflated per call at most: a slice of a package that compresses well
// would otherwise inflate to a quarter of a gigabyte in one call, with no report
// (and no servicing of a window) until it is done. 4 MiB take a few milliseconds.
constexpr uint32_t kOutputStepBytes = 4u << 20;

bool g_stop_requested = false;

// Bytes 0, 2, 4 and 6 of a little-endian word, packed into its low 32 bits.
inline uint64_t gather_even_bytes(uint64_t w) {
  w &= 0x00FF00FF00FF00FFull;
  w = (w | w >> 8) & 0x0000FFFF0000FFFFull;
  return (w | w >> 16) & 0x00000000FFFFFFFFull;
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
    const uint64_t key2 = uint64_t(key) | uint64_t(key) << 32;
    for (; i + 8 <= count; i += 8) {
      uint64_t w0, w1;
      std::memcpy(&w0, b + 2 * size_t(i), 8);
      std::memcpy(&w1, b + 2 * size_t(i) + 8, 8);
      // Little-endian: the even bytes of each 8 are bytes 0, 2, 4 and 6.
      uint64_t even = gather_even_bytes(w0) | gather_even_bytes(w1) << 32;
      even ^= key2;
      std::memcpy(out + i, &even, 8);
    }
  }
  for (; i < count; ++i) out[i] = b[2 * size_t(i)] ^ kb[(offset + i) & 3];
}

// Inflates the first z container bytes into the script buffer (capacity bytes; the
// stream's next_out at its start), a slice of the container and at most one output
// step per call to zlib, with a report after each call. Reading the container a
// slice at a time straight into zlib's input, the blob is read once and no
// container-sized buffer is needed; and this decides exactly what a one-shot
// uncompress of the first z container bytes into capacity bytes decides: success
// only when the stream ends within z bytes and its output fits.
UnpackError inflate_container(z_stream& zs, const uint8_t* blob, uint32_t z, uint32_t key,
                              uint8_t* slice, uint32_t capacity, const ProgressSink* sink) {
  const uint8_t* script = zs.next_out;
  int rc = Z_OK;
  for (uint32_t at = 0; rc == Z_OK;) {
    if (zs.avail_in == 0) {
      if (at == z) break;  // the stream did not end within z bytes
      uint32_t len = z - at < kSliceBytes ? z - at : kSliceBytes;
      unscramble_range(blob, at, len, key, slice);
      at += len;
      zs.next_in = slice;
      zs.avail_in = len;
    }
    uint32_t written = uint32_t(zs.next_out - script);
    uint32_t room = capacity - written;
    zs.avail_out = room < kOutputStepBytes ? room : kOutputStepBytes;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (sink != nullptr) {
      sink->report(sink->context, progress_position(uint32_t(zs.next_out - script), capacity));
      if (g_stop_requested) return UnpackError::kStopped;
    }
  }
  if (rc == Z_STREAM_END) return UnpackError::kOk;
  return rc == Z_MEM_ERROR ? UnpackError::kNoMemory : UnpackError::kBadStream;
}

}  // namespace

void scramble_container(uint8_t* container, uint32_t n, uint32_t key) {
  const uint8_t kb[4] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16), uint8_t(key >> 24)};
  for (uint32_t i = 0; i < n; ++i) container[i] ^= kb[i & 3];
}

void stop_unpacking() { g_stop_requested = true; }

UnpackError unpack_blob(const uint8_t* blob, uint32_t n, uint32_t key, const ProgressSink* sink) {
  g_stop_requested = false;
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
  uint64_t capacity = most < u ? most : u;
  if (capacity > kMostScriptBytes) return UnpackError::kNoMemory;
  // One byte more than asked, so that an empty script is a real allocation.
  uint8_t* script = static_cast<uint8_t*>(std::malloc(size_t(capacity) + 1));
  if (script == nullptr) return UnpackError::kNoMemory;
  prepare_large_buffer(script, size_t(capacity) + 1);
  uint8_t* slice = static_cast<uint8_t*>(std::malloc(kSliceBytes));
  z_stream zs;
  std::memset(&zs, 0, sizeof zs);
  UnpackError result = UnpackError::kNoMemory;
  if (slice != nullptr && inflateInit(&zs) == Z_OK) {
    zs.next_out = script;
    result = inflate_container(zs, blob, z, key, slice, uint32_t(capacity), sink);
    inflateEnd(&zs);
  }
  std::free(slice);
  if (result != UnpackError::kOk) {
    std::free(script);
    return result;
  }
  // The readers' bounds are the bytes zlib really wrote: a trailer U larger than the
  // script leaves the rest of the buffer unwritten, and nothing may read it.
  set_script(script, uint32_t(zs.next_out - script));
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
    case UnpackError::kStopped: return "unpacking was stopped";
  }
  return "unknown";
}

int unpack(const ProgressSink* sink) {
  const uint8_t* blob = nullptr;
  uint32_t n = 0, key = 0;
  UnpackError error = UnpackError::kNoPackage;
  if (embedded_package(&blob, &n, &key)) error = unpack_blob(blob, n, key, sink);
  report_finished(sink);
  if (error == UnpackError::kOk) return 1;
  // Stopped by the user, who has closed the window and wants no more of it.
  if (error != UnpackError::kStopped) report_damaged_package(describe_unpack_error(error));
  return 0;
}

}  // namespace tv

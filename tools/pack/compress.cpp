#include "compress.h"

#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#ifdef TV_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace tvpack {
namespace {

void append_be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

}  // namespace

#ifdef TV_HAVE_LIBDEFLATE

const int kMinLevel = 1;
const int kMaxLevel = 12;
const int kDefaultLevel = 12;
const char* const kCompressorName = "libdeflate";

namespace {

// libdeflate writes a whole deflate stream: its last block carries the final-block
// bit. For a piece that more pieces follow, that bit is cleared and an empty stored
// block is written after the last block, which brings the piece to a byte boundary
// (as zlib's Z_SYNC_FLUSH does). zlib's inflate, stopping at each block boundary,
// tells where the last block's header and its end are.
void continue_after(std::vector<uint8_t>& piece) {
  z_stream s{};
  if (inflateInit2(&s, -15) != Z_OK) throw std::runtime_error("zlib: no memory");
  s.next_in = piece.data();
  s.avail_in = uInt(piece.size());
  uint8_t sink[1 << 16];
  uint64_t last_header = 0, end = 0;
  bool ended = false;
  for (;;) {
    s.next_out = sink;
    s.avail_out = sizeof sink;
    int rc = inflate(&s, Z_BLOCK);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    if (s.data_type & 128) {
      uint64_t at = uint64_t(s.next_in - piece.data()) * 8 - uint64_t(s.data_type & 63);
      if (s.data_type & 64) {
        end = at;  // after the final block's end-of-block code
        ended = true;
        break;
      }
      last_header = at;
    }
    if (rc == Z_STREAM_END) break;
  }
  inflateEnd(&s);
  if (!ended) throw std::logic_error("libdeflate wrote a stream that zlib does not read");
  piece[last_header / 8] &= uint8_t(~(1u << (last_header % 8)));
  // The stored block's three header bits (all zero), then LEN 0 and NLEN 0xFFFF.
  piece.resize(size_t((end + 3 + 7) / 8), 0);
  if (end % 8 != 0) piece[end / 8] &= uint8_t((1u << (end % 8)) - 1);  // no stray padding bits
  for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) piece.push_back(b);
}

}  // namespace

std::vector<uint8_t> compress_script(const std::vector<uint8_t>& script, int level,
                                     const CompressProgress& progress, size_t piece) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  if (c == nullptr) throw std::runtime_error("libdeflate: no memory for the compressor");
  // CMF 0x78 (deflate, 32 KiB window); FLG names the level as libdeflate does.
  uint8_t flg = level < 2 ? 0x01 : level < 6 ? 0x5E : level == 6 ? 0x9C : 0xDA;
  std::vector<uint8_t> out = {0x78, flg};
  std::vector<uint8_t> buf;
  size_t done = 0;
  do {
    size_t size = std::min(piece, script.size() - done);
    buf.resize(libdeflate_deflate_compress_bound(c, size));
    size_t n = libdeflate_deflate_compress(c, script.data() + done, size, buf.data(), buf.size());
    if (n == 0) {
      libdeflate_free_compressor(c);
      throw std::logic_error("libdeflate: output larger than its own bound");
    }
    buf.resize(n);
    done += size;
    if (done < script.size()) continue_after(buf);
    out.insert(out.end(), buf.begin(), buf.end());
    if (progress) progress(done);
  } while (done < script.size());
  libdeflate_free_compressor(c);
  append_be32(out, libdeflate_adler32(1, script.data(), script.size()));
  return out;
}

#else  // zlib

const int kMinLevel = 1;
const int kMaxLevel = 9;
const int kDefaultLevel = 9;
const char* const kCompressorName = "zlib";

// One deflate stream fed piece by piece: the same bytes as compress2 at the level.
std::vector<uint8_t> compress_script(const std::vector<uint8_t>& script, int level,
                                     const CompressProgress& progress, size_t piece) {
  z_stream s{};
  if (deflateInit(&s, level) != Z_OK) throw std::runtime_error("zlib: no memory for the compressor");
  std::vector<uint8_t> out(deflateBound(&s, uLong(script.size())));
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  size_t done = 0;
  int rc = Z_OK;
  do {
    size_t size = std::min(piece, script.size() - done);
    s.next_in = const_cast<Bytef*>(script.data() + done);
    s.avail_in = uInt(size);
    done += size;
    rc = deflate(&s, done < script.size() ? Z_NO_FLUSH : Z_FINISH);
    if (progress) progress(done);
  } while (done < script.size() && rc == Z_OK);
  out.resize(s.total_out);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) throw std::logic_error("zlib: output larger than its own bound");
  return out;
}

#endif

}  // namespace tvpack

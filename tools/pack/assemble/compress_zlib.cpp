// The Windows maker's compressor: zlib, one stream fed piece by piece (see compress.h).
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

#include "assemble/compress.h"

namespace tvpack {

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

}  // namespace tvpack

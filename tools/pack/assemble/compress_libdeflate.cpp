// The Linux maker's compressor: libdeflate, the pieces on every core (see compress.h).
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "assemble/compress.h"

namespace tvpack {

const int kMinLevel = 1;
const int kMaxLevel = 12;
const int kDefaultLevel = 12;
const char* const kCompressorName = "libdeflate";

namespace {

void append_be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

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

// One piece as a raw deflate stream; `last` keeps its final-block bit.
std::vector<uint8_t> compress_piece(libdeflate_compressor* c, const uint8_t* data, size_t size, bool last) {
  std::vector<uint8_t> buf(libdeflate_deflate_compress_bound(c, size));
  size_t n = libdeflate_deflate_compress(c, data, size, buf.data(), buf.size());
  if (n == 0) throw std::logic_error("libdeflate: output larger than its own bound");
  buf.resize(n);
  if (!last) continue_after(buf);
  return buf;
}

}  // namespace

// The pieces are independent, so they are compressed on every core at once; they are
// joined in order, so the stream is the same whatever the number of cores.
std::vector<uint8_t> compress_script(const std::vector<uint8_t>& script, int level,
                                     const CompressProgress& progress, size_t piece) {
  size_t pieces = script.empty() ? 1 : (script.size() + piece - 1) / piece;
  std::vector<std::vector<uint8_t>> done(pieces);
  std::vector<char> ready(pieces, 0);
  std::exception_ptr failure;
  std::mutex lock;
  std::condition_variable finished;
  std::atomic<size_t> next{0};
  auto work = [&] {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    for (size_t i; (i = next++) < pieces;) {
      std::vector<uint8_t> out;
      std::exception_ptr error;
      try {
        if (c == nullptr) throw std::runtime_error("libdeflate: no memory for the compressor");
        size_t at = i * piece;
        out = compress_piece(c, script.data() + at, std::min(piece, script.size() - at), i + 1 == pieces);
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard<std::mutex> hold(lock);
      done[i] = std::move(out);
      ready[i] = 1;
      if (error && !failure) failure = error;
      finished.notify_all();
    }
    if (c != nullptr) libdeflate_free_compressor(c);
  };
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> workers;
  for (size_t w = 1; w < std::min<size_t>(cores, pieces); ++w) workers.emplace_back(work);
  std::thread own(work);

  // CMF 0x78 (deflate, 32 KiB window); FLG names the level as libdeflate does.
  uint8_t flg = level < 2 ? 0x01 : level < 6 ? 0x5E : level == 6 ? 0x9C : 0xDA;
  std::vector<uint8_t> out = {0x78, flg};
  // Room for a script that does not compress (stored blocks: 5 bytes a 64 KiB, and each
  // piece's end) and the trailer, so that a large container is never moved; pages that
  // a script that compresses leaves unwritten cost no memory.
  out.reserve(script.size() + script.size() / 8192 + 16 * pieces + 64);
  for (size_t i = 0; i < pieces; ++i) {
    std::unique_lock<std::mutex> hold(lock);
    finished.wait(hold, [&] { return ready[i] != 0; });
    if (failure) break;
    std::vector<uint8_t> p = std::move(done[i]);
    hold.unlock();
    out.insert(out.end(), p.begin(), p.end());
    if (progress) progress(std::min(script.size(), (i + 1) * piece));
  }
  next = pieces;  // after a failure the others stop at their next piece
  own.join();
  for (std::thread& t : workers) t.join();
  if (failure) std::rethrow_exception(failure);
  append_be32(out, libdeflate_adler32(1, script.data(), script.size()));
  return out;
}

}  // namespace tvpack

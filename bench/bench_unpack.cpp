// Unpacking (de-interleave, unscramble, decompress) against zlib's own uncompress
// of the same stream. The installer's target: at most 1.10 times plain zlib.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>

#include "package/container.h"
#include "package/script.h"
#include "package/writer.h"
#include "payload.h"
#include "platform/platform.h"

#include <map>

namespace {

const uint32_t kKey = 0x2C7E13A5u;

struct Fixture {
  std::vector<uint8_t> script, container, blob;
  explicit Fixture(size_t size) {
    script = tvbench::mixed_bytes(size);
    container = tv::make_container(script);
    blob = tv::make_blob(container, kKey);
  }
};

Fixture& fixture(size_t size) {
  static std::map<size_t, Fixture*> cache;
  auto& f = cache[size];
  if (!f) f = new Fixture(size);
  return *f;
}

void BM_InstallerUnpack(benchmark::State& state) {
  Fixture& f = fixture(size_t(state.range(0)));
  for (auto _ : state) {
    if (tv::unpack_blob(f.blob.data(), uint32_t(f.container.size()), kKey) != tv::UnpackError::kOk)
      state.SkipWithError("unpack failed");
    tv::free_script();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.script.size()));
}

void BM_PlainZlibUncompress(benchmark::State& state) {
  Fixture& f = fixture(size_t(state.range(0)));
  uint32_t z = uint32_t(f.container.size() - 8);
  for (auto _ : state) {
    // The same kind of buffer the installer fills: allocated, not zeroed, with the
    // same large-buffer hint, so that only the unpacking differs.
    uint8_t* out = static_cast<uint8_t*>(std::malloc(f.script.size() + 1));
    tv::prepare_large_buffer(out, f.script.size() + 1);
    uLongf len = f.script.size();
    if (uncompress(out, &len, f.container.data(), z) != Z_OK)
      state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(out);
    std::free(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.script.size()));
}

}  // namespace

BENCHMARK(BM_InstallerUnpack)->Arg(5 << 20)->Arg(50 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainZlibUncompress)->Arg(5 << 20)->Arg(50 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

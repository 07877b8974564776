// inspect's summary of an icon group among as many icons (1,024 to 65,535 images):
// each image looked up once, not every icon for every image. Google Benchmark fits
// the series; it may grow no faster than n log n.
#include <benchmark/benchmark.h>

#include <vector>

#include "pe/icon_group.h"

namespace {

// A group of n images, each naming its own RT_ICON; the last icon is a PNG.
std::vector<tvpack::Resource> group_of(size_t n) {
  std::vector<tvpack::Resource> resources(n + 1);
  tvpack::Resource& group = resources[n];
  group.type.id = tvpack::kRtGroupIcon;
  group.name.id = 1;
  group.data.assign(6 + 14 * n, 0);
  group.data[4] = uint8_t(n), group.data[5] = uint8_t(n >> 8);
  for (size_t i = 0; i < n; ++i) {
    resources[i].type.id = tvpack::kRtIcon;
    resources[i].name.id = uint32_t(i + 1);
    group.data[6 + 14 * i + 12] = uint8_t(i + 1), group.data[6 + 14 * i + 13] = uint8_t((i + 1) >> 8);
  }
  resources[n - 1].data = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return resources;
}

void BM_FirstIconGroup(benchmark::State& state) {
  std::vector<tvpack::Resource> resources = group_of(size_t(state.range(0)));
  for (auto _ : state) {
    tvpack::ResourceId id;
    std::vector<tvpack::IconImageSummary> images;
    benchmark::DoNotOptimize(tvpack::first_icon_group(resources, &id, &images));
    benchmark::DoNotOptimize(images.data());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FirstIconGroup)->RangeMultiplier(4)->Range(1024, 65535)->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();

#!/usr/bin/env bash
# Every benchmark, on demand (not part of the tests): unpacking against plain zlib,
# installing against tar -xzf, scaling, the check of the paths, peak memory, the
# maker, the sizes of the stub and the demo installer, the installer as a download
# (zipped, gzipped, xz'd, beside NSIS's), and the installer itself under Wine.
# Prints what docs/benchmarks.md records.
# Usage: bench/run_benchmarks.sh        (BENCH_QUICK=1 for smaller payloads)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" >/dev/null
cmake --preset win32 >/dev/null && cmake --build --preset win32 -j "$(nproc)" >/dev/null || true
b=build/native/bench
echo "== machine"; nproc; grep -m1 "model name" /proc/cpuinfo || true; uptime
echo "== unpacking against plain zlib uncompress (same stream)"
"$b/bench_unpack" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true | grep -E "median|Benchmark"
echo "== installing against tar -xzf (same files, same disk)"
if [ "${BENCH_QUICK:-0}" = 1 ]; then "$b/bench_install" build/bench-install 40 2000 3
else "$b/bench_install" build/bench-install 200 10000 8; fi
echo "== scaling (100 to 100,000)"
"$b/bench_scaling"
echo "== the check of every path before anything moves (20,000 files), against the install"
"$b/bench_path_check"
echo "== peak memory against N + U"
"$b/bench_memory" 8 32 128
echo "== sizes"
stub=build/win32/talvenor-setup.exe
[ -f "$stub" ] && echo "stub: $(stat -c %s "$stub") bytes"
demo=build/win32/talvenor-demo-setup.exe
if [ -f "$demo" ]; then
  payload=$(find build/win32/demo-package -type f ! -name manifest.toml -print0 | tar --null -T - -cf - | gzip -9 | wc -c)
  echo "demo installer: $(stat -c %s "$demo") bytes; its payload as tar | gzip -9: $payload bytes"
fi
echo "== the maker"
bash bench/pack_bench.sh
"$b/bench_icon_group"
echo "== the installer as a download: zip -9, gzip -9 and xz -9, beside NSIS (needs nsis, zip, xz-utils)"
bash bench/size_bench.sh || echo "(not measured)"
echo "== the installer under Wine against cp -r, tar -xzf and uncompress (win64 build, 64-bit Wine)"
if cmake --preset win64 >/dev/null && cmake --build --preset win64 -j "$(nproc)" >/dev/null; then
  python3 bench/wine_install.py
fi

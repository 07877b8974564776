#!/usr/bin/env bash
# The maker's throughput on a 100 MiB mixed payload, and the package size against
# `tar | gzip -9` of the same files. Prints a Markdown table for docs/benchmarks.md.
#
# Usage: bench/pack_bench.sh [MAKER] [STUB]
#   MAKER  default build/native/talvenor-pack
#   STUB   default build/native/tests/pack/test-stub-stripped.exe (made by the native build)
# Environment: BENCH_DIR (default build/bench-pack), BENCH_RUNS (default 3).
#
# The payload is made once, deterministically (fixed seeds), in $BENCH_DIR/payload:
#   40 MiB  random bytes (incompressible: archives, media)
#   30 MiB  text, English and Chinese words (logs, documents)
#   20 MiB  binary records with small variations (tables, game data)
#   10 MiB  2560 small files of 4 KiB (configuration, scripts)
set -euo pipefail
cd "$(dirname "$0")/.."
maker=${1:-build/native/talvenor-pack}
stub=${2:-build/native/tests/pack/test-stub-stripped.exe}
dir=${BENCH_DIR:-build/bench-pack}
runs=${BENCH_RUNS:-3}
for f in "$maker" "$stub"; do
  [ -f "$f" ] || { echo "pack_bench: $f does not exist (build the native preset first)" >&2; exit 1; }
done
mkdir -p "$dir"

if [ ! -f "$dir/payload.done" ]; then
  rm -rf "$dir/payload"
  python3 - "$dir/payload" <<'EOF'
import os, random, sys
root = sys.argv[1]
MiB = 1 << 20
def write(rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
rng = random.Random(20240601)
for i in range(4):                                   # 40 MiB random
    write(f"media/blob{i}.bin", rng.randbytes(10 * MiB))
words = ("install folder shortcut package version talvenor kesta window file data "
         "the of and to in is for with on that by this from at as be or are "
         "塔文诺 安装 文件 快捷方式 帮助 版本 数据 目录 欢迎 使用").split()
for i in range(3):                                   # 30 MiB text
    out, size = [], 0
    while size < 10 * MiB:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(6, 16))) + "\n"
        out.append(line)
        size += len(line.encode())
    write(f"docs/text{i}.txt", "".join(out).encode()[:10 * MiB])
for i in range(2):                                   # 20 MiB records
    rec = bytearray()
    n = 0
    while len(rec) < 10 * MiB:
        rec += n.to_bytes(4, "little") + rng.randint(0, 1000).to_bytes(4, "little") \
               + b"ITEM" + bytes([rng.randint(0, 3)]) * 4 + rng.randbytes(2) + b"\0" * 14
        n += 1
    write(f"data/records{i}.dat", bytes(rec[:10 * MiB]))
for i in range(2560):                                # 10 MiB small files
    body = "".join(f"key{k} = {rng.choice(words)} {rng.randint(0, 99999)}\n" for k in range(200))
    write(f"conf/{i // 256:02d}/file{i:04d}.ini", body.encode()[:4096].ljust(4096, b"#"))
EOF
  touch "$dir/payload.done"
fi

cat >"$dir/manifest.toml" <<'EOF'
[[variable]]
name = "{App}"
value = 'D:\Kesta'
[[tree]]
source = "payload"
destination = '{App}'
EOF

payload_bytes=$(find "$dir/payload" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
payload_files=$(find "$dir/payload" -type f | wc -l)
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# The maker: wall time and peak memory of each run; the median run is reported.
times=()
for ((i = 0; i < runs; i++)); do
  /usr/bin/time -f "%e %M" -o "$dir/time.txt" "$maker" build "$dir/manifest.toml" -o "$dir/setup.exe" \
    --stub "$stub" >"$dir/maker.txt"
  times+=("$(cat "$dir/time.txt")")
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
seconds=${median% *}
peak_kib=${median#* }
container=$(sed -n 's/.*container \([0-9]*\) bytes.*/\1/p' "$dir/maker.txt")
script=$(sed -n 's/.*install script \([0-9]*\) bytes.*/\1/p' "$dir/maker.txt")
installer=$(stat -c %s "$dir/setup.exe")
"$maker" inspect "$dir/setup.exe" >/dev/null

# The reference: the same files as a tar, compressed by gzip -9.
start=$(date +%s.%N)
tar -C "$dir" -cf - payload | gzip -9 >"$dir/payload.tar.gz"
end=$(date +%s.%N)
gzip_seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
gzip_bytes=$(stat -c %s "$dir/payload.tar.gz")

echo "Payload: $payload_files files, $(mib "$payload_bytes") MiB; install script $(mib "$script") MiB;" \
     "median of $runs runs on $(nproc) cores ($(uname -m))."
echo
echo "| what | time (s) | throughput (MiB/s) | compressed | vs gzip -9 | peak memory |"
echo "|---|---|---|---|---|---|"
awk -v s="$seconds" -v b="$payload_bytes" -v c="$container" -v g="$gzip_bytes" -v m="$peak_kib" -v i="$installer" 'BEGIN {
  printf "| talvenor-pack build (zlib 9) | %.2f | %.1f | %.2f MiB container (installer %.2f MiB) | %+.2f%% | %.0f MiB |\n",
         s, b / 1048576 / s, c / 1048576, i / 1048576, (c - g) * 100 / g, m / 1024 }'
awk -v s="$gzip_seconds" -v b="$payload_bytes" -v g="$gzip_bytes" 'BEGIN {
  printf "| tar \\| gzip -9 | %.2f | %.1f | %.2f MiB | | |\n", s, b / 1048576 / s, g / 1048576 }'

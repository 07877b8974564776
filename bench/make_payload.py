#!/usr/bin/env python3
"""The benchmarks' mixed payload (bench/pack_bench.sh, bench/size_bench.sh), made once and
deterministically (fixed seed) in DIR/payload; DIR/payload.done marks it complete.
  40 MiB  random bytes (incompressible: archives, media)
  30 MiB  text, English and Chinese words (logs, documents)
  20 MiB  binary records with small variations (tables, game data)
  10 MiB  2560 small files of 4 KiB (configuration, scripts)
Usage: make_payload.py DIR"""
import os
import random
import shutil
import sys

if len(sys.argv) != 2:
    sys.exit(__doc__)
done = os.path.join(sys.argv[1], "payload.done")
if os.path.exists(done):
    sys.exit(0)
root = os.path.join(sys.argv[1], "payload")
shutil.rmtree(root, ignore_errors=True)
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
open(done, "w").close()

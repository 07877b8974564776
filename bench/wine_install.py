#!/usr/bin/env python3
"""The installer under Wine on a generated payload, beside the same tree copied and
unpacked by the system's own tools, in one run.

For each round: the time from starting the installer to its install dialog; from the
click on the install button to the full progress bar (the install sequence: the files
and the shortcuts) and to the finish dialog; the same start for an installer with an
empty package; `cp -r` and `tar -xzf` of the same tree into new folders on the same
disk; zlib's `uncompress` of the same package in a Windows process under the same
Wine (bench_wine_uncompress). The steps take turns going first; before each, the
caches are emptied (as root) and the inputs read back in. The installer is the
build's own: where 32-bit programs cannot run, the win64 build under 64-bit Wine
(the output says which).

With --unmanaged, Wine manages no window for this run (its X11 driver's Managed =
N): on a display without a window manager, such as this Xvfb, Wine otherwise waits
2 s for one whenever it hides a window (the install dialog before the finish dialog,
the loading window before the install dialog), which no user with a desktop, or on
Windows, waits for.

  wine_install.py [--build build/win64] [--maker build/native/talvenor-pack]
                  [--work build/bench-wine] [--rounds 5] [--mb 120] [--files 800]
                  [--unmanaged]
"""

import argparse
import math
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2e_support import WINE32, WINE64, Driver, Environment, Maker, install_script  # noqa: E402

WORDS = ("install folder shortcut package version talvenor kesta window file data the of and "
         "to in is for with on that by this from at as be or are 塔文诺 安装 文件 快捷方式 帮助 "
         "版本 数据 目录 欢迎 使用").split()


def make_payload(root, total_mb, files):
    """A deterministic tree: a few large files and many smaller ones in some forty
    folders, a third each incompressible, text and binary records."""
    done = root.parent / (root.name + ".done")
    if done.exists():
        return
    shutil.rmtree(root, ignore_errors=True)
    rng = random.Random(20261208)
    text = " ".join(rng.choice(WORDS) for _ in range(300_000)).encode()
    records = b"".join(i.to_bytes(4, "little") + rng.randint(0, 1000).to_bytes(4, "little") + b"ITEM"
                       + bytes([rng.randint(0, 3)]) * 4 + rng.randbytes(2) + b"\0" * 14
                       for i in range(40_000))
    folders = [f"bin", "docs", "docs/manual"] + [f"data/level{i:02d}" for i in range(24)] + \
              [f"media/pack{i}/{sub}" for i in range(4) for sub in ("audio", "video", "art")] + ["lib"]
    large = 8
    small_sizes = [math.exp(rng.uniform(math.log(1024), math.log(1 << 20))) for _ in range(files - large)]
    large_bytes = total_mb * 1_000_000 * 2 // 5
    scale = (total_mb * 1_000_000 - large_bytes) / sum(small_sizes)
    sizes = [large_bytes // large] * large + [max(1, int(s * scale)) for s in small_sizes]
    for i, size in enumerate(sizes):
        folder = folders[i % len(folders)] if i >= large else "media/big"
        kind = i % 3
        if kind == 0:
            data = rng.randbytes(size)
        else:
            corpus = text if kind == 1 else records
            parts, left = [], size
            while left > 0:
                at = rng.randrange(len(corpus) - 4096)
                n = min(left, rng.randint(4096, 256 * 1024), len(corpus) - at)
                parts.append(corpus[at:at + n])
                left -= n
            data = b"".join(parts)
        path = root / folder / f"f{i:04d}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    done.touch()


def settle(cached):
    """Writes back the last step's files and, as root, empties the kernel's caches,
    then reads the inputs back in (the installer's package is in memory when the
    files are written, and cp and tar should read theirs from memory too) and lets
    the machine be for a moment (a virtual machine hands freed memory back after
    about 2 s)."""
    subprocess.run(["sync"], check=True)
    try:
        Path("/proc/sys/vm/drop_caches").write_text("3\n")
    except OSError:
        pass
    for path in cached:
        for f in ([p for p in path.rglob("*") if p.is_file()] if path.is_dir() else [path]):
            with open(f, "rb") as fh:
                while fh.read(1 << 20):
                    pass
    time.sleep(3)


def timed(cmd, **kw):
    t0 = time.perf_counter()
    subprocess.run(cmd, check=True, **kw)
    return time.perf_counter() - t0


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", default=str(ROOT / "build" / "win64"))
    ap.add_argument("--maker", default=str(ROOT / "build" / "native" / "talvenor-pack"))
    ap.add_argument("--work", default=str(ROOT / "build" / "bench-wine"))
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--mb", type=int, default=120)
    ap.add_argument("--files", type=int, default=800)
    ap.add_argument("--unmanaged", action="store_true")
    args = ap.parse_args()
    build, work = Path(args.build).resolve(), Path(args.work).resolve()
    stub = build / "talvenor-setup.exe"
    driver = build / "talvenor-ui-driver.exe"
    uncompress = build / "bench" / "bench_wine_uncompress.exe"
    for f in (stub, driver, uncompress):
        if not f.is_file():
            sys.exit(f"wine_install: {f} is missing (build the preset first)")
    data = stub.read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    wine = WINE32 if int.from_bytes(data[pe + 24:pe + 26], "little") == 0x10B else WINE64
    work.mkdir(parents=True, exist_ok=True)
    payload = work / "payload"
    make_payload(payload, args.mb, args.files)
    sizes = [p.stat().st_size for p in payload.rglob("*") if p.is_file()]
    tgz = work / "payload.tgz"
    if not tgz.exists():
        subprocess.run(["tar", "-czf", str(tgz), "-C", str(payload), "."], check=True)

    out = work / "run"
    env = Environment(out, build / "wineprefix", wine, print)
    env.start()
    # The prefix is the build's: Wine's default comes back at the end, and first too.
    x11 = r"HKCU\Software\Wine\X11 Driver"
    managed = ["reg", "delete", x11, "/v", "Managed", "/f"]
    unmanaged = ["reg", "add", x11, "/v", "Managed", "/d", "N", "/f"]
    env.run_wine(unmanaged if args.unmanaged else managed, check_rc=False)
    try:
        maker = Maker(env, args.maker, None, stub, work)
        setup = work / "setup.exe"
        if not setup.exists() or setup.stat().st_mtime < stub.stat().st_mtime:
            manifest = work / "manifest.toml"
            manifest.write_text("[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n"
                                "[[tree]]\nsource = \"payload\"\ndestination = '{App}'\n")
            t = timed([args.maker, "build", str(manifest), "-o", str(setup), "--stub", str(stub)],
                      stdout=subprocess.DEVNULL)
            print(f"made {setup.name} ({setup.stat().st_size / 1e6:.1f} MB) in {t:.1f} s")
        empty = maker.wrap_script(install_script(1, [("{App}", "D:\\Kesta")], []), "empty")
        print(f"installer: {stub} ({'PE32, 32-bit Wine' if wine == WINE32 else 'PE32+, 64-bit Wine'}"
              f"{', no window managed' if args.unmanaged else ''})")
        print(f"payload: {len(sizes)} files, {sum(sizes) / 1e6:.1f} MB; machine: {os.cpu_count()} cores")

        def run_installer(exe, folder):
            drv = Driver(env, driver)
            try:
                drv("sleep 0")  # the driver is up: its own start is not timed
                t0 = time.perf_counter()
                drv("start " + env.windows_path(exe))
                drv("wait install 120")
                t_dialog = time.perf_counter() - t0
                if folder is None:
                    drv("click 2")
                    drv("wait exit 60")
                    return t_dialog, None, None
                drv("type 1006 " + folder)
                t1 = time.perf_counter()
                drv("click 1001")
                # The driver keeps a message waiting for the dialog, which answers at
                # least every 50 ms while it works: the last answer (the full bar, or the
                # one before it) ends the install sequence (the files and the shortcuts).
                drv.proc.stdin.write(b"watch 1008 1000\n")
                drv.proc.stdin.flush()
                t_full = None
                while (line := drv.lines.get(timeout=600)) != "ok":
                    if line is None or line.startswith("error") or line.startswith("watch hung"):
                        sys.exit(f"wine_install: driver: {line}")
                    if line.startswith("watch pos="):
                        t_full = time.perf_counter() - t1
                drv("wait finish 600")
                t_finish = time.perf_counter() - t1
                drv("check 1004 0")
                drv("check 1005 0")
                drv("click 1")
                drv("wait exit 60")
                return t_dialog, t_full, t_finish
            finally:
                drv.close()

        rows = []
        for r in range(args.rounds):
            load = os.getloadavg()[0]
            row = {"load": load}
            steps = ["install", "cp", "tar", "empty", "uncompress"]
            steps = steps[r % len(steps):] + steps[:r % len(steps)]  # each goes first once
            for step in steps:
                settle([payload, tgz, setup])
                if step == "install":
                    row["dialog"], row["files"], row["finish"] = run_installer(setup, f"D:\\inst{r}")
                    got = sorted(p.stat().st_size for p in (env.drive_d / f"inst{r}").rglob("*")
                                 if p.is_file())
                    if got != sorted(sizes):
                        sys.exit("wine_install: the installed tree differs from the payload")
                elif step == "cp":
                    row["cp"] = timed(["cp", "-r", str(payload), str(env.drive_d / f"cp{r}")])
                elif step == "tar":
                    (env.drive_d / f"tar{r}").mkdir()
                    row["tar"] = timed(["tar", "-xzf", str(tgz), "-C", str(env.drive_d / f"tar{r}")])
                elif step == "empty":
                    row["empty"], _, _ = run_installer(empty, None)
                else:
                    res = env.run_wine([env.windows_path(uncompress), env.windows_path(setup)])
                    line = res.stdout.decode().strip()
                    row["uncompress"] = float(line.rsplit(" ", 2)[1]) / 1000
            rows.append(row)
            print(f"round {r + 1} (load {load:.2f}, first: {steps[0]}): to dialog {row['dialog']:.3f} s "
                  f"(empty package {row['empty']:.3f} s, uncompress {row['uncompress']:.3f} s); "
                  f"click to full bar {row['files']:.3f} s, to finish dialog {row['finish']:.3f} s; "
                  f"cp -r {row['cp']:.3f} s; tar -xzf {row['tar']:.3f} s", flush=True)
    finally:
        env.run_wine(managed, check_rc=False)
        env.stop()
        for child in env.drive_d.iterdir() if env.drive_d.exists() else ():
            shutil.rmtree(child, ignore_errors=True)

    med = {k: statistics.median(row[k] for row in rows) for k in rows[0]}
    print(f"medians of {len(rows)} rounds (load {min(r['load'] for r in rows):.2f} to "
          f"{max(r['load'] for r in rows):.2f}):")
    print("| to install dialog | empty package | uncompress | click to full bar | to finish dialog "
          "| total | cp -r | tar -xzf | full bar / cp -r | dialog - empty | 1.1 x uncompress |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    print(f"| {med['dialog']:.3f} s | {med['empty']:.3f} s | {med['uncompress']:.3f} s | "
          f"{med['files']:.3f} s | {med['finish']:.3f} s | {med['dialog'] + med['finish']:.3f} s | "
          f"{med['cp']:.3f} s | {med['tar']:.3f} s | {med['files'] / med['cp']:.2f} | "
          f"{med['dialog'] - med['empty']:.3f} s | {1.1 * med['uncompress']:.3f} s |")
    # Per round too: the targets are for one run.
    met_files = sum(r["files"] <= 2 * r["cp"] for r in rows)
    met_dialog = sum(r["dialog"] <= r["empty"] + 1.1 * r["uncompress"] for r in rows)
    print(f"rounds with click to full bar <= 2 x cp -r: {met_files}/{len(rows)}; "
          f"with dialog <= empty + 1.1 x uncompress: {met_dialog}/{len(rows)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""End-to-end cases of loading, the wait before the install dialog: the loading window
of a large package (its text, caption and bar, how it answers, closing it) and none for
a small one. Mixed into the suite of run_e2e.py."""

import hashlib
import random
import struct
import time
import zlib

from e2e_support import Failure, check, check_equal
from progress_cases import HUNG_MS, large_script

PROGRESS_ID, TEXT_ID, MIB = 1008, 1002, 1 << 20


def stored_blob(path, script):
    """Writes the stored blob of a package of script to path: a zlib stream of stored
    blocks (what deflate makes of bytes that do not compress, made here at the speed
    of a copy) and the trailer, at the even offsets, zeros between, scrambled with the
    key 0 (the installer does the XOR all the same)."""
    view, parts = memoryview(script), [b"\x78\x01"]
    for at in range(0, len(script), 65535):
        piece = view[at:at + 65535]
        final = at + 65535 >= len(script)
        parts += [struct.pack("<BHH", final, len(piece), 0xFFFF ^ len(piece)), piece]
    stream = b"".join(parts) + struct.pack(">I", zlib.adler32(script))
    container = stream + struct.pack("<II", len(stream), len(script))
    blob = bytearray(2 * len(container))
    blob[0::2] = container
    path.write_bytes(blob)
    return len(container)


def incompressible_files(total, count, seed):
    """count files of total bytes that deflate cannot shrink: a random MiB, turned
    differently for each file (its repeats lie beyond deflate's 32 KiB window)."""
    block = random.Random(seed).randbytes(MIB)
    turned = (block[i * 4099 % MIB:] + block[:i * 4099 % MIB] for i in range(count))
    return [(f"{{App}}\\big\\part{i:02d}.bin", (t * (total // count // MIB + 1))[:total // count])
            for i, t in enumerate(turned)]


class LoadingCases:
    CASES = ["loading_small_package", "loading_closed"]
    # A 1.4 GB installer, one to two minutes here: run by name only.
    SLOW_CASES = ["loading_large_package"]

    def dialogs_until_install(self, drv, seconds=60):
        """The kinds of dialog shown from the start until the install dialog is up (a
        window gone between the driver's listing and its look, "none", left out)."""
        seen, deadline = set(), time.time() + seconds
        while time.time() < deadline:
            seen |= {line.split()[1] for line in drv("dialogs")} - {"none"}
            if "install" in seen:
                return seen
        raise Failure(f"no install dialog in {seconds} s (dialogs seen: {sorted(seen)})")

    def case_loading_small_package(self):
        """A package of a few MiB loads and the install dialog is left alone: no loading
        window stays. (Whether one is due at all is a decision of time and position,
        tested as a unit in loading_due_test; here a busy host may cross its 300 ms.)"""
        drv = self.start(self.maker.wrap_script(large_script(incompressible_files(4 * MIB, 2, 21)),
                                                "small-load"))
        self.dialogs_until_install(drv)
        drv("wait install")
        check_equal({line.split()[1] for line in drv("dialogs")} - {"none"}, {"install"},
                    "dialogs once the install dialog is up")
        self.env.log(f"    at the install dialog: {drv('memory')[0]}")
        drv("click 2")
        check_equal(self.wait_exit(), 0, "exit code")

    def case_loading_closed(self):
        """A package of 600 MiB of zeros, built with a product description, loads for
        seconds: the loading window shows its text and the product's description; Escape,
        and then the close box, sent as soon as the window shows, end the installer with
        nothing written. (The window's texts are read in a run of their own, which then
        cancels the install dialog: a key sent after those reads could come after the
        loading has ended.)"""
        work = self.env.work
        with open(work / "zeros.bin", "wb") as f:
            f.truncate(600 * MIB)  # sparse
        manifest = work / "zeros.toml"
        manifest.write_text('[installer]\ndescription = "塔文诺 读取测试"\n[[variable]]\n'
                            'name = "{App}"\nvalue = \'D:\\Kesta\'\n[[file]]\n'
                            'source = "zeros.bin"\ndestination = \'{App}\\zeros.bin\'\n',
                            encoding="utf-8")
        exe = self.maker.build(manifest, "zeros", ["--level", "1"])
        drv = self.start(exe)
        drv("wait loading 60")
        check_equal(drv.value("caption"), "塔文诺 读取测试", "caption")
        check_equal(drv.value(f"text {TEXT_ID}"), "正在读取安装文件…", "text")
        self.shot("loading")
        drv("wait install 120")
        drv("key escape")
        check_equal(self.wait_exit(), 0, "exit code after the install dialog's Escape")
        drv.close()
        for how in ("key escape", "close"):
            drv = self.start(exe)
            drv("wait loading 60")
            drv(how)
            # The installer ends by itself: a message box would keep it running. (Wine
            # maps the install dialog for a moment on its way out: its dialog manager
            # shows a dialog that EndDialog ended while it opened; Windows does not.)
            check_equal(self.wait_exit(), 0, f"exit code after {how} while loading")
            drv.close()
        check_equal(list(self.env.drive_d.iterdir()), [], "nothing written")

    def case_loading_large_package(self):
        """About 700 MiB that do not compress: the loading window shows first, its bar
        only grows and it answers every message (the slowest answer logged); then the install dialog
        opens and every file is installed whole. Logs the address space in use."""
        started = time.time()
        files = incompressible_files(700 * MIB, 14, 1208)
        digests = [(dest, hashlib.sha256(content).digest()) for dest, content in files]
        blob = self.env.work / "large-load.blob"
        n = stored_blob(blob, large_script(files))
        del files
        exe = self.maker.wrap_blob_file(blob, 0, "large-load")
        blob.unlink()
        self.env.log(f"    N = {n / MIB:.0f} MiB, made in {time.time() - started:.0f} s")
        drv = self.start(exe)
        drv("wait loading 60")
        check_equal(drv.value("caption"), "Talvenor 安装程序", "caption (the stub's description)")
        drv.proc.stdin.write(f"watch {PROGRESS_ID} {HUNG_MS}\n".encode())
        drv.proc.stdin.flush()
        samples, slowest, end = [], 0, None
        while end is None:
            line = drv.lines.get(timeout=300)
            check(line is not None and not line.startswith("error"), f"driver: {line}")
            if line.startswith("watch pos="):
                pos, ms = (int(f.split("=")[1]) for f in line.split()[1:])
                samples.append(pos)
                slowest = max(slowest, ms)
                if len(samples) == 10:
                    self.quick_shot("loading")
            elif line.startswith("watch "):
                end = line
        check_equal(drv.lines.get(timeout=10), "ok", "the driver's watch")
        self.env.log(f"    {len(samples)} answers, positions {samples[0]} to {samples[-1]}, "
                     f"slowest {slowest} ms")
        check_equal(end, "watch ended", "the loading window answered every message until it went")
        check(len(set(samples)) >= 3, "the bar moved")
        check_equal(samples, sorted(samples), "positions only grow")
        drv("wait install 60")
        self.env.log(f"    at the install dialog: {drv('memory')[0]}")
        check_equal({line.split()[1] for line in drv("dialogs")}, {"install"},
                    "the loading window is gone")
        drv("click 1001")
        drv("wait finish 300")
        drv("check 1004 0")
        drv("check 1005 0")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        for dest, digest in digests:
            path = self.env.host_path(dest.replace("{App}", "D:\\Kesta"))
            with open(path, "rb") as f:
                check(hashlib.file_digest(f, "sha256").digest() == digest, f"content of {path}")
        self.env.clear_drive_d()

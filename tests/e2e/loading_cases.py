"""End-to-end cases of loading, the wait before the install dialog: the loading window
of a large package (its text, caption and bar, how it answers, closing it) and none for
a small one. Mixed into the suite of run_e2e.py."""

import hashlib
import random
import struct
import time
import zlib

from e2e_support import Failure, check, check_equal, s16

LOADING_TEXT = "正在读取安装文件…"
STUB_DESCRIPTION = "Talvenor 安装程序"  # the stub's own FileDescription
PROGRESS_ID, TEXT_ID = 1008, 1002
MIB = 1 << 20
STORED_MOST = 65535  # the longest stored deflate block


def stored_zlib(data):
    """data as a zlib stream of stored blocks: what deflate makes of bytes that do not
    compress, made here at the speed of a copy."""
    view, blocks = memoryview(data), [b"\x78\x01"]
    for at in range(0, max(len(data), 1), STORED_MOST):
        piece = view[at:at + STORED_MOST]
        final = at + STORED_MOST >= len(data)
        blocks += [struct.pack("<BHH", final, len(piece), 0xFFFF ^ len(piece)), piece]
    blocks.append(struct.pack(">I", zlib.adler32(data)))
    return b"".join(blocks)


def write_blob(path, stream, script_length):
    """The stored blob of a package of this zlib stream, written to path: the container
    (stream and trailer) at the even offsets, zeros between, scrambled with the key 0
    (the installer does the XOR all the same). Returns the container's length N."""
    container = stream + struct.pack("<II", len(stream), script_length)
    blob = bytearray(2 * len(container))
    blob[0::2] = container
    path.write_bytes(blob)
    return len(container)


def incompressible_files(total, count, seed):
    """count files of total bytes together that deflate cannot shrink (a random MiB,
    turned differently for each file: its repeats lie beyond deflate's 32 KiB window),
    with the SHA-256 of each."""
    block = random.Random(seed).randbytes(MIB)
    files = []
    for i in range(count):
        size = total // count
        turned = block[i * 4099 % MIB:] + block[:i * 4099 % MIB]
        content = (turned * (size // MIB + 1))[:size]
        files.append((f"{{App}}\\big\\part{i:02d}.bin", content, hashlib.sha256(content).digest()))
    return files


def files_script(files):
    parts = [struct.pack("<ii", 1, 1), s16("{App}"), s16("D:\\Kesta"), struct.pack("<i", len(files))]
    for dest, content, _ in files:
        parts += [s16(dest), struct.pack("<i", len(content)), content]
    parts.append(s16(""))
    return b"".join(parts)


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(8 * MIB):
            digest.update(chunk)
    return digest.digest()


class LoadingCases:
    CASES = ["loading_small_package", "loading_closed"]
    # Minutes on this machine (a 1.4 GB installer): run by name only.
    SLOW_CASES = ["loading_large_package"]

    def dialogs_until_install(self, drv, seconds=60):
        """Every kind of dialog the installer showed, polled from its start until its
        install dialog is up. A window that went between the driver's listing and its
        look at it ("none") is left out."""
        seen, deadline = set(), time.time() + seconds
        while time.time() < deadline:
            kinds = {line.split()[1] for line in drv("dialogs")} - {"none"}
            seen |= kinds
            if "install" in kinds:
                return seen
        raise Failure(f"no install dialog in {seconds} s (dialogs seen: {sorted(seen)})")

    def case_loading_small_package(self):
        """A package of a few MiB loads with no loading window, not even for a moment."""
        files = incompressible_files(4 * MIB, 2, 21)
        exe = self.maker.wrap_script(files_script(files), "small-load")
        drv = self.start(exe)
        check_equal(self.dialogs_until_install(drv), {"install"},
                    "dialogs shown while the package loaded")
        drv("wait install")
        (used,) = drv("memory")
        self.env.log(f"    at the install dialog: {used}")
        drv("click 2")
        check_equal(self.wait_exit(), 0, "exit code")

    def zeros_installer(self):
        """A package of one 300 MiB file of zeros, built by the maker with a product
        description: a small installer whose loading takes seconds."""
        work = self.env.work
        with open(work / "zeros.bin", "wb") as f:
            f.truncate(300 * MIB)  # sparse
        manifest = work / "zeros.toml"
        manifest.write_text('[installer]\ndescription = "塔文诺 读取测试"\n'
                            '[[variable]]\nname = "{App}"\nvalue = \'D:\\Kesta\'\n'
                            '[[file]]\nsource = "zeros.bin"\ndestination = \'{App}\\zeros.bin\'\n',
                            encoding="utf-8")
        exe = self.maker.build(manifest, "zeros", ["--level", "1"])
        (work / "zeros.bin").unlink()
        return exe

    def case_loading_closed(self):
        """A package that takes seconds to load: the loading window shows with its text
        and the product's description as caption; Escape, and then the close box, end
        the installer with no further box and nothing written."""
        exe = self.zeros_installer()
        for how in ("escape", "close box"):
            drv = self.start(exe)
            (line,) = drv("wait loading 60")
            check_equal(drv.value("caption"), "塔文诺 读取测试", "caption")
            check_equal(drv.value(f"text {TEXT_ID}"), LOADING_TEXT, "text")
            if how == "escape":
                self.shot("loading")
                drv("key escape")
            else:
                drv("close")
            # The installer ends by itself: a message box would keep it running. (Wine
            # maps the install dialog for a moment on its way out: its dialog manager
            # shows a dialog that EndDialog ended while it opened; Windows does not.)
            check_equal(self.wait_exit(), 0, "exit code")
            drv.close()
        check_equal(list(self.env.drive_d.iterdir()), [], "nothing written")

    def case_loading_large_package(self):
        """About 700 MiB that does not compress: the loading window shows first, its bar
        only grows and it answers every message within 500 ms; then the install dialog
        opens and every file is installed whole. Logs the address space in use."""
        started = time.time()
        files = incompressible_files(700 * MIB, 14, 1208)
        blob = self.env.work / "large-load.blob"
        script = files_script(files)
        n = write_blob(blob, stored_zlib(script), len(script))
        del script
        exe = self.maker.wrap_blob_file(blob, 0, "large-load")
        blob.unlink()
        digests = [(dest, digest) for dest, _, digest in files]
        del files
        self.env.log(f"    N = {n / MIB:.0f} MiB, installer {exe.stat().st_size / MIB:.0f} MiB, "
                     f"made in {time.time() - started:.0f} s")
        drv = self.start(exe)
        drv("wait loading 60")
        check_equal(drv.value("caption"), STUB_DESCRIPTION, "caption")
        drv.proc.stdin.write(f"watch {PROGRESS_ID} 500\n".encode())
        drv.proc.stdin.flush()
        samples, slowest, end, shot = [], 0, None, False
        while end is None:
            line = drv.lines.get(timeout=300)
            check(line is not None and not line.startswith("error"), f"driver: {line}")
            if line.startswith("watch pos="):
                pos, ms = (int(f.split("=")[1]) for f in line.split()[1:])
                samples.append(pos)
                slowest = max(slowest, ms)
                if not shot and pos >= 30:
                    self.quick_shot("loading")
                    shot = True
            elif line.startswith("watch "):
                end = line
        check_equal(drv.lines.get(timeout=10), "ok", "the driver's watch")
        self.env.log(f"    {len(samples)} answers, positions {sorted(set(samples))}, slowest "
                     f"{slowest} ms")
        check_equal(end, "watch ended", "the loading window answered within 500 ms until it went")
        check(len(set(samples)) >= 3, "the bar moved")
        check_equal(samples, sorted(samples), "positions only grow")
        drv("wait install 60")
        (used,) = drv("memory")
        self.env.log(f"    at the install dialog: {used}")
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
            check(path.is_file() and sha256_of(path) == digest, f"content of {path}")
        self.env.clear_drive_d()

"""The end-to-end environment: one virtual display, one Wine prefix with drive D:
mapped to a folder of our own, the UI driver as a long-running session, packages
made with the maker, and screenshots."""

import getpass
import os
import queue
import shutil
import signal
import struct
import subprocess
import threading
import time
from pathlib import Path

WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"


class Failure(AssertionError):
    pass


class CaseSkipped(Exception):
    """A case this machine cannot make (why in its text): reported as skipped, never as
    passed."""


def check(condition, what):
    if not condition:
        raise Failure(what)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def unescape(text):
    """The driver's one-line form back to text: \\\\, \\n and \\r. Kept to the cases
    of tests/data/line_escape_cases.tsv, as the driver's escaping is (line_escape_py)."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"\\": "\\", "n": "\n", "r": "\r"}.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def s16(text):
    return text.encode("utf-16-le") + b"\0\0"


def install_script(version, variables, files, shortcuts=""):
    """An install script: header, variables (name, template), files (destination
    template, bytes), and the shortcuts section's text."""
    out = struct.pack("<i", version) + struct.pack("<i", len(variables))
    for name, value in variables:
        out += s16(name) + s16(value)
    out += struct.pack("<i", len(files))
    for dest, content in files:
        out += s16(dest) + struct.pack("<i", len(content)) + content
    return out + s16(shortcuts)


class Environment:
    """Xvfb, the Wine prefix and the folders of one run of the suite. The prefix is
    shared by the builds (a prefix costs some 700 MB of disk here): it is created when
    missing and reused, and what the cases write into it is removed first."""

    def __init__(self, out_dir, prefix, wine, log):
        self.out = Path(out_dir).resolve()
        self.wine = wine
        self.log = log
        self.prefix = Path(prefix).resolve()
        self.drive_d = self.out / "drive_d"
        self.home = self.out / "home"
        self.work = self.out / "work"
        self.shots = []
        self.xvfb = None
        self.display = None

    # --- set-up and tear-down -------------------------------------------------
    def start(self, display=None):
        """display: a display to use as it is (a person's), else our own Xvfb."""
        for d in (self.drive_d, self.home, self.work):
            shutil.rmtree(d, ignore_errors=True)
        for png in self.out.glob("*.png"):
            png.unlink()
        for d in (self.drive_d, self.home, self.work):
            d.mkdir(parents=True)
        if display:
            self.display = display
        else:
            self._start_display()
        started = time.time()
        if not (self.prefix / "system.reg").exists():
            # Made by 64-bit Wine where there is one: such a prefix runs the 32-bit and
            # the 64-bit builds alike, so one serves both suites of a test run.
            self.prefix.mkdir(parents=True, exist_ok=True)
            boot = WINE64 if Path(WINE64).exists() else self.wine
            subprocess.run([boot, "wineboot", "-i"], env=self.env(), timeout=300,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.wait_wineserver()
        # Wine's drive list is read when its server and services start: a server left
        # by an earlier test of this prefix would never show a D: linked now (the
        # folder browser then lists no D:). End it, then link D: before any Wine
        # process of this run starts.
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
        self.wait_wineserver()
        link = self.prefix / "dosdevices" / "d:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(self.drive_d.resolve())
        # On our display, which has no window manager, Wine draws the window frames
        # and captions itself (the screenshots should show the captions); on a
        # person's display the window manager does.
        self.run_wine(["reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                       "/d", "Y" if display else "N", "/f"])
        # The profile folders may link to the Unix home (Desktop -> $HOME): make them
        # folders of the prefix, so that shortcuts stay inside it.
        profile = self.prefix / "drive_c" / "users" / getpass.getuser()
        for entry in profile.iterdir() if profile.is_dir() else ():
            if entry.is_symlink():
                entry.unlink()
                entry.mkdir()
        self.log(f"prefix {self.prefix} ready in {time.time() - started:.0f} s, "
                 f"display {self.display}, D: -> {self.drive_d}")

    def link_drive(self, drive, host):
        """Maps a drive ("e:") to a host folder; Wine's server, which reads the drives
        when it starts, is ended first (no Wine process of the suite runs between cases)."""
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
        self.wait_wineserver()
        link = self.prefix / "dosdevices" / drive
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(Path(host).resolve())

    def unlink_drive(self, drive):
        subprocess.run(["wineserver", "-k"], env=self.env(), timeout=60)
        self.wait_wineserver()
        link = self.prefix / "dosdevices" / drive
        if link.is_symlink():
            link.unlink()

    def remove_from_prefix(self, windows_paths):
        """Removes what an earlier run left at these paths of the drives C: and D:."""
        for p in windows_paths:
            host = self.host_path(p)
            if host.is_dir() and not host.is_symlink():
                shutil.rmtree(host)
            elif host.exists():
                host.unlink()

    def _start_display(self):
        for n in range(90, 140):
            if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
                continue
            proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1024x768x24", "-nolisten",
                                     "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(50):
                if Path(f"/tmp/.X11-unix/X{n}").exists():
                    break
                if proc.poll() is not None:
                    break
                time.sleep(0.1)
            if proc.poll() is None and Path(f"/tmp/.X11-unix/X{n}").exists():
                self.xvfb, self.display = proc, f":{n}"
                return
            proc.kill()
        raise RuntimeError("no free display for Xvfb")

    def stop(self):
        try:
            subprocess.run(["wineserver", "-k"], env=self.env(), timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except (OSError, subprocess.TimeoutExpired):
            pass
        if self.xvfb is not None:
            self.xvfb.send_signal(signal.SIGTERM)
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()

    def env(self):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "LANG": "zh_CN.UTF-8",
            "LC_ALL": "zh_CN.UTF-8",
            "HOME": str(self.home),
            "DISPLAY": self.display or "",
        })
        return env

    def run_wine(self, args, check_rc=True, timeout=120):
        r = subprocess.run([self.wine] + args, env=self.env(), timeout=timeout,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if check_rc and r.returncode != 0:
            raise RuntimeError(f"wine {args[0]} failed: {r.stderr.decode(errors='replace')}")
        return r

    def wait_wineserver(self):
        subprocess.run(["wineserver", "-w"], env=self.env(), timeout=120)

    # --- paths ------------------------------------------------------------------
    def windows_path(self, path):
        """A Windows path for a host path: C: and D: where they map, else Z:."""
        path = Path(path).resolve()
        for drive, root in (("C:", (self.prefix / "drive_c").resolve()),
                            ("D:", self.drive_d.resolve())):
            if path == root or root in path.parents:
                rel = path.relative_to(root)
                return drive + "\\" + "\\".join(rel.parts)
        return "Z:" + str(path).replace("/", "\\")

    def host_path(self, windows_path):
        """The host path of a C:\\ or D:\\ path (case as written)."""
        drive, rest = windows_path[:2].upper(), windows_path[2:].lstrip("\\")
        root = {"C:": self.prefix / "drive_c", "D:": self.drive_d}[drive]
        return root.joinpath(*[p for p in rest.split("\\") if p])

    def desktop(self):
        return f"C:\\users\\{getpass.getuser()}\\Desktop"

    def clear_drive_d(self):
        for child in self.drive_d.iterdir():
            if child.is_dir() and not child.is_symlink():
                shutil.rmtree(child)
            else:
                child.unlink()

    def screenshot(self, name):
        time.sleep(0.5)  # let the dialogs paint
        path = self.out / f"{name}.png"
        subprocess.run(["import", "-display", self.display, "-window", "root", str(path)],
                       check=True, timeout=60)
        self.shots.append(path)
        return path


class Driver:
    """One running UI driver, fed one command at a time."""

    def __init__(self, env, driver_exe):
        self.env = env
        self.proc = subprocess.Popen([env.wine, str(driver_exe)], env=env.env(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            self.lines.put(raw.decode("utf-8", errors="replace").rstrip("\r\n"))
        self.lines.put(None)

    def __call__(self, command, timeout=60):
        """Runs a command; its result lines. A driver error raises Failure."""
        self.proc.stdin.write((command + "\n").encode("utf-8"))
        self.proc.stdin.flush()
        out, deadline = [], time.time() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.time()))
            except queue.Empty:
                raise Failure(f"driver: no answer to {command!r} in {timeout} s")
            if line is None:
                raise Failure(f"driver ended during {command!r}")
            if line == "ok":
                return out
            if line.startswith("error: "):
                raise Failure(f"{command}: {line[7:]}")
            out.append(line)

    def value(self, command, timeout=60):
        """The text after "NAME ID " or "NAME " of a one-line answer, unescaped."""
        (line,) = self(command, timeout)
        parts = command.split()
        prefix = " ".join(parts[:2] if parts[0] in ("text", "enabled", "checked") else parts[:1])
        check(line.startswith(prefix + " "), f"unexpected answer {line!r} to {command!r}")
        return unescape(line[len(prefix) + 1:])

    def settled(self, command, expected, seconds=10):
        """The value of command once it is expected, or the last one after seconds: a
        dialog answers a box's button only after the box has returned to its handler."""
        deadline = time.time() + seconds
        while True:
            got = self.value(command)
            if got == expected or time.time() > deadline:
                return got
            time.sleep(0.1)

    def message(self):
        """Caption, text and button ids of the current message box."""
        fields = {}
        for line in self("message"):
            key, _, val = line[len("message "):].partition("=")
            fields[key] = unescape(val)
        return fields["caption"], fields["text"], fields["buttons"]

    def close(self):
        if self.proc.stdin.closed:
            return
        try:
            self("kill", timeout=10)
        except Failure:
            pass
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()


class Maker:
    """The installer-maker: the native one when it is built, else the Windows one
    under Wine."""

    def __init__(self, env, native, windows, stub, work):
        self.env, self.stub, self.work = env, Path(stub), Path(work)
        if native and Path(native).is_file() and os.access(native, os.X_OK):
            self.cmd, self.kind = [str(native)], "native"
        else:
            self.cmd, self.kind = [env.wine, str(windows)], "Windows, under Wine"

    def _path(self, p):
        return str(p) if self.kind == "native" else self.env.windows_path(p)

    def _run(self, args):
        r = subprocess.run(self.cmd + args, env=self.env.env(), timeout=300,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if r.returncode != 0:
            raise RuntimeError("talvenor-pack " + " ".join(args) + " failed: "
                               + r.stderr.decode(errors="replace"))

    def build(self, manifest, name, options=()):
        out = self.work / f"{name}.exe"
        self._run(["build", self._path(manifest), "-o", self._path(out),
                   "--stub", self._path(self.stub), *options])
        return out

    def wrap_script(self, script, name):
        src, out = self.work / f"{name}.script", self.work / f"{name}.exe"
        src.write_bytes(script)
        self._run(["wrap", "--script", self._path(src), "-o", self._path(out),
                   "--stub", self._path(self.stub)])
        return out

    def wrap_blob(self, blob, key, name):
        src = self.work / f"{name}.blob"
        src.write_bytes(blob)
        return self.wrap_blob_file(src, key, name)

    def wrap_blob_file(self, src, key, name):
        out = self.work / f"{name}.exe"
        self._run(["wrap", "--blob", self._path(src), "--key", hex(key), "-o", self._path(out),
                   "--stub", self._path(self.stub)])
        return out

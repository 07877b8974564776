#!/usr/bin/env python3
"""Tests of `talvenor-pack try`: the Linux maker runs installers under Wine in its own
throwaway prefix and display; each case checks the exit status, the JSON report, the
screenshots, and that no process or run folder is left behind.

  run_try.py --maker talvenor-pack --hooked-maker talvenor-pack-test-hook --stub SETUP.exe
             --marker MARKER.exe --demo-manifest MANIFEST --out DIR [--cache DIR] [--case NAME]...
"""

import argparse
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import tomllib
import zlib
from pathlib import Path

from e2e_support import install_script

DAMAGED = ("安装失败", "安装文件已损坏!")
DEFAULT_USER = "Wang.Xiaoming-Design"  # try's Wine user unless --user names another
RENAME_FAILED = "重命名旧版本失败"
TOO_LONG = "安装目录太长"
WRITE_FAILED = "安装出错"

# A command run by try while the finish dialog is up, before the check: it changes what
# the installer wrote, so the check must find each change. Only the test build's maker
# (--hooked-maker) runs it; the shipped one has no such hook.
TAMPER = ('echo x >> "$TALVENOR_TRY_DRIVE_D/Kesta/帮助.txt"; '
          'echo y > "$TALVENOR_TRY_DRIVE_D/Kesta/extra.txt"; '
          'rm "$TALVENOR_TRY_DRIVE_D/Kesta/data/levels/1.dat"; '
          'rm "$TALVENOR_TRY_DRIVE_C"/users/*/Desktop/塔文诺.lnk')


# What try does with the 64-bit build that the 32-bit build's run does not show: a whole
# check of the demo through the 64-bit stub and UI driver, their measuring of a text cut
# off, an upgrade over an installation of the 64-bit stub. Run alone where the 32-bit
# cases ran (tests/e2e/CMakeLists.txt).
OWN_64BIT_CASES = {"demo", "cut-off-text", "upgrade"}


def is_32bit(exe):
    """Whether a PE file is 32-bit (its optional header's magic)."""
    data = Path(exe).read_bytes()[:4096]
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return data[pe + 24:pe + 26] == b"\x0b\x01"


def png_size(path):
    """Width and height of an 8-bit RGB PNG file, read whole: every chunk's CRC, the
    pixel rows' length."""
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG file"
    at, chunks = 8, {}
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        (crc,) = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert crc == zlib.crc32(kind + body), f"{path}: the CRC of {kind}"
        chunks[kind] = chunks.get(kind, b"") + body
        at += 12 + length
    w, h, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    assert (depth, colour) == (8, 2) and b"IEND" in chunks, f"{path}: not 8-bit RGB"
    assert len(zlib.decompress(chunks[b"IDAT"])) == h * (1 + 3 * w), f"{path}: pixel rows"
    return w, h


def demo_counts(manifest_path):
    """Files and shortcuts the demo package holds, from its manifest."""
    m = tomllib.loads(manifest_path.read_text(encoding="utf-8"))
    files = len(m.get("file", []))
    for tree in m.get("tree", []):
        files += sum(1 for p in (manifest_path.parent / tree["source"]).rglob("*") if p.is_file())
    return files, len(m.get("shortcut", [])), m


def left_behind(cache):
    """Processes whose environment names a run prefix of this cache, and run folders."""
    runs = cache / "talvenor-pack" / "runs"
    procs = []
    for env in Path("/proc").glob("[0-9]*/environ"):
        try:
            if f"WINEPREFIX={runs}".encode() in env.read_bytes():
                procs.append(env.parent.name)
        except OSError:
            pass
    folders = [p.name for p in runs.iterdir()] if runs.is_dir() else []
    return procs, folders


INSTALL_DIALOG_UP = "talvenor-pack: try: the install dialog is up"


def interrupt_when(proc, line):
    """Reads proc's stderr until it says line, then sends SIGINT; what it read. Nothing
    is sent when proc ends first (its check then fails on the exit status)."""
    told = []
    for got in proc.stderr:
        told.append(got)
        if got.rstrip("\n") == line:
            proc.send_signal(signal.SIGINT)
            break
    return "".join(told)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--maker", required=True)
    ap.add_argument("--hooked-maker", required=True, help="the same maker with try's test hook (tests/pack)")
    ap.add_argument("--stub", required=True, help="the 64-bit build's stub (this machine's Wine runs it)")
    ap.add_argument("--marker", required=True, help="a program that starts, writes a line and ends")
    ap.add_argument("--demo-manifest", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--cache", help="XDG_CACHE_HOME for try: its clean Wine prefix, kept between runs "
                    "(default: beside --out)")
    ap.add_argument("--case", action="append", default=[], help="run only this case (repeatable)")
    args = ap.parse_args()
    maker, hooked_maker = Path(args.maker), Path(args.hooked_maker)
    for m in (maker, hooked_maker):
        if not os.access(m, os.X_OK):
            print(f"SKIP the native maker {m} is not built (cmake --build --preset native)")
            return 77
    out = Path(args.out).resolve()
    shutil.rmtree(out, ignore_errors=True)
    out.mkdir(parents=True)
    cache = Path(args.cache).resolve() if args.cache else out.parent / (out.name + "-cache")
    env = dict(os.environ, XDG_CACHE_HOME=str(cache))
    env.pop("DISPLAY", None)
    manifest = Path(args.demo_manifest)
    files, shortcuts, m = demo_counts(manifest)
    app_name = next(v["value"] for v in m["variable"] if v["name"] == "{AppName}")
    description = next(v["value"] for v in m["variable"] if v["name"] == "{AppVerName}")
    product = m["installer"]["product_name"]  # what the installer's texts ask to close

    def make(*cmd):
        subprocess.run([str(maker), *cmd, "--stub", args.stub, "-q"], check=True, env=env)

    demo = out / "demo.exe"
    make("build", str(manifest), "-o", str(demo))
    blob = out / "damaged.blob"
    blob.write_bytes(bytes((i * 73 + 5) & 0xFF for i in range(128)))
    damaged = out / "damaged.exe"
    make("wrap", "--blob", str(blob), "--key", "0x1234", "-o", str(damaged))
    # A program with a package that is no installer: it ends without a dialog.
    no_dialog = out / "no-dialog.exe"
    subprocess.run([str(maker), "wrap", "--blob", str(blob), "--key", "0x1234", "-o", str(no_dialog),
                    "--stub", args.marker, "-q"], check=True, env=env)

    # The demo with a default folder too long for one line of the finish text: its
    # {FinishTip} names the folder, which cannot be broken, so the text is cut off.
    long_folder = "D:\\Kesta\\" + "AVeryLongFolderNameWithoutSpaces" * 3
    long_package = out / "long-folder"
    shutil.copytree(manifest.parent, long_package)
    long_manifest = long_package / manifest.name
    text = long_manifest.read_text(encoding="utf-8")
    assert "value = 'D:\\Kesta'" in text
    long_manifest.write_text(text.replace("value = 'D:\\Kesta'", f"value = '{long_folder}'"), encoding="utf-8")
    long_demo = out / "long-folder.exe"
    make("build", str(long_manifest), "-o", str(long_demo))

    def variant(name, replace=(), add="", change=None):
        """The demo package copied with its manifest's texts replaced and tables added;
        change(folder) alters its files. The installer made of it."""
        folder = out / name
        shutil.copytree(manifest.parent, folder)
        text = (folder / manifest.name).read_text(encoding="utf-8")
        for old, new in replace:
            assert old in text, old
            text = text.replace(old, new)
        (folder / manifest.name).write_text(text + add, encoding="utf-8")
        if change:
            change(folder)
        exe = out / f"{name}.exe"
        make("build", str(folder / manifest.name), "-o", str(exe))
        return exe

    def second_release(folder):
        (folder / "files/data/levels/2.dat").unlink()
        (folder / "files/data/levels/3.dat").write_bytes(b"level 3")
        with open(folder / "files/帮助.txt", "ab") as f:
            f.write(b"\r\n2.0")

    # The second release: a file removed, one added, one changed, and no help shortcut.
    help_shortcut = "[[shortcut]]\ntarget = '{Help}'\nlocation = '{Programs}\\塔文诺\\塔文诺帮助'\n"
    v2 = variant("v2", [(help_shortcut, "")], change=second_release)
    # Both releases with a settings file in the user's application data, each its own
    # bytes: the second replaces the first's, and with it whatever a user changed.
    settings = "\n[[file]]\nsource = 'files/帮助.txt'\ndestination = '{AppData}\\DawnNotes\\settings.ini'\n"
    settings1 = variant("settings1", add=settings)
    settings2 = variant("settings2", [(help_shortcut, "")], settings, change=second_release)
    # The folder under the user's application data, named by the finish text, which fits
    # for a user named root and not for a longer name; and a shortcut to a file with an
    # emoji in its name, which Wine's shell links cannot keep.
    emoji_file = "[[file]]\nsource = \"files/帮助.txt\"\ndestination = '{App}\\笔记😀.txt'\n"
    emoji_shortcut = "[[shortcut]]\ntarget = '{App}\\笔记😀.txt'\nlocation = '{Desktop}\\笔记'\n"
    in_appdata = variant("in-appdata", [("value = 'D:\\Kesta'", "value = '{AppData}\\DawnNotes'"),
                                        ("塔文诺已成功安装到 {App}。", "已安装到 {App}")],
                         "\n" + emoji_file + "\n" + emoji_shortcut)
    # A shortcut to a file the package does not install: the maker refuses it, wrap
    # takes it; beside it the emoji shortcut, which is no failure.
    nowhere_manifest = out / "nowhere.toml"
    nowhere_manifest.write_text(
        "[[variable]]\nname = '{App}'\nvalue = 'D:\\Dawn'\n[[file]]\nsource = 'a.txt'\n"
        "destination = '{App}\\DawnNotes.exe'\n[[shortcut]]\ntarget = '{App}\\DawnNote.exe'\n"
        "location = '{Desktop}\\Dawn'\n", encoding="utf-8")
    (out / "a.txt").write_bytes(b"a")
    refused = subprocess.run([str(maker), "build", str(nowhere_manifest), "-o", str(out / "refused.exe"),
                              "--stub", args.stub, "-q"], text=True, capture_output=True, env=env)
    assert refused.returncode == 1 and "did you mean {App}\\DawnNotes.exe?" in refused.stderr, refused.stderr
    nowhere = out / "nowhere.exe"
    (out / "nowhere.script").write_bytes(install_script(1, [("{App}", "D:\\Dawn")], [
        ("{App}\\DawnNotes.exe", b"program"), ("{App}\\笔记😀.txt", b"notes")],
        "icon\n{App}\\DawnNote.exe\n\n{Desktop}\\Dawn\nicon\n{App}\\笔记😀.txt\n\n{Desktop}\\笔记"))
    make("wrap", "--script", str(out / "nowhere.script"), "-o", str(nowhere))
    too_long = "D:\\" + "Folder" * 40

    def passed(r):
        assert r["passed"] and r["failures"] == [], r["failures"]
        assert r["install_dialog"]["caption"] == app_name, r["install_dialog"]
        assert r["install_dialog"]["description"] == description, r["install_dialog"]
        assert r["install_dialog"]["folder"] == "D:\\Kesta", r["install_dialog"]
        assert r["folder"] == "D:\\Kesta" and r["installer_exit_code"] == 0, r
        assert r["files"] == {"verified": files, "in_package": files}, r["files"]
        assert r["shortcuts"] == {"verified": shortcuts, "in_package": shortcuts}, r["shortcuts"]
        assert [o["kind"] for o in r["outside"]] == ["shortcut"] * shortcuts, r["outside"]
        assert r["finish_dialog"]["launch"]["ticked"] and r["finish_dialog"]["help"]["ticked"], r
        shots = {s["dialog"]: s for s in r["screenshots"]}
        assert sorted(shots) == ["finish", "install"], shots
        for s in shots.values():
            w, h = png_size(s["path"])
            # the dialog window alone: its own size, well inside the 1024x768 screen
            assert (w, h) == (s["width"], s["height"]) and 200 < w < 800 and 100 < h < 400, s

    def box(caption, text_start, text_end=""):
        def check(r):
            (b,) = r["message_boxes"]
            assert b["caption"] == caption and b["text"].startswith(text_start), b
            assert b["text"].endswith(text_end), b
            assert r["files"] is None and r["failures"], r
            assert [s["dialog"] for s in r["screenshots"]][-1] == "message", r["screenshots"]
        return check

    def cut_off(r):
        cut = [c for c in r["cut_texts"] if c["dialog"] == "finish" and long_folder in c["text"]]
        assert len(cut) == 1 and cut[0]["control"] == 1002, r["cut_texts"]
        assert r["files"]["verified"] == files, r["files"]
        want = "the finish dialog cuts off the text of control 1002: \"" + cut[0]["text"] + "\""
        assert r["failures"] == [want], r["failures"]

    def ended(r):
        assert r["install_dialog"] is None and r["files"] is None, r
        assert "ended without showing its install dialog" in r["stopped"], r["stopped"]
        assert r["failures"] == [r["stopped"]], r["failures"]

    def tampered(r):
        want = ["file D:\\Kesta\\帮助.txt has ", "file D:\\Kesta\\data\\levels\\1.dat is missing",
                "\\Desktop\\塔文诺.lnk is missing",
                "file D:\\Kesta\\extra.txt is in the install folder, not in the package"]
        for w in want:
            assert any(w in f for f in r["failures"]), (w, r["failures"])
        assert len(r["failures"]) == len(want), r["failures"]
        assert r["files"] == {"verified": files - 2, "in_package": files}, r["files"]

    def ran(r):
        passed(r)
        program = r["finish_starts"]["program"]["path"]
        assert program == "D:\\Kesta\\Talvenor.exe" and r["finish_starts"]["program"]["started"], r["finish_starts"]
        assert program in [p["image"] for p in r["started"]], r["started"]

    def emoji_note(r):
        (note,) = r["notes"]
        assert "笔记.lnk" in note and "code page (936)" in note and "笔记??.txt" in note, note

    def upgraded(number, left_behind, earlier):
        def check(r):
            u = r["upgrade"]
            assert r["passed"] and r["moved_aside"] == f"D:\\Kesta_旧版本{number}", r
            assert u["kept_in"] == r["moved_aside"] and u["earlier"] == earlier, u
            assert u["kept_files"] == {"verified": files, "in_package": files}, u["kept_files"]
            assert u["not_whole"] == [] and u["changed"] == [], u
            assert [p.rsplit("\\", 1)[-1] for p in u["left_behind"]] == left_behind, u["left_behind"]
            assert r["files"] == {"verified": files, "in_package": files}, r["files"]
        return check

    def settings_replaced(r):
        (replaced,) = r["upgrade"]["replaced"]
        assert replaced.endswith("\\AppData\\Roaming\\DawnNotes\\settings.ini"), replaced
        assert r["passed"] and r["upgrade"]["changed"] == [], r["upgrade"]

    def upgraded_running(r):
        upgraded(2, [], [str(demo)])(r)
        (b,) = r["message_boxes"]
        assert b["expected"] and RENAME_FAILED in b["text"], b
        steps = r["upgrade"]["running_steps"]
        assert len(steps) == 4 and "started the old version's program D:\\Kesta\\Talvenor.exe" in steps, steps
        assert "closed the old version's program by its window, as a user would" in steps, steps

    def user_root(r):
        assert r["passed"] and r["user"] == "root" and r["cut_texts"] == [], r
        emoji_note(r)

    def user_chinese(r):
        passed(r)
        assert r["user"] == "张三" and r["cut_texts"] == [], r
        assert all("\\users\\张三\\" in o["path"] for o in r["outside"]), r["outside"]

    def user_default(r):
        assert r["user"] == DEFAULT_USER, r["user"]
        (cut,) = r["cut_texts"]
        assert cut["control"] == 1002 and f"C:\\users\\{DEFAULT_USER}\\AppData" in cut["text"], cut
        assert len(r["failures"]) == 1, r["failures"]

    def leads_nowhere(r):
        (f,) = r["failures"]
        assert "DawnNote.exe\", which does not exist after the install" in f, f
        emoji_note(r)

    def box_expected(r):
        (b,) = r["message_boxes"]
        assert b["expected"] and b["text"].startswith(TOO_LONG), b
        assert r["typed_folders"] == [too_long, ""] and r["folder"] == "D:\\Kesta", r
        assert r["passed"] and r["files"]["verified"] == files, r

    def report_unwritten(r):
        assert "FAIL:" in r.stdout and "不是完整的安装目录" in r.stdout, "the verdict, as without --json"
        want = f"talvenor-pack: {unwritable}: cannot be written (No space left on device); the verdict above stands"
        assert want in r.stderr.splitlines(), r.stderr

    def interrupted(r):
        assert INSTALL_DIALOG_UP in r.stderr.splitlines(), "interrupted with the install dialog up"
        assert "interrupted" in r.stderr and r.stdout == "", "the interruption is said on stderr alone"

    # name, arguments, test hook, exit status (negative: the signal it dies of), check of
    # the JSON report (None: one line on stderr and no report); "interrupted" gets
    # SIGINT when try says the install dialog is up (-v): with Wine, the display, the
    # driver and the installer all running.
    cases = [
        ("demo", [demo], None, 0, passed),
        ("run", [demo, "--run"], None, 0, ran),
        ("cut-off-text", [long_demo], None, 1, cut_off),
        ("damaged", [damaged], None, 1, box(*DAMAGED)),
        ("unwritable-folder", [demo, "--folder", "C:\\windows\\win.ini\\Kesta"], None, 1,
         box(WRITE_FAILED, "无法写入文件: C:\\windows\\win.ini\\Kesta\\", f"\n请先关闭{product}！")),
        # Folders a user might type that the installer refuses before anything is written.
        ("relative-folder", [demo, "--folder", "Kesta"], None, 1,
         box("安装目录无效", "“Kesta”不是完整的安装目录。请输入完整的安装目录，例如 D:\\Kesta。")),
        ("missing-drive", [demo, "--folder", "Q:\\Kesta"], None, 1,
         box("安装目录无效", "“Q:\\Kesta”所在的磁盘 Q: 不存在。")),
        ("changed-after-install", [demo], TAMPER, 1, tampered),
        ("no-dialog", [no_dialog], None, 1, ended),
        ("interrupted", [demo, "-v"], None, -signal.SIGINT, None),
        ("not-a-program", [manifest], None, 2, None),
        ("upgrade", [v2, "--over", demo], None, 0, upgraded(1, ["塔文诺帮助.lnk"], [])),
        ("second-upgrade-running", [v2, "--over", demo, "--over", v2, "--running"], None, 0, upgraded_running),
        ("upgrade-replaces-settings", [settings2, "--over", settings1], None, 0, settings_replaced),
        ("user-root", [in_appdata, "--user", "root"], None, 0, user_root),
        ("user-chinese", [demo, "--user", "张三"], None, 0, user_chinese),
        ("user-default", [in_appdata], None, 1, user_default),
        ("shortcut-nowhere", [nowhere], None, 1, leads_nowhere),
        ("expected-box", [demo, "--folder", too_long, "--expect-box", TOO_LONG, "--folder", ""], None, 0,
         box_expected),
        ("bare-stub", [Path(args.stub)], None, 2, None),
        ("running-without-over", [demo, "--running"], None, 2, None),
        ("not-a-user-name", [demo, "--user", "Wang/Xiaoming"], None, 2, None),
        # Folders of the prefix's C:\users that are no user's profile.
        ("user-public", [demo, "--user", "Public"], None, 2, None),
        ("user-default-folder", [demo, "--user", "default"], None, 2, None),
        ("json-into-new-folders", [demo], None, 0, passed),
        ("json-unwritable", [demo, "--folder", "Kesta"], None, 1, report_unwritten),
    ]
    # Where a case's JSON report goes when not beside the others: into folders that do not
    # exist yet (try makes them first), and onto a device that takes no bytes (the report
    # truly cannot be written; the verdict's status stays).
    unwritable = Path("/dev/full")
    json_at = {"json-into-new-folders": out / "made" / "by-try" / "report.json", "json-unwritable": unwritable}
    unknown = set(args.case) - {c[0] for c in cases}
    assert not unknown, f"no such case: {sorted(unknown)}"
    assert OWN_64BIT_CASES <= {c[0] for c in cases}, "OWN_64BIT_CASES names a case that is gone"
    if os.environ.get("TV_WIN32_SUITE_RAN") == "yes" and not is_32bit(args.stub):
        print("the 32-bit build's try cases ran (TV_WIN32_SUITE_RAN=yes): only the 64-bit build's own run",
              flush=True)
        cases = [c for c in cases if c[0] in OWN_64BIT_CASES]
    failed = []
    for name, cmd, hook, status, check in cases:
        if args.case and name not in args.case:
            continue
        started = time.time()
        report = json_at.get(name, out / f"{name}.json")
        shots = out / name
        case_env = dict(env, **({"TALVENOR_TRY_TEST_HOOK": hook} if hook else {}))
        proc = subprocess.Popen([str(hooked_maker if hook else maker), "try", *map(str, cmd), "--screenshots", str(shots), "--json",
                                 str(report), "--timeout", "60"], env=case_env, text=True,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        told = interrupt_when(proc, INSTALL_DIALOG_UP) if name == "interrupted" else ""
        stdout, stderr = proc.communicate(timeout=600)
        stderr = told + stderr
        r = subprocess.CompletedProcess(proc.args, proc.returncode, stdout, stderr)
        try:
            assert r.returncode == status, f"exit status {r.returncode}, expected {status}"
            if name == "interrupted":
                interrupted(r)
            elif report == unwritable:
                check(r)
            elif check:
                parsed = json.loads(report.read_text(encoding="utf-8"))
                check(parsed)
                for replaced in (parsed["upgrade"] or {}).get("replaced", []):
                    line = f"replaced: {replaced} (a user's changes to it would be lost)"
                    assert line in r.stdout.splitlines(), f"no line {line!r}"
                assert ("PASS:" if status == 0 else "FAIL:") in r.stdout, "the verdict line"
                named = product if cmd[0] in (demo, long_demo, v2, in_appdata, settings2) else "Talvenor"  # else the stub's
                assert f'product name: "{named}"; ' in r.stdout, "the product name the installer uses"
            else:
                assert r.stdout == "" and len(r.stderr.splitlines()) == 1, "one line, on stderr"
            procs, folders = left_behind(cache)
            assert not procs and not folders, f"left behind: processes {procs}, run folders {folders}"
            print(f"PASS {name} ({time.time() - started:.1f} s)", flush=True)
        except AssertionError as e:
            failed.append(name)
            print(f"FAIL {name}: {e}\n--- stdout\n{r.stdout}--- stderr\n{r.stderr}", flush=True)
    print("FAILED: " + ", ".join(failed) if failed else "all try cases passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""End-to-end tests of the installer: real installers made by the maker, run under
Wine in a virtual display and driven through their dialogs by our UI driver; the
files, old-version folders, shortcuts and started programs are then checked on disk.

  run_e2e.py --source-dir S --stub SETUP.exe --driver DRIVER.exe --marker MARKER.exe
             [--demo-manifest MANIFEST] [--maker-native talvenor-pack]
             [--maker-windows talvenor-pack.exe]
             [--out DIR] [--case NAME ...]
"""

import argparse
import os
import re
import shutil
import sys
import time
import tomllib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pe_resources  # noqa: E402
from trust_cases import TrustCases  # noqa: E402
from e2e_support import (WINE32, WINE64, CaseSkipped, Driver, Environment, Failure, Maker, check,  # noqa: E402
                         check_equal, install_script)
from fit_cases import FitCases  # noqa: E402
from folder_cases import FolderCases  # noqa: E402
from path_cases import PathCases  # noqa: E402
from product_cases import ProductCases  # noqa: E402
from progress_cases import ProgressCases  # noqa: E402
from loading_cases import LoadingCases  # noqa: E402
from names_cases import NamesCases  # noqa: E402

WS_TABSTOP, WS_GROUP, WS_BORDER = 0x00010000, 0x00020000, 0x00800000
WS_CHILD_VISIBLE = 0x50000000
BS_PUSHBUTTON, BS_AUTOCHECKBOX, BS_GROUPBOX, BS_TYPEMASK = 0x0, 0x3, 0x7, 0xF
SS_LEFT, ES_AUTOHSCROLL = 0x0, 0x80
WS_EX_APPWINDOW, WS_EX_CLIENTEDGE = 0x00040000, 0x00000200
DIALOG_STYLE = 0x80000000 | 0x10000000 | 0x00C00000 | 0x00080000 | 0x80 | 0x40 | 0x8

# The dialogs as designed: id, class, text, style beyond WS_CHILD | WS_VISIBLE (only
# WS_CHILD for the controls hidden at first), and x, y, width, height in dialog units,
# in tab order.
HIDDEN_AT_FIRST = {1008}


def base_style(ident):
    return WS_CHILD_VISIBLE & ~0x10000000 if ident in HIDDEN_AT_FIRST else WS_CHILD_VISIBLE


INSTALL_DIALOG = dict(id=103, size=(266, 89), caption="安装", controls=[
    (1001, "Button", "一键安装", BS_PUSHBUTTON | WS_TABSTOP, (68, 69, 50, 14)),
    (1007, "Button", "浏览", BS_PUSHBUTTON | WS_TABSTOP, (218, 44, 34, 13)),
    (1006, "Edit", "", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, (14, 44, 200, 13)),
    (2, "Button", "取消", BS_PUSHBUTTON | WS_TABSTOP, (148, 69, 50, 14)),
    (-1, "Button", "程序安装目录", BS_GROUPBOX, (7, 32, 252, 32)),
    (1002, "Static", "说明", SS_LEFT | WS_GROUP, (13, 6, 232, 19)),
    (1008, "msctls_progress32", "", 0, (7, 26, 252, 5)),
])
FINISH_DIALOG = dict(id=104, size=(219, 74), caption="安装完成", controls=[
    (1002, "Static", "软件已经成功安装到了您的计算机上！", SS_LEFT | WS_GROUP, (16, 8, 188, 8)),
    (1, "Button", "完成", BS_PUSHBUTTON | WS_TABSTOP, (84, 52, 50, 14)),
    (1004, "Button", "立即启动软件", BS_AUTOCHECKBOX | WS_TABSTOP, (16, 20, 187, 10)),
    (1005, "Button", "查看帮助文档", BS_AUTOCHECKBOX | WS_TABSTOP, (16, 34, 185, 10)),
])

RENAME_FAILED = ("无法安装", "重命名旧版本失败！请先关闭Talvenor。")
DAMAGED = ("安装失败", "安装文件已损坏!")
WRONG_VERSION = ("安装失败", "安装程序版本好错误!")
WRITE_FAILED_CAPTION = "安装出错"


def write_failed_text(path):
    return f"无法写入文件: {path}\n请先关闭Talvenor！"


def mul_div(a, b, c):
    """Windows MulDiv: a * b / c rounded half away from zero."""
    n = a * b
    q, r = divmod(abs(n), c)
    if 2 * r >= c:
        q += 1
    return q if n >= 0 else -q


def parse_layout(lines):
    layout = dict(controls=[])
    for line in lines:
        if line.startswith("dialog "):
            m = re.match(r"dialog style=(\S+) exstyle=(\S+) window=(\S+) client=(\S+) caption=(.*)",
                         line)
            layout.update(style=int(m[1], 16), exstyle=int(m[2], 16),
                          window=tuple(map(int, m[3].split(","))),
                          client=tuple(map(int, m[4].split(","))), caption=m[5])
        elif line.startswith("screen "):
            m = re.match(r"screen (\d+),(\d+) base=(\d+),(\d+)", line)
            layout.update(screen=(int(m[1]), int(m[2])), base=(int(m[3]), int(m[4])))
        elif line.startswith("control "):
            m = re.match(r"control id=(\S+) class=(\S+) style=(\S+) exstyle=(\S+) px=(\S+) text=(.*)",
                         line)
            layout["controls"].append(dict(id=int(m[1]), cls=m[2], style=int(m[3], 16),
                                           exstyle=int(m[4], 16),
                                           px=tuple(map(int, m[5].split(","))), text=m[6]))
        elif line.startswith("taborder"):
            layout["taborder"] = [int(t) for t in line.split()[1:]]
    return layout


def check_running_layout(layout, design, texts):
    """The running dialog against its design: styles, sizes and places in pixels at
    the font's base units, tab order, centring; texts where the package left them."""
    bx, by = layout["base"]
    check((layout["style"] & DIALOG_STYLE) == DIALOG_STYLE, f"dialog style {layout['style']:#x}")
    check(layout["exstyle"] & WS_EX_APPWINDOW, "the dialog has its own taskbar button")
    w, h = design["size"]
    check_equal(layout["client"], (mul_div(w, bx, 4), mul_div(h, by, 8)), "client size in pixels")
    sw, sh = layout["screen"]
    x, y, ww, wh = layout["window"]
    check_equal((x, y), (int((sw - ww) / 2), int((sh - wh) / 2)), "centred position")
    controls = layout["controls"]
    check_equal([c["id"] for c in controls], [c[0] for c in design["controls"]], "controls in order")
    for got, (ident, cls, text, style, (cx, cy, cw, ch)) in zip(controls, design["controls"]):
        check_equal(got["cls"].lower(), cls.lower(), f"class of {ident}")
        want = style
        if cls == "Edit" and not got["style"] & WS_BORDER:
            # the dialog manager draws an edit's border as a client edge
            check(got["exstyle"] & WS_EX_CLIENTEDGE, f"edit {ident} has no border")
            want &= ~WS_BORDER
        check_equal(got["style"], base_style(ident) | want, f"style of {ident}")
        # the dialog manager maps place and size separately
        left, top = mul_div(cx, bx, 4), mul_div(cy, by, 8)
        px = (left, top, left + mul_div(cw, bx, 4), top + mul_div(ch, by, 8))
        check_equal(got["px"], px, f"rectangle of {ident}")
        if ident in texts:
            check_equal(got["text"], texts[ident], f"text of {ident}")
    tabbed = [c[0] for c in design["controls"] if c[3] & WS_TABSTOP]
    check_equal(layout["taborder"], tabbed, "tab order")


class Suite(TrustCases, ProgressCases, LoadingCases, ProductCases, PathCases, FitCases,
            FolderCases,
            NamesCases):
    def __init__(self, args, env, maker):
        self.args, self.env, self.maker = args, env, maker
        self.source = Path(args.source_dir)
        self.marker = Path(args.marker).read_bytes()
        self.case = ""
        self.shot_count = 0
        self.drv = None

    # --- helpers ----------------------------------------------------------------
    def installer(self, name, variables, files=(), shortcuts="", version=1):
        return self.maker.wrap_script(install_script(version, variables, list(files), shortcuts),
                                      name)

    def start(self, exe):
        self.drv = Driver(self.env, self.args.driver)
        self.drv("start " + self.env.windows_path(exe))
        return self.drv

    def shot(self, what):
        self.shot_count += 1
        return self.env.screenshot(f"{self.case}-{self.shot_count}-{what}")

    def wait_exit(self):
        (line,) = self.drv("wait exit 30")
        return int(line.split("=")[1])

    def children(self):
        """How many processes the installer (and what it started) have created so far,
        the ended ones too: the driver's count from the job it runs in."""
        (line,) = self.drv("children")
        return int(line.split()[1])

    def finish_starts(self, answer):
        """Answers the finish dialog (answer: a driver command) and waits for the end;
        how many processes were created from then on: the count once the installer has
        ended (final: nothing it starts is created after its end), less the count with
        the dialog up (the installer's earlier ones: Wine's shell starts its menu
        builder when a shortcut is saved)."""
        before = self.children()
        self.drv(answer)
        check_equal(self.wait_exit(), 0, "exit code")
        return self.children() - before

    def expect_message(self, caption, text, buttons, what):
        self.drv("wait message")
        self.shot(what)
        got = self.drv.message()
        check_equal((got[0], got[1]), (caption, text), "message box")
        check_equal(got[2], buttons, "message box buttons")

    def markers(self, folder):
        """(program, creation time, command line) of every marker program started
        below folder: each logs to markers.log in its own folder."""
        rows = []
        for log in sorted(self.env.host_path(folder).rglob("markers.log")):
            for line in log.read_text(encoding="utf-8").splitlines():
                name, created, cmdline = line.split(" ", 2)
                rows.append((name.lower(), int(created), cmdline))
        return rows

    def wait_markers(self, folder, count, seconds=15):
        deadline = time.time() + seconds
        while time.time() < deadline:
            rows = self.markers(folder)
            if len(rows) >= count:
                return rows
            time.sleep(0.2)
        return self.markers(folder)

    def host_tree(self, root):
        root = Path(root)
        if not root.exists():
            return {}
        return {str(p.relative_to(root)): p.read_bytes() for p in sorted(root.rglob("*"))
                if p.is_file()}

    def marker_package(self, name, app_default="D:\\Kesta", extra_vars=()):
        """A package of two marker programs standing for the program and its help,
        with variables and a shortcut that depend on "{App}"."""
        variables = [("{App}", app_default), ("{AppName}", "Talvenor 测试安装"),
                     ("{AppVerName}", "Talvenor 9.1 测试版"), ("{Bin}", "{App}\\bin"),
                     ("{Launch}", "{Bin}\\launch.exe"), ("{Help}", "{App}\\help.exe"),
                     ("{FinishTip}", "已安装到 {App}"), ("{LaunchTip}", "立即启动 {Launch}")]
        variables += list(extra_vars)
        files = [("{Bin}\\launch.exe", self.marker), ("{App}\\help.exe", self.marker),
                 ("{App}\\data\\说明.txt", "数据 {App}".encode("utf-8"))]
        shortcuts = "icon\n{Launch}\n--from {App}\n{Desktop}\\Talvenor测试\n"
        return self.installer(name, variables, files, shortcuts)

    # --- cases ------------------------------------------------------------------
    def case_templates(self):
        """The stub's dialog templates and manifest, as the shipped bytes hold them."""
        res = pe_resources.resources(self.args.stub)
        for design in (INSTALL_DIALOG, FINISH_DIALOG):
            (lang, data), = res[(pe_resources.RT_DIALOG, design["id"])]
            check_equal(lang, 0x0804, "language of the dialog (Chinese, Simplified)")
            d = pe_resources.parse_dialog(data)
            check_equal(d["style"], DIALOG_STYLE, "dialog style")
            check_equal(d["exstyle"], WS_EX_APPWINDOW, "dialog extended style")
            check_equal(d["rect"], (0, 0) + design["size"], "dialog position and size")
            check_equal(d["caption"], design["caption"], "dialog caption")
            check_equal(d["font"], ("MS Shell Dlg", 9, 400, 0, 1), "dialog font")
            got = [(c["id"], c["cls"].lower(), c["text"], c["style"], c["rect"])
                   for c in d["controls"]]  # windres writes class names in capitals
            want = [(i, cls.lower(), text, base_style(i) | style, rect)
                    for i, cls, text, style, rect in design["controls"]]
            check_equal(got, want, f"controls of dialog {design['id']}")
            for c in d["controls"]:
                if c["cls"] == "Button":
                    check(c["style"] & BS_TYPEMASK != 1, f"{c['id']} is a default push button")
        (lang, manifest), = res[(pe_resources.RT_MANIFEST, 1)]
        text = manifest.decode("utf-8")
        check('level="asInvoker"' in text, "manifest asks for asInvoker")
        check(re.search(r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"', text),
              "manifest asks for common controls 6.0.0.0")

    def case_demo_default(self):
        """The demo package: caption, description and default directory from its
        manifest; installed to the default; every packaged file in place."""
        manifest_path = Path(self.args.demo_manifest or
                             self.source / "samples" / "demo" / "manifest.toml")
        manifest = tomllib.loads(manifest_path.read_text(encoding="utf-8"))
        exe = self.maker.build(manifest_path, "demo")
        drv = self.start(exe)
        drv("wait install")
        folders = {name: drv.value(f"folder {csidl}") for name, csidl in folder_variables(self.source)}
        values = dict(folders, **{"{Empty}": ""})
        title = description = None
        for v in manifest.get("variable", []):
            if v["name"] == "{AppName}":
                title = v["value"]
            elif v["name"] == "{AppVerName}":
                description = v["value"]
            else:
                values[v["name"]] = expand(v["value"], values)
        layout = parse_layout(drv("layout"))
        check_running_layout(layout, INSTALL_DIALOG, {})
        check_equal(drv.value("caption"), title or "安装", "caption")
        check_equal(drv.value("text 1002"), description or "说明", "description")
        default = values.get("{App}") or ""
        check_equal(drv.value("text 1006"), default, "default directory")
        self.shot("install")
        links = [expand(sc["location"], values) + ".lnk" for sc in manifest.get("shortcut", [])]
        self.env.remove_from_prefix(links)  # left by an earlier run
        drv("click 1001")
        drv("wait finish")
        check_running_layout(parse_layout(drv("layout")), FINISH_DIALOG, {})
        check_equal(drv.value("text 1002"),
                    values.get("{FinishTip}") or "软件已经成功安装到了您的计算机上！", "finish text")
        check_equal(drv.value("text 1004"), values.get("{LaunchTip}") or "立即启动软件",
                    "launch text")
        self.shot("finish")
        drv("check 1004 0")
        drv("check 1005 0")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        app = default or "D:\\Kesta"
        installed = 0
        for entry in manifest.get("file", []):
            dest = self.env.host_path(expand(entry["destination"], values))
            check(dest.is_file(), f"{dest} installed")
            check_equal(dest.read_bytes(), (manifest_path.parent / entry["source"]).read_bytes(),
                        f"content of {dest}")
            installed += 1
        for entry in manifest.get("tree", []):
            src = manifest_path.parent / entry["source"]
            dest_root = self.env.host_path(expand(entry["destination"], values))
            for f in src.rglob("*"):
                if f.is_file():
                    dest = dest_root.joinpath(*f.relative_to(src).parts)
                    check_equal(dest.read_bytes(), f.read_bytes(), f"content of {dest}")
                    installed += 1
        check(installed > 0, "the demo installs files")
        for sc in manifest.get("shortcut", []):
            link = expand(sc["location"], values) + ".lnk"
            lines = drv("shortcut " + link)
            check_equal(lines[0], "shortcut target=" + expand(sc["target"], values).replace(
                "\\", "\\\\"), f"target of {link}")
        self.env.log(f"    installed {installed} files under {app}")

    def case_typed_directory(self):
        """A typed directory with trailing backslashes: files, shortcut and finish text
        follow it; the finish button starts {Launch} before opening {Help}."""
        exe = self.marker_package("typed")
        drv = self.start(exe)
        drv("wait install")
        typed = "C:\\e2e\\装到这里\\\\\\"
        chosen = "C:\\e2e\\装到这里"
        drv("type 1006 " + typed)
        check_equal(drv.value("text 1006"), typed, "typed text")
        self.shot("install")
        drv("click 1001")
        drv("wait finish")
        check_equal(drv.value("text 1002"), "已安装到 " + chosen, "finish text")
        check_equal(drv.value("text 1004"), f"立即启动 {chosen}\\bin\\launch.exe", "launch text")
        check_equal((drv.value("checked 1004"), drv.value("checked 1005")), ("1", "1"),
                    "both boxes checked")
        self.shot("finish")
        check_equal(self.finish_starts("click 1"), 2, "processes the finish button started")
        root = self.env.host_path(chosen)
        check_equal((root / "data" / "说明.txt").read_text(encoding="utf-8"), "数据 {App}",
                    "a file below the chosen directory, its content as packaged")
        check((root / "bin" / "launch.exe").is_file() and (root / "help.exe").is_file(),
              "the programs are installed in the chosen directory")
        check(not (self.env.drive_d / "Kesta").exists(), "nothing went to the default directory")
        drv = Driver(self.env, self.args.driver)
        self.drv = drv
        lines = drv(f"shortcut {self.env.desktop()}\\Talvenor测试.lnk")
        check_equal(lines[0], "shortcut target=" + f"{chosen}\\bin\\launch.exe".replace("\\", "\\\\"),
                    "shortcut target")
        check_equal(lines[1], "shortcut args=" + f"--from {chosen}".replace("\\", "\\\\"),
                    "shortcut arguments")
        rows = self.wait_markers(chosen, 2)
        check_equal([r[0] for r in sorted(rows, key=lambda r: r[1])], ["launch.exe", "help.exe"],
                    "programs started, in the order they were started")
        check(rows[0][1] != rows[1][1], "start times tell the two programs apart")

    def case_defaults_and_empty_edit(self):
        """A package without "{App}", title, description and finish texts: the
        resource texts stay, the edit box is empty, and the install goes to D:\\Kesta."""
        exe = self.installer("bare", [("{Note}", "{App}\\note.txt")],
                             [("{App}\\a.txt", b"A"), ("{App}\\sub\\b.txt", b"B")])
        drv = self.start(exe)
        drv("wait install")
        check_running_layout(parse_layout(drv("layout")), INSTALL_DIALOG,
                             {c[0]: c[2] for c in INSTALL_DIALOG["controls"]})
        check_equal(drv.value("caption"), "安装", "caption")
        self.shot("install")
        drv("click 1001")
        drv("wait finish")
        check_running_layout(parse_layout(drv("layout")), FINISH_DIALOG,
                             {c[0]: c[2] for c in FINISH_DIALOG["controls"]})
        self.shot("finish")
        drv("click 1")  # no {Launch}, no {Help}: nothing to start, no error
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(self.env.drive_d / "Kesta"),
                    {"a.txt": b"A", "sub/b.txt": b"B"}, "files under D:\\Kesta")

    def case_backslashes_only(self):
        """An edit box of backslashes only installs to D:\\Kesta."""
        exe = self.installer("slashes", [("{App}", "C:\\不是这里")], [("{App}\\x.txt", b"x")])
        drv = self.start(exe)
        drv("wait install")
        drv("type 1006 \\\\\\")
        drv("click 1001")
        drv("wait finish")
        drv("key escape")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(self.env.drive_d / "Kesta"), {"x.txt": b"x"}, "D:\\Kesta")
        check(not self.env.host_path("C:\\不是这里").exists(), "the script's default unused")

    def browse_to_drive_d(self):
        """Browses from the install dialog to the drive D: and takes it."""
        drv = self.drv
        drv("click 1007")
        drv("wait browse")
        drv("key right")
        self.browse_select("我的电脑")
        drv("key right")
        self.browse_select("(D:)")
        drv("click 1")
        drv("wait install")

    def browse_select(self, label):
        """In the folder browser, moves down the tree (opening each level with the
        right arrow) until its folder box shows label."""
        drv = self.drv
        # Under load a level may open only after the first presses went past it: look
        # down the tree, then back up.
        for key in ("down", "up"):
            for _ in range(30):
                if drv.value("text 14149").strip() == label:
                    return
                drv(f"key {key}")
                drv("sleep 150")
        raise Failure(f"the folder browser never showed {label!r}")

    def case_browse(self):
        """The browse button: cancelling keeps the edit box; a chosen folder gets
        "\\KESTA" appended; the drive D:\\ gives D:\\KESTA, where the install goes."""
        exe = self.installer("browse", [("{App}", "C:\\默认")], [("{App}\\f.txt", b"f")])
        drv = self.start(exe)
        drv("wait install")
        desktop = drv.value("folder 0")
        drv("click 1007")
        drv("wait browse")
        check_equal(drv.value("text 14146"), "选择安装目录", "the browser's title line")
        self.shot("browser")
        drv("click 2")
        drv("wait install")
        check_equal(drv.value("text 1006"), "C:\\默认", "edit box after cancelling")
        drv("click 1007")
        drv("wait browse")
        drv("click 1")  # the desktop, selected at first
        drv("wait install")
        check_equal(drv.value("text 1006"), desktop + "\\KESTA", "edit box after the desktop")
        self.browse_to_drive_d()
        check_equal(drv.value("text 1006"), "D:\\KESTA", "edit box after the drive D:\\")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(self.env.drive_d / "KESTA"), {"f.txt": b"f"}, "D:\\KESTA")

    def case_old_version(self):
        """D:\\Kesta and D:\\Kesta_旧版本1 exist: the old installation moves to
        D:\\Kesta_旧版本2 and the new one goes to D:\\Kesta."""
        d = self.env.drive_d
        (d / "Kesta").mkdir()
        (d / "Kesta" / "old.txt").write_bytes(b"old")
        (d / "Kesta_旧版本1").mkdir()
        (d / "Kesta_旧版本1" / "older.txt").write_bytes(b"older")
        exe = self.installer("old", [("{App}", "D:\\Kesta")], [("{App}\\new.txt", b"new")])
        drv = self.start(exe)
        drv("wait install")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d / "Kesta"), {"new.txt": b"new"}, "new installation")
        check_equal(self.host_tree(d / "Kesta_旧版本1"), {"older.txt": b"older"}, "first old version")
        check_equal(self.host_tree(d / "Kesta_旧版本2"), {"old.txt": b"old"}, "moved aside")

    def case_rename_fails(self):
        """The installed directory is held open: every rename fails, the message is
        shown, the button is usable again, the dialog stays; after release a second
        press moves it to D:\\Kesta_旧版本1."""
        d = self.env.drive_d
        (d / "Kesta").mkdir()
        (d / "Kesta" / "old.txt").write_bytes(b"old")
        exe = self.installer("held", [("{App}", "D:\\Kesta")], [("{App}\\new.txt", b"new")])
        drv = self.start(exe)
        drv("lock D:\\Kesta")
        drv("wait install")
        drv("click 1001")
        self.expect_message(*RENAME_FAILED, "1", "message")
        drv("click 1")
        drv("wait install")
        check_equal(drv.settled("enabled 1001", "1"), "1", "install button enabled again")
        check_equal(sorted(p.name for p in d.iterdir()), ["Kesta"], "nothing moved or written")
        check_equal(self.host_tree(d / "Kesta"), {"old.txt": b"old"}, "old installation untouched")
        drv("unlock D:\\Kesta")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d / "Kesta_旧版本1"), {"old.txt": b"old"}, "moved aside")
        check_equal(self.host_tree(d / "Kesta"), {"new.txt": b"new"}, "new installation")

    def locked_file_package(self, name):
        d = self.env.drive_d
        (d / "Shared").mkdir()
        (d / "Shared" / "locked.dat").write_bytes(b"before")
        files = [("{App}\\a.txt", b"A"), ("D:\\Shared\\locked.dat", b"after"), ("{App}\\z.txt", b"Z")]
        return self.installer(name, [("{App}", "D:\\Kesta")], files)

    def case_locked_file_retry(self):
        """A destination file held open: the prompt names it, the install button is
        disabled meanwhile; after release, Retry writes it and the install goes on."""
        exe = self.locked_file_package("locked")
        drv = self.start(exe)
        drv("lock D:\\Shared\\locked.dat")
        drv("wait install")
        self.shot("install")
        drv("click 1001")
        self.expect_message(WRITE_FAILED_CAPTION, write_failed_text("D:\\Shared\\locked.dat"),
                            "4,2", "prompt")
        check_equal(self.host_tree(self.env.drive_d / "Kesta"), {"a.txt": b"A"},
                    "files before the held one are written")
        drv("wait install")
        check_equal(drv.value("enabled 1001"), "0", "install button disabled during the install")
        drv("unlock D:\\Shared\\locked.dat")
        drv("wait message")
        drv("click 4")
        drv("wait finish")
        self.shot("finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(self.env.drive_d),
                    {"Kesta/a.txt": b"A", "Kesta/z.txt": b"Z", "Shared/locked.dat": b"after"},
                    "everything written")

    def case_locked_file_cancel(self):
        """Cancel at the prompt: no finish dialog, the files written before stay."""
        exe = self.locked_file_package("locked-cancel")
        drv = self.start(exe)
        drv("lock D:\\Shared\\locked.dat")
        drv("wait install")
        drv("click 1001")
        self.expect_message(WRITE_FAILED_CAPTION, write_failed_text("D:\\Shared\\locked.dat"),
                            "4,2", "prompt")
        drv("click 2")
        check_equal(self.wait_exit(), 0, "exit code")  # no finish dialog waits for anyone
        check_equal(self.host_tree(self.env.drive_d),
                    {"Kesta/a.txt": b"A", "Shared/locked.dat": b"before"}, "files kept")

    def case_finish_unchecked(self):
        """Both boxes unchecked: the finish button starts nothing."""
        exe = self.marker_package("unchecked")
        drv = self.start(exe)
        drv("wait install")
        drv("click 1001")
        drv("wait finish")
        drv("check 1004 0")
        drv("check 1005 0")
        self.shot("finish")
        check_equal(self.finish_starts("click 1"), 0, "processes the finish button started")
        check_equal(self.markers("D:\\Kesta"), [], "programs started")
        check((self.env.drive_d / "Kesta" / "bin" / "launch.exe").is_file(), "installed")

    def case_finish_only_help(self):
        """Only the help box checked: the help document alone is opened."""
        exe = self.marker_package("only-help")
        drv = self.start(exe)
        drv("wait install")
        drv("click 1001")
        drv("wait finish")
        drv("check 1004 0")
        check_equal(self.finish_starts("click 1"), 1, "processes the finish button started")
        check_equal([r[0] for r in self.wait_markers("D:\\Kesta", 1)], ["help.exe"], "programs started")

    def case_finish_escape(self):
        """Escape in the finish dialog starts nothing, whatever the boxes show."""
        exe = self.marker_package("escape")
        drv = self.start(exe)
        drv("wait install")
        drv("click 1001")
        drv("wait finish")
        check_equal((drv.value("checked 1004"), drv.value("checked 1005")), ("1", "1"), "checked")
        check_equal(self.finish_starts("key escape"), 0, "processes Escape started")
        check_equal(self.markers("D:\\Kesta"), [], "programs started")

    def case_damaged_package(self):
        """A blob whose container is not a zlib stream, and a stub with no package:
        the damaged-package message, then the end, with no finish dialog."""
        blob = bytes((i * 73 + 5) & 0xFF for i in range(2 * 64))
        for name, exe in (("damaged", self.maker.wrap_blob(blob, 0x1234, "damaged")),
                          ("no-package", Path(self.args.stub))):
            drv = self.start(exe)
            self.expect_message(*DAMAGED, "1", name)
            drv("click 1")
            check_equal(self.wait_exit(), 0, "exit code")
            drv.close()
        check_equal(list(self.env.drive_d.iterdir()), [], "nothing written")

    def case_version_2(self):
        """A version-2 package: the version message, then the end."""
        exe = self.installer("v2", [("{App}", "D:\\Kesta")], [("{App}\\a.txt", b"A")], version=2)
        drv = self.start(exe)
        self.expect_message(*WRONG_VERSION, "1", "message")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(list(self.env.drive_d.iterdir()), [], "nothing written")

    def case_cancel_writes_nothing(self):
        """Enter and IDOK are ignored; Cancel ends the installer and nothing is written;
        the close box does the same."""
        exe = self.marker_package("cancel")
        before = self.host_tree(self.env.prefix / "drive_c" / "users")
        for how in ("cancel", "close box"):
            drv = self.start(exe)
            drv("wait install")
            check_equal(drv.value("focus"), "1001", "first focus")
            drv("key tab")
            drv("key tab")
            drv("wait focus 1006")  # the edit box, after two tabs
            drv("key enter")  # Enter in the edit box: IDOK, as there is no default button
            drv("command 1")
            # A tab after them: once it has moved the focus on, the dialog has handled
            # Enter and IDOK (its thread takes what is posted to it in order).
            drv("key tab")
            drv("wait focus 2")
            check_equal(drv.value("enabled 1001"), "1", "the install button after Enter and IDOK")
            drv("wait install")
            if how == "cancel":
                drv("click 2")
            else:
                drv("close")
            check_equal(self.wait_exit(), 0, "exit code")
            drv.close()
        check_equal(list(self.env.drive_d.iterdir()), [], "nothing on D:")
        after = self.host_tree(self.env.prefix / "drive_c" / "users")
        check_equal(sorted(set(after) - set(before)), [], "new files under C:\\users")

    CASES = ["templates", "demo_default", "typed_directory", "defaults_and_empty_edit",
             "backslashes_only", "browse", "old_version", "rename_fails", "locked_file_retry",
             "locked_file_cancel", "finish_unchecked", "finish_only_help", "finish_escape",
             "damaged_package", "version_2", "cancel_writes_nothing"]
    CASES += (TrustCases.CASES + ProgressCases.CASES + LoadingCases.CASES + ProductCases.CASES +
              PathCases.CASES + FitCases.CASES + FolderCases.CASES +
              NamesCases.CASES)
    SLOW_CASES = LoadingCases.SLOW_CASES  # run only when named with --case
    # What the 64-bit build does that the 32-bit one's run does not show: its own dialog
    # resources and those the maker writes into it, one whole installation, the DLLs its
    # loader finds beside it, its UI driver's reading and measuring of the dialogs, and
    # sizes past what 32-bit numbers hold. Run alone where the 32-bit suite ran.
    OWN_64BIT_CASES = ["templates", "demo_default", "product_resources", "planted_dlls", "fit_demo",
                       "large_install_progress"]

    def run(self, names):
        failed, self.skipped = [], []
        for name in names:
            self.case, self.shot_count, self.drv = name.replace("_", "-"), 0, None
            self.env.clear_drive_d()
            started = time.time()
            try:
                getattr(self, "case_" + name)()
                self.env.log(f"PASS {name} ({time.time() - started:.1f} s)")
            except CaseSkipped as e:
                self.skipped.append(name)
                self.env.log(f"SKIP {name}: {e}")
            except Exception as e:  # noqa: BLE001 - every failure is reported per case
                failed.append(name)
                self.env.log(f"FAIL {name}: {type(e).__name__}: {e}")
            finally:
                if self.drv is not None:
                    self.drv.close()
        return failed


def expand(template, values):
    """Variable expansion for the checks: every {Name} token replaced."""
    return re.sub(r"\{[^{}]*\}", lambda m: values[m.group(0)], template)


def folder_variables(source):
    """The folder variables and their CSIDLs, as the installer lists them (its
    src/base/shell_folders.h: the numbers named, then the table by name)."""
    text = (source / "src" / "base" / "shell_folders.h").read_text(encoding="utf-8")
    numbers = {name: int(value, 16) for name, value in re.findall(r"\b(kCsidl\w+) = 0x([0-9A-Fa-f]+),", text)}
    table = re.search(r"kFolderVariableList\[\] = \{(.*?)\n\};", text, re.S)
    pairs = re.findall(r'\{u"(\{\w+\})", (kCsidl\w+)\}', table.group(1) if table else "")
    if not pairs or any(c not in numbers for _, c in pairs):
        raise Failure("src/base/shell_folders.h: no table of folder variables to read")
    return [(name, numbers[c]) for name, c in pairs]


def pe_is_32bit(path):
    data = Path(path).read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 24:pe + 26], "little") == 0x10B


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--stub", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--marker", required=True)
    ap.add_argument("--planted-dll", help="the DLL that records being loaded (trust_cases.py)")
    ap.add_argument("--demo-manifest", help="the demo package's manifest as the build lays "
                    "it out (default: samples/demo/manifest.toml)")
    ap.add_argument("--maker-native")
    ap.add_argument("--maker-windows")
    ap.add_argument("--out")
    ap.add_argument("--prefix", help="the Wine prefix (default: build/wineprefix, shared by the builds)")
    ap.add_argument("--case", action="append")
    args = ap.parse_args()
    out = Path(args.out or Path(args.source_dir) / "build" / "e2e")
    out.mkdir(parents=True, exist_ok=True)
    unknown = set(args.case or []) - set(Suite.CASES) - set(Suite.SLOW_CASES)
    if unknown:
        ap.error(f"unknown case(s): {', '.join(sorted(unknown))}")

    def log(msg):
        print(msg, flush=True)

    # The checkout's one prefix (tests/wine/wine-run.sh), for the 32-bit and the 64-bit
    # builds' runs alike (made by 64-bit Wine, which runs both).
    prefix = Path(args.prefix) if args.prefix else Path(args.source_dir) / "build" / "wineprefix"
    is_32bit = pe_is_32bit(args.stub)
    env = Environment(out, prefix, WINE32 if is_32bit else WINE64, log)
    cases = args.case or Suite.CASES
    if not args.case and not is_32bit and os.environ.get("TV_WIN32_SUITE_RAN") == "yes":
        assert set(Suite.OWN_64BIT_CASES) <= set(Suite.CASES), "OWN_64BIT_CASES names a case that is gone"
        cases = Suite.OWN_64BIT_CASES
        log("the 32-bit build's suite ran (TV_WIN32_SUITE_RAN=yes): only the 64-bit build's own cases run")
    started = time.time()
    try:
        env.start()
        env.remove_from_prefix(["C:\\e2e", env.desktop() + "\\Talvenor测试.lnk"])
        maker = Maker(env, args.maker_native, args.maker_windows, args.stub, env.work)
        log(f"maker: {maker.kind}; stub: {args.stub}")
        suite = Suite(args, env, maker)
        failed = suite.run(cases)
    finally:
        env.stop()
    log(f"screenshots: {len(env.shots)} in {out}")
    skipped = f"; skipped: {', '.join(suite.skipped)}" if suite.skipped else ""
    log(f"{'FAILED: ' + ', '.join(failed) if failed else 'every case that ran passed'}{skipped} "
        f"({time.time() - started:.0f} s)")
    log(f"e2e: {len(cases) - len(failed) - len(suite.skipped)} passed, {len(failed)} failed, "
        f"{len(suite.skipped)} skipped")
    shutil.rmtree(env.work, ignore_errors=True)
    return exit_status(len(cases), len(failed), len(suite.skipped))


SKIPPED = 77  # ctest's SKIP_RETURN_CODE for the e2e test


def exit_status(ran, failed, skipped):
    """1 when a case failed; ctest's skip when no case passed because every one was
    skipped (a skipped case is never a pass); else 0."""
    if failed:
        return 1
    return SKIPPED if skipped and skipped == ran else 0


if __name__ == "__main__":
    sys.exit(main())

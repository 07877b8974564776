"""End-to-end cases of the check of the folder the user types, made by the install
button before anything is moved or written: folders Windows cannot use as typed, a
folder of the user's own, and the room on a small drive. Mixed into the suite of
run_e2e.py."""

import contextlib
import os
import subprocess
import time

from e2e_support import CaseSkipped, Failure, check, check_equal

WRITE_FAILED_CAPTION = "安装出错"
SPACE_CAPTION = "磁盘空间不足"
MIB = 1 << 20

REFUSED_CAPTION = "安装目录无效"
# Typed folder -> the text after the quoted folder.
REFUSED = [
    ("Kesta", "不是完整的安装目录。请输入完整的安装目录，例如 D:\\Kesta。"),
    ("C:\\", "是磁盘或共享的根目录。请在其中指定一个文件夹，例如 C:\\Kesta。"),
    ("Q:\\Kesta", "所在的磁盘 Q: 不存在。请选择已有磁盘上的文件夹。"),
    ("D:\\a|b", "含有 Windows 不允许的字符（< > \" | ? * / : 或控制字符）。请删去这些字符。"),
    ("D:\\NUL", "中的“NUL”不能用作 Windows 文件夹名（设备名、以点或空格结尾的名称、“.”和“..”）。"
                "请换一个名称。"),
    ("D:\\x\\\\Kesta", "中有连续的反斜杠。请删去多余的反斜杠。"),
]
OWN_FOLDER = "是系统或您自己的文件夹（或包含这样的文件夹），安装时会被整个移走。请另选一个新文件夹。"


class FolderCases:
    CASES = ["folder_refused", "space_short", "read_only_drive", "brief_lock"]

    def refuse(self, drv, typed, text, what):
        """Types a folder and presses install: the box, then the dialog as it was."""
        drv("type 1006 " + typed)
        drv("click 1001")
        self.expect_message(REFUSED_CAPTION, f"“{typed}”{text}", "1", what)
        drv("click 1")
        drv("wait install")
        check_equal(drv.value("text 1006"), typed, "the folder in the edit box")
        check_equal(drv.settled("enabled 1001", "1"), "1", "install button enabled again")

    def next_message(self, answered_caption, seconds=30):
        """The box after the one just answered, which may still be closing: the
        driver's wait can find it before it goes."""
        deadline = time.time() + seconds
        while time.time() < deadline:
            self.drv("wait message")
            try:
                got = self.drv.message()
                if got[0] != answered_caption:
                    return got
            except Failure:
                pass  # the answered box went between the wait and the question
            time.sleep(0.2)
        raise Failure(f"no box after {answered_caption!r} in {seconds} s")

    def case_folder_refused(self):
        """A relative folder, C:\\, a drive that does not exist, a bad character, a
        device name, two backslashes, the user's documents folder (by its name and by
        its 8.3 name) and the program files: each its box,
        nothing moved or written, the dialog open; D:\\Kesta then installs, moving the
        old installation aside."""
        d = self.env.drive_d
        (d / "Kesta").mkdir()
        (d / "Kesta" / "old.txt").write_bytes(b"old")
        exe = self.installer("refused", [("{App}", "D:\\Kesta")], [("{App}\\new.txt", b"new")])
        before = self.host_tree(d)
        drv = self.start(exe)
        drv("wait install")
        documents = drv.value("folder 5")
        docs_before = self.host_tree(self.env.host_path(documents))
        # The same folders by other names: the 8.3 name Windows gives the documents
        # folder, and the 64-bit program files.
        short_documents = drv.value("short " + documents)
        own = [(documents, OWN_FOLDER), (short_documents, OWN_FOLDER),
               ("C:\\Program Files", OWN_FOLDER)]
        for i, (typed, text) in enumerate(REFUSED + own):
            self.refuse(drv, typed, text, f"refused{i}")
            check_equal(self.host_tree(d), before, f"{typed}: nothing moved or written")
        check_equal(self.host_tree(self.env.host_path(documents)), docs_before, "documents kept")
        for typed in (documents, "C:\\Program Files"):
            moved = self.env.host_path(typed + "_旧版本1")
            check(not moved.exists(), f"{typed} not moved aside")
        drv("type 1006 D:\\Kesta")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d), {"Kesta/new.txt": b"new", "Kesta_旧版本1/old.txt": b"old"},
                    "installed into D:\\Kesta")

    def case_brief_lock(self):
        """A file the installer writes is held with no sharing when the install button
        is pressed and let go some 300 ms later, as a virus scanner does: no retry
        prompt, the file written."""
        d = self.env.drive_d
        (d / "Shared").mkdir()
        (d / "Shared" / "locked.dat").write_bytes(b"before")
        exe = self.installer("brief-lock", [("{App}", "D:\\Kesta")],
                             [("{App}\\a.txt", b"A"), ("D:\\Shared\\locked.dat", b"after")])
        drv = self.start(exe)
        drv("wait install")
        drv("lock D:\\Shared\\locked.dat")
        drv("click 1001")
        time.sleep(0.3)
        drv("unlock D:\\Shared\\locked.dat")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d), {"Kesta/a.txt": b"A", "Shared/locked.dat": b"after"},
                    "written once the lock was let go")

    @contextlib.contextmanager
    def small_drive_e(self, name, prepare=None):
        """A file system of 1 MiB mounted for the case as drive E: (prepare(mount) runs on
        it before it is mapped); unmapped and unmounted after, whatever the case did. A
        machine that cannot mount one skips the case, never passes it."""
        mount = self.env.out / name
        mount.mkdir(exist_ok=True)
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)],
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if r.returncode != 0:
            raise CaseSkipped("a small file system cannot be mounted here "
                              f"({r.stdout.decode(errors='replace').strip()})")
        try:
            if prepare is not None:
                prepare(mount)
            self.env.link_drive("e:", mount)
            yield mount
        finally:
            if self.drv is not None:
                self.drv.close()
                self.drv = None
            self.env.unlink_drive("e:")
            subprocess.run(["umount", str(mount)], check=False)

    def case_space_short(self):
        """Drive E: is a file system of 1 MiB; the package holds 1.5 MiB. The space box
        names both and the drive: No goes back to the dialog with nothing written; Yes
        installs as before, and the files step stops at the retry prompt for the file
        that does not fit; Cancel ends the installer, the file written before stays."""
        with self.small_drive_e("small-drive") as mount:
            self.space_short_on_e(mount)

    def case_read_only_drive(self):
        """Drive E: is a small file system remounted read-only, with an old version on
        it: typing the old version's folder, or a new one beside it, brings the box of
        a folder that cannot be written, the old version untouched; D:\\Kesta then
        installs."""
        def old_version_then_read_only(mount):
            (mount / "Kesta").mkdir()
            (mount / "Kesta" / "old.txt").write_bytes(b"old")
            subprocess.run(["mount", "-o", "remount,ro", str(mount)], check=True)

        with self.small_drive_e("read-only-drive", old_version_then_read_only) as mount:
            self.read_only_on_e(mount)

    def read_only_on_e(self, mount):
        d = self.env.drive_d
        exe = self.installer("read-only", [("{App}", "E:\\Kesta")], [("{App}\\new.txt", b"new")])
        drv = self.start(exe)
        drv("wait install")
        for i, typed in enumerate(["E:\\Kesta", "E:\\Fresh\\Kesta"]):
            drv("type 1006 " + typed)
            drv("click 1001")
            # Wine reports a read-only mount as access denied (Windows reports
            # write-protected media as such: the unit tests cover that text).
            self.expect_message(REFUSED_CAPTION, f"无法写入 {typed}：没有写入权限。\n"
                                "请选择其他文件夹，例如 D:\\Kesta，或以管理员身份运行安装程序。",
                                "1", f"read-only{i}")
            drv("click 1")
            drv("wait install")
            check_equal(drv.settled("enabled 1001", "1"), "1", "install button enabled again")
            check_equal(drv.value("text 1006"), typed, "the folder in the edit box")
            check_equal(self.host_tree(mount), {"Kesta/old.txt": b"old"}, "the old version untouched")
        drv("type 1006 D:\\Kesta")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d / "Kesta"), {"new.txt": b"new"}, "installed into D:\\Kesta")

    def space_short_on_e(self, mount):
        files = [("{App}\\a.txt", b"A\n"), ("{App}\\big.bin", os.urandom(3 * MIB // 2 - 2))]
        exe = self.installer("space", [("{App}", "E:\\Kesta")], files)
        drv = self.start(exe)
        drv("wait install")
        text = "安装需要 1.5 MB 磁盘空间，E: 上只有 1.0 MB 可用。是否仍要安装？"
        drv("click 1001")
        self.expect_message(SPACE_CAPTION, text, "6,7", "space-box")
        drv("click 7")
        drv("wait install")
        check_equal(drv.settled("enabled 1001", "1"), "1", "install button enabled after No")
        check_equal(sorted(p.name for p in mount.iterdir()), [], "nothing written after No")
        drv("click 1001")
        self.expect_message(SPACE_CAPTION, text, "6,7", "space-box-again")
        drv("click 6")
        caption, text, buttons = self.next_message(SPACE_CAPTION)
        self.shot("retry-prompt")
        check_equal((caption, buttons), (WRITE_FAILED_CAPTION, "4,2"), "the retry prompt")
        check(text.startswith("无法写入文件: E:\\Kesta\\big.bin\n"), f"the prompt names the file: {text!r}")
        drv("click 2")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal((mount / "Kesta" / "a.txt").read_bytes(), b"A\n", "the file before it stays")

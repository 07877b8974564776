"""End-to-end cases of the check of the package's paths that the install button makes
before anything is moved or written. Mixed into the suite of run_e2e.py."""

from e2e_support import check_equal

DAMAGED = ("安装失败", "安装文件已损坏!")  # as the unpacking shows it (run_e2e.py)
TOO_LONG_58 = "安装目录太长，安装后的文件路径会超过 259 个字符。请选择不超过 58 个字符的目录。"


def folder_of(units):
    return "D:\\" + "p" * (units - 3)


class PathCases:
    CASES = ["folder_too_long", "names_windows_cannot_hold"]

    def case_folder_too_long(self):
        """The deepest path below {App} holds 200 characters: typed folders of 60 and 59
        give the box naming 58, nothing moved or written, the folder kept in the edit
        box; 58 then installs every file."""
        d = self.env.drive_d
        files = [("{App}\\readme.txt", b"hi"), ("{App}\\" + "d" * 99 + "\\" + "e" * 100, b"deep")]
        exe = self.installer("room", [("{App}", "D:\\Kesta")], files)
        for units in (60, 59):  # old versions, which must stay where they are
            self.env.host_path(folder_of(units)).mkdir()
            (self.env.host_path(folder_of(units)) / "old.txt").write_bytes(b"old")
        before = self.host_tree(d)
        drv = self.start(exe)
        drv("wait install")
        for units in (60, 59):
            drv("type 1006 " + folder_of(units))
            drv("click 1001")
            self.expect_message("安装目录太长", TOO_LONG_58, "1", f"folder-{units}")
            drv("click 1")
            drv("wait install")
            check_equal(drv.value("text 1006"), folder_of(units), "the folder in the edit box")
            check_equal(drv.settled("enabled 1001", "1"), "1", "install button enabled again")
            check_equal(self.host_tree(d), before, f"nothing moved or written for {units}")
        drv("type 1006 " + folder_of(58))
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        installed = {"p" * 55 + "/" + dest[6:].replace("\\", "/"): data for dest, data in files}
        check_equal(self.host_tree(d), dict(before, **installed), "every file in the 58 folder")

    def case_names_windows_cannot_hold(self):
        """{App}\\sub\\NUL.txt, {App}\\aux or {App}\\notes. after a good file: the
        damaged-package box after the install button, nothing moved or written."""
        d = self.env.drive_d
        for i, bad in enumerate(("{App}\\sub\\NUL.txt", "{App}\\aux", "{App}\\notes.")):
            self.env.clear_drive_d()
            (d / "Kesta").mkdir()
            (d / "Kesta" / "old.txt").write_bytes(b"old")
            exe = self.installer(f"name{i}", [("{App}", "D:\\Kesta")],
                                 [("{App}\\a.txt", b"A"), (bad, b"X")])
            drv = self.start(exe)
            drv("wait install")
            drv("click 1001")
            self.expect_message(*DAMAGED, "1", f"name{i}")
            drv("click 1")
            check_equal(self.wait_exit(), 0, "exit code")
            drv.close()
            check_equal(self.host_tree(d), {"Kesta/old.txt": b"old"}, f"{bad}: nothing moved")

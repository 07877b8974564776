"""End-to-end cases of the product's names in the installer's own texts and folders:
an installer whose manifest gives [installer] product_name and folder_name asks to
close that product in the old-version box and the retry prompt, adds its folder when
browsing and installs to D:\\ and its folder from an empty folder box. An installer
without the keys keeps the installer's own texts: run_e2e's cases browse, rename_fails,
locked_file_retry and defaults_and_empty_edit check them byte for byte on installers
made with wrap. Mixed into run_e2e's Suite."""

from e2e_support import check_equal

NAMED = "晨光笔记 DawnNotes & 100%"  # & and % shown as they are
LONGEST = "晨" * 248 + "&&A%s%d%"     # the longest product_name the maker takes (256 units)


def held_text(product):
    return ("无法安装", f"重命名旧版本失败！请先关闭{product}。")


def prompt_text(path, product):
    return ("安装出错", f"无法写入文件: {path}\n请先关闭{product}！")


class NamesCases:
    CASES = ["product_names", "longest_product_name"]

    def names_manifest(self, name, installer_table):
        folder = self.env.work / name
        folder.mkdir()
        (folder / "a.txt").write_bytes(b"A")
        text = ("[installer]\n" + "".join(f"{k} = '{v}'\n" for k, v in installer_table.items()) +
                "\n[[variable]]\nname = \"{App}\"\nvalue = 'C:\\晨光'\n\n"
                "[[file]]\nsource = \"a.txt\"\ndestination = '{App}\\a.txt'\n\n"
                "[[file]]\nsource = \"a.txt\"\ndestination = 'D:\\Shared\\locked.dat'\n")
        (folder / "manifest.toml").write_text(text, encoding="utf-8")
        return self.maker.build(folder / "manifest.toml", name)

    def case_product_names(self):
        """Browsing to D:\\ gives D:\\DawnNotes, the folder boxes' examples name it; the held
        old installation there, and then
        a held file, bring up boxes that ask to close the product; an emptied folder box
        installs to D:\\DawnNotes, its old installation moved aside."""
        d = self.env.drive_d
        (d / "DawnNotes").mkdir()
        (d / "DawnNotes" / "old.txt").write_bytes(b"old")
        (d / "Shared").mkdir()
        (d / "Shared" / "locked.dat").write_bytes(b"before")
        exe = self.names_manifest("names", {"product_name": NAMED, "folder_name": "DawnNotes"})
        drv = self.start(exe)
        drv("lock D:\\DawnNotes")
        drv("lock D:\\Shared\\locked.dat")
        drv("wait install")
        check_equal(drv.value("text 1006"), "C:\\晨光", "the package's folder")
        self.browse_to_drive_d()
        check_equal(drv.value("text 1006"), "D:\\DawnNotes", "edit box after the drive D:\\")
        # The folder boxes' examples name the product's folder, on the drive typed.
        self.refuse(drv, "C:\\", "是磁盘或共享的根目录。请在其中指定一个文件夹，例如 C:\\DawnNotes。", "root")
        self.refuse(drv, "Notes", "不是完整的安装目录。请输入完整的安装目录，例如 D:\\DawnNotes。", "not-full")
        drv("type 1006 \\\\")  # backslashes only: the default folder
        drv("click 1001")
        self.expect_message(*held_text(NAMED), "1", "old-version")
        drv("click 1")
        drv("wait install")
        check_equal(sorted(p.name for p in d.iterdir()), ["DawnNotes", "Shared"], "nothing moved")
        drv("unlock D:\\DawnNotes")
        drv("click 1001")
        self.expect_message(*prompt_text("D:\\Shared\\locked.dat", NAMED), "4,2", "prompt")
        drv("unlock D:\\Shared\\locked.dat")
        drv("click 4")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(d), {"DawnNotes/a.txt": b"A", "DawnNotes_旧版本1/old.txt": b"old",
                                        "Shared/locked.dat": b"A"}, "installed to D:\\DawnNotes")

    def case_longest_product_name(self):
        """The longest product name, without a folder name: the retry prompt holds it
        whole; browsing adds the installer's own \\KESTA; the folder boxes' examples take
        the default folder's last name."""
        (self.env.drive_d / "Shared").mkdir()
        (self.env.drive_d / "Shared" / "locked.dat").write_bytes(b"before")
        exe = self.names_manifest("longest", {"product_name": LONGEST, "description": "最长的名字"})
        drv = self.start(exe)
        drv("lock D:\\Shared\\locked.dat")
        drv("wait install")
        self.browse_to_drive_d()
        check_equal(drv.value("text 1006"), "D:\\KESTA", "edit box after the drive D:\\")
        # No folder name: the examples take the last name of the default folder, C:\晨光.
        self.refuse(drv, "E:\\", "是磁盘或共享的根目录。请在其中指定一个文件夹，例如 E:\\晨光。", "root")
        drv("type 1006 D:\\KESTA")
        drv("click 1001")
        self.expect_message(*prompt_text("D:\\Shared\\locked.dat", LONGEST), "4,2", "prompt")
        drv("click 2")
        check_equal(self.wait_exit(), 0, "exit code")
        check_equal(self.host_tree(self.env.drive_d),
                    {"KESTA/a.txt": b"A", "Shared/locked.dat": b"before"}, "files kept")

"""End-to-end case of an installer made the product's own by the manifest's
[installer] table: Windows' own calls read its version information and icon, and its
dialogs carry the icon; an installer without the table keeps the stub's and has no
icon. Mixed into run_e2e's Suite.

A dialog's icons are read from its X window: Wine cannot send WM_GETICON to another
process (its message packing does not carry it), so the driver cannot ask. Wine's X11
driver publishes the window's big and small icons (WM_SETICON) as _NET_WM_ICON, width,
height and ARGB pixels of each; a window without one gets Wine's 32x32 stand-in only."""

import struct
import subprocess
import zlib

from e2e_support import check, check_equal, unescape

INSTALLER_TABLE = {
    "product_name": "塔文诺 Talvenor 测试",
    "product_version": "2.3.1",
    "file_version": "2.3.1.7",
    "company": "Kesta 软件有限公司",
    "copyright": "© 2026 Kesta",
    "description": "塔文诺测试 安装程序",
}


def pixel(x, y, side):
    """The product icon's pixel (red, green, blue, alpha) at x, y from the top left:
    an orange square with a dark bar, transparent round the corners."""
    corner = min(x, side - 1 - x) + min(y, side - 1 - y) < side // 8
    bar = side // 3 <= x < side * 2 // 3 and y >= side // 5
    return (0, 0, 0, 0) if corner else (40, 40, 120, 255) if bar else (250, 140, 20, 255)


def net_wm_icon(side):
    """The icon's 32-bit image of that size as _NET_WM_ICON holds it."""
    return [side, side] + [a << 24 | r << 16 | g << 8 | b for y in range(side)
                           for r, g, b, a in (pixel(x, y, side) for x in range(side))]


def icon_file():
    """An icon of 16 and 32 pixel bitmaps and a 256 pixel PNG, all drawn by pixel()."""
    def dib32(side):
        rows = b"".join(b"".join(bytes((b, g, r, a)) for r, g, b, a in
                                 (pixel(x, y, side) for x in range(side)))
                        for y in reversed(range(side)))
        header = struct.pack("<IiiHHIIiiII", 40, side, side * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        return header + rows + bytes((side + 31) // 32 * 4 * side)

    def png(side):
        raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y, side)) for x in range(side))
                       for y in range(side))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data)))
        return (b"\x89PNG\r\n\x1a\n"
                + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

    images = [(16, 32, dib32(16)), (32, 32, dib32(32)), (256, 32, png(256))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset, body = 6 + 16 * len(images), b""
    for side, bits, data in images:
        out += struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 1, bits, len(data), offset)
        offset, body = offset + len(data), body + data
    return out + body


class ProductCases:
    CASES = ["product_resources"]

    def product_manifest(self, name, with_table):
        folder = self.env.work / name
        folder.mkdir()
        (folder / "说明.txt").write_text("塔文诺", encoding="utf-8")
        text = "format_version = 1\n\n"
        if with_table:
            (folder / "product.ico").write_bytes(icon_file())
            text += '[installer]\nicon = "product.ico"\n'
            text += "".join(f'{k} = "{v}"\n' for k, v in INSTALLER_TABLE.items()) + "\n"
        text += ("[[variable]]\nname = \"{App}\"\nvalue = 'D:\\Kesta'\n\n"
                 "[[file]]\nsource = \"说明.txt\"\ndestination = '{App}\\说明.txt'\n")
        (folder / "manifest.toml").write_text(text, encoding="utf-8")
        return self.maker.build(folder / "manifest.toml", name)

    def read_product(self, exe):
        """Windows' reading of the file: version strings and fixed versions, icons."""
        drv = self.drv
        version = {}
        for line in drv("version " + self.env.windows_path(exe)):
            key, _, value = line.removeprefix("version ").partition("=")
            version[key] = unescape(value)
        return version, drv.value("icons " + self.env.windows_path(exe))

    def dialog_icons(self, caption):
        """The icons of the installer's window with this caption, from _NET_WM_ICON:
        (width, height, pixels) each."""
        run = dict(capture_output=True, text=True, timeout=30, check=True)
        tree = subprocess.run(["xwininfo", "-display", self.env.display, "-root", "-tree"], **run)
        (window,) = [line.split()[0] for line in tree.stdout.splitlines()
                     if f' "{caption}": ' in line]
        prop = subprocess.run(["xprop", "-display", self.env.display, "-id", window, "-notype",
                               "32c", "_NET_WM_ICON"], **run).stdout
        values = [int(v) for v in prop.partition("=")[2].split(",")]
        icons = []
        while values:
            width, height = values[:2]
            icons.append(values[:2 + width * height])
            values = values[2 + width * height:]
        return icons

    def check_dialog_icons(self, caption, with_icon, what):
        icons = self.dialog_icons(caption)
        if with_icon:
            check_equal([icon[:2] for icon in icons], [[32, 32], [16, 16]], f"icon sizes ({what})")
            check(icons == [net_wm_icon(32), net_wm_icon(16)], f"the product's icon ({what})")
        else:
            check_equal([icon[:2] for icon in icons], [[32, 32]], f"Wine's stand-in only ({what})")
            check(icons[0] != net_wm_icon(32), f"not the product's icon ({what})")

    def install_showing(self, exe, with_icon, what):
        """Installs with both dialogs' icons as expected; the file is in place."""
        drv = self.start(exe)
        found = self.read_product(exe)
        drv("wait install")
        self.shot(f"install-{what}")
        self.check_dialog_icons("安装", with_icon, f"install dialog {what}")
        drv("click 1001")
        drv("wait finish")
        self.shot(f"finish-{what}")
        self.check_dialog_icons("安装完成", with_icon, f"finish dialog {what}")
        drv("click 1")
        check_equal(self.wait_exit(), 0, f"exit code ({what})")
        drv.close()
        self.drv = None
        check_equal((self.env.drive_d / "Kesta" / "说明.txt").read_text(encoding="utf-8"),
                    "塔文诺", f"installed file ({what})")
        self.env.clear_drive_d()
        return found

    def case_product_resources(self):
        """[installer] gives the output the product's version information and icon, as
        GetFileVersionInfoW, VerQueryValueW and ExtractIconExW read them, and both
        dialogs carry it, big and small; without the table, the stub's values and no
        icon anywhere, and the install works the same."""
        t = INSTALLER_TABLE
        version, icons = self.install_showing(self.product_manifest("product", True),
                                              True, "with icon")
        check_equal(version, {
            "fixed file": "2.3.1.7 product=2.3.1.0",
            "ProductName": t["product_name"], "ProductVersion": t["product_version"],
            "FileVersion": t["file_version"], "CompanyName": t["company"],
            "LegalCopyright": t["copyright"], "FileDescription": t["description"],
            "OriginalFilename": "product.exe"}, "version information with [installer]")
        check_equal(icons, "count=1 big=32x32 small=16x16", "icons with [installer]")

        version, icons = self.install_showing(self.product_manifest("plain", False),
                                              False, "without icon")
        check_equal(version.get("ProductName"), "Talvenor", "product name without [installer]")
        check_equal(version.get("FileDescription"), "Talvenor 安装程序",
                    "description without [installer]")
        check("CompanyName" not in version, f"no company without [installer]: {version}")
        check_equal(icons, "count=0 big=0x0 small=0x0", "icons without [installer]")

"""End-to-end cases of the installer as a trusted Windows program: DLLs planted
beside it are never loaded, and its dialogs at 144 DPI. Mixed into run_e2e's Suite."""

import hashlib
import shutil

from e2e_support import check, check_equal

# System DLLs that are not known DLLs, so that a copy beside a program would be
# found before the system's: the installer preloads them from the system folder
# (src/platform/win32/dll_search.cpp) or, for comctl32, loads Common Controls 6 by
# name. version.dll is left out: Wine's user32 imports it, so Wine loads it before
# any of the installer's code runs (Windows' user32 does not), and a planted copy
# would be loaded here whatever the installer did.
PLANTED = ["uxtheme", "msimg32", "dwmapi", "oleacc", "propsys", "userenv", "profapi",
           "cryptbase", "ntmarta", "sspicli", "wintypes", "textshaping", "winsta", "cscapi",
           "linkinfo", "ntshrui", "srvcli", "edputil", "iertutil", "apphelp", "comctl32"]
DESKTOP_KEY = r"HKCU\Control Panel\Desktop"


class TrustCases:
    CASES = ["planted_dlls", "dpi_144"]

    def with_overrides(self, overrides):
        """Wine's DLL overrides for everything started from now on (the driver passes
        its environment to the installer); None restores the suite's own."""
        env = self.env
        if "env" in env.__dict__:
            del env.env
        if overrides:
            base = env.env

            def with_more():
                e = base()
                e["WINEDLLOVERRIDES"] += ";" + overrides
                return e
            env.env = with_more

    def whole_flow(self, exe):
        """Browse and cancel, install, shortcut, start the program and open the help:
        what it left (files, shortcut, programs started)."""
        drv = self.start(exe)
        drv("wait install")
        drv("click 1007")
        drv("wait browse")
        drv("click 2")
        drv("wait install")
        check_equal(drv.value("text 1006"), "D:\\Kesta", "edit box after cancelling the browser")
        drv("click 1001")
        drv("wait finish")
        drv("click 1")
        check_equal(self.wait_exit(), 0, "exit code")
        started = sorted(r[0] for r in self.wait_markers("D:\\Kesta", 2))
        link = drv(f"shortcut {self.env.desktop()}\\Talvenor测试.lnk")
        drv.close()
        self.drv = None
        files = {name: hashlib.sha256(data).hexdigest()
                 for name, data in self.host_tree(self.env.drive_d / "Kesta").items()
                 if not name.endswith("markers.log")}  # the programs' own: start times
        return files, link, started

    def case_planted_dlls(self):
        """Copies of a DLL of ours beside the installer under system DLLs' names, which
        Wine is told to prefer (n,b): none is loaded during the whole flow, and the
        install is the same as without them."""
        check(self.args.planted_dll, "no --planted-dll given")
        exe = self.marker_package("planted")
        plain = self.whole_flow(exe)
        check_equal(plain[2], ["help.exe", "launch.exe"], "programs started")
        self.env.clear_drive_d()
        self.env.remove_from_prefix([self.env.desktop() + "\\Talvenor测试.lnk"])

        folder = self.env.work / "downloads"
        folder.mkdir()
        planted_exe = folder / "talvenor-setup.exe"
        shutil.copyfile(exe, planted_exe)
        for name in PLANTED:
            shutil.copyfile(self.args.planted_dll, folder / f"{name}.dll")
        self.with_overrides(",".join(PLANTED) + "=n,b")
        try:
            planted = self.whole_flow(planted_exe)
        finally:
            # A planted DLL that was loaded is the fault to report, even when the
            # installer then failed (it usually crashes).
            self.with_overrides(None)
            log = folder / "planted.log"
            loaded = log.read_text(encoding="utf-8").splitlines() if log.exists() else []
            check_equal(loaded, [], "planted DLLs loaded")
        check_equal(planted, plain, "files, shortcut and programs started, against a plain run")

    def logpixels(self, value):
        """Sets the prefix's LogPixels (None deletes it); returns the value it had."""
        r = self.env.run_wine(["reg", "query", DESKTOP_KEY, "/v", "LogPixels"], check_rc=False)
        old = None
        for line in r.stdout.decode(errors="replace").splitlines():
            if "LogPixels" in line:
                old = int(line.split()[-1], 0)
        if value is None:
            self.env.run_wine(["reg", "delete", DESKTOP_KEY, "/v", "LogPixels", "/f"],
                              check_rc=False)
        else:
            self.env.run_wine(["reg", "add", DESKTOP_KEY, "/v", "LogPixels", "/t", "REG_DWORD",
                               "/d", str(value), "/f"])
        return old

    def case_dpi_144(self):
        """Both dialogs at 144 DPI: the font and every control grow by half again and
        keep their places in dialog units (screenshots to look at)."""
        from run_e2e import FINISH_DIALOG, INSTALL_DIALOG, check_running_layout, parse_layout
        exe = self.marker_package("dpi")
        drv = self.start(exe)
        drv("wait install")
        base_96 = parse_layout(drv("layout"))["base"]
        drv("click 2")
        self.wait_exit()
        drv.close()
        old = self.logpixels(144)
        try:
            drv = self.start(exe)
            drv("wait install")
            layout = parse_layout(drv("layout"))
            check(layout["base"][1] * 4 >= base_96[1] * 5,
                  f"base units {layout['base']} at 144 DPI against {base_96} at 96")
            check_running_layout(layout, INSTALL_DIALOG, {})
            self.shot("install")
            drv("click 1001")
            drv("wait finish")
            check_running_layout(parse_layout(drv("layout")), FINISH_DIALOG, {})
            self.shot("finish")
            drv("key escape")
            check_equal(self.wait_exit(), 0, "exit code")
        finally:
            self.logpixels(old)

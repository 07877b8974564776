#!/usr/bin/env python3
"""Runs the demo installer under Wine. With a display: the real dialogs, for a
person. Without one: in a virtual display, driven through the install and finish
dialogs by the UI driver, with screenshots. Then prints the installed tree.

  run_demo.py --installer DEMO.exe --prefix WINEPREFIX --out DIR [--driver DRIVER.exe]
"""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_support import WINE32, WINE64, Driver, Environment  # noqa: E402


def print_tree(root, log):
    root = Path(root)
    if not root.exists():
        log(f"  (nothing at {root})")
        return
    for p in sorted(root.rglob("*")):
        rel = p.relative_to(root)
        size = f"  {p.stat().st_size} bytes" if p.is_file() else "\\"
        log(f"  {'    ' * (len(rel.parts) - 1)}{rel.name}{size}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--installer", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--driver")
    ap.add_argument("--headless", action="store_true", help="even when DISPLAY is set")
    args = ap.parse_args()
    data = Path(args.installer).read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    wine = WINE32 if int.from_bytes(data[pe + 24:pe + 26], "little") == 0x10B else WINE64

    def log(msg):
        print(msg, flush=True)

    display = None if args.headless else os.environ.get("DISPLAY")
    env = Environment(args.out, args.prefix, wine, log)
    try:
        env.start(display=display)
        exe = env.windows_path(args.installer)
        if display:
            log(f"demo: the installer is open on {display}; install, then finish")
            subprocess.run([wine, exe], env=env.env())
            folder = None
        else:
            drv = Driver(env, args.driver)
            try:
                drv("start " + exe)
                drv("wait install")
                folder = drv.value("text 1006") or "D:\\Kesta"
                log(f"demo: install dialog \"{drv.value('caption')}\": "
                    f"{drv.value('text 1002')} -> {folder}")
                env.screenshot("demo-1-install")
                drv("click 1001")
                drv("wait finish")
                log(f"demo: finish dialog: {drv.value('text 1002')}")
                env.screenshot("demo-2-finish")
                drv("click 1")
                drv("wait exit 30")
                time.sleep(3)
                env.screenshot("demo-3-program-started")
            finally:
                drv.close()
        log("installed (drive D: of the demo prefix):")
        print_tree(env.drive_d, log)
        if folder and not folder.upper().startswith("D:"):
            log(f"and {folder}:")
            print_tree(env.host_path(folder), log)
        if env.shots:
            log("screenshots:")
            for shot in env.shots:
                log(f"  {shot}")
    finally:
        env.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())

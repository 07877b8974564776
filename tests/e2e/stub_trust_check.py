#!/usr/bin/env python3
"""The built installer stub as Windows trusts it, read from the file: an import table
of known DLLs only (objdump), the header flags, the manifest and the version
information. With MAKER (skipped when it is not built), the imports and header flags
of an installer made from the stub too: the large-address flag, which a package of
more than 2 GiB of image and script needs on 64-bit Windows, must survive the maker.

  stub_trust_check.py OBJDUMP STUB VERSION [MAKER]
"""

import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pe_resources  # noqa: E402

# DLLs that Windows loads only from the system folder (known DLLs).
KNOWN_DLLS = {"kernel32", "user32", "gdi32", "shell32", "ole32", "oleaut32", "msvcrt",
              "advapi32", "shlwapi", "comdlg32", "imm32"}
LARGE_ADDRESS_AWARE = 0x0020
DYNAMIC_BASE, NX_COMPAT, TERMINAL_SERVER_AWARE = 0x0040, 0x0100, 0x8000
SUPPORTED_OS = {  # Vista, 7, 8, 8.1, 10 and 11
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def check_imports_and_flags(objdump, stub):
    text = subprocess.run([objdump, "-p", stub], check=True, capture_output=True,
                          text=True).stdout
    dlls = {re.sub(r"\.dll$", "", d.lower()) for d in re.findall(r"DLL Name: (\S+)", text)}
    check(dlls and dlls <= KNOWN_DLLS, f"imports only known DLLs: {sorted(dlls)}")
    chars = int(re.search(r"^Characteristics\s+0x([0-9a-f]+)", text, re.M)[1], 16)
    dll_chars = int(re.search(r"^DllCharacteristics\s+([0-9a-f]+)", text, re.M)[1], 16)
    check(chars & LARGE_ADDRESS_AWARE, f"large-address aware (Characteristics {chars:#x})")
    want = DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE
    check(dll_chars & want == want,
          f"dynamic base, NX compatible, terminal-server aware ({dll_chars:#x})")


def one_resource(res, rtype, what):
    entries = res.get((rtype, 1), [])
    check(len(entries) == 1, f"one {what} resource")
    return entries[0][1] if len(entries) == 1 else None


def check_manifest(res):
    data = one_resource(res, pe_resources.RT_MANIFEST, "manifest")
    if data is None:
        return
    root = ET.fromstring(data)
    by_tag = {}
    for e in root.iter():
        by_tag.setdefault(e.tag.split("}")[-1], []).append(e)
    levels = [e.get("level") for e in by_tag.get("requestedExecutionLevel", [])]
    check(levels == ["asInvoker"], f"execution level {levels}")
    controls = [(e.get("name"), e.get("version")) for e in by_tag.get("assemblyIdentity", [])]
    check(controls == [("Microsoft.Windows.Common-Controls", "6.0.0.0")],
          f"depends on Common Controls 6 ({controls})")
    check([e.text for e in by_tag.get("dpiAware", [])] == ["true/pm"], "dpiAware true/pm")
    check([e.text for e in by_tag.get("dpiAwareness", [])] == ["PerMonitorV2, PerMonitor"],
          "dpiAwareness PerMonitorV2, PerMonitor")
    ids = {e.get("Id").lower() for e in by_tag.get("supportedOS", [])}
    check(ids == SUPPORTED_OS, f"supported Windows versions ({len(ids)} of {len(SUPPORTED_OS)})")


def check_version(res, version):
    data = one_resource(res, pe_resources.RT_VERSION, "version")
    if data is None:
        return
    fixed_file, fixed_product, strings, translations = pe_resources.parse_version_info(data)
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    check(fixed_file == numbers and fixed_product == numbers,
          f"fixed file and product versions {fixed_file} {fixed_product}")
    check(list(strings) == ["080404B0"] and translations == [(0x0804, 1200)],
          f"one string block, Chinese (Simplified), UTF-16: {list(strings)} {translations}")
    want = {"FileDescription": "Talvenor 安装程序", "ProductName": "Talvenor",
            "FileVersion": version, "ProductVersion": version,
            "OriginalFilename": "talvenor-setup.exe"}
    got = strings.get("080404B0", {})
    check(got == want, f"version strings {got}")


SKIPPED = 77  # ctest's SKIP_RETURN_CODE for this test


def main():
    objdump, stub, version = sys.argv[1:4]
    check_imports_and_flags(objdump, stub)
    res = pe_resources.resources(stub)
    check_manifest(res)
    check_version(res, version)
    maker = sys.argv[4] if len(sys.argv) > 4 else None
    if maker is not None and not Path(maker).is_file():
        # Not "all passed": the installer the maker makes was not looked at.
        print(f"{len(failures)} failed" if failures else "the stub passed")
        print(f"SKIPPED: no maker at {maker} (build the native preset), so no installer made from the stub "
              "was checked")
        return 1 if failures else SKIPPED
    if maker is not None:
        with tempfile.TemporaryDirectory() as work:
            script, setup = Path(work) / "script.bin", Path(work) / "setup.exe"
            script.write_bytes(b"\1\0\0\0" + bytes(10))
            subprocess.run([sys.argv[4], "wrap", "--script", str(script), "-o", str(setup),
                            "--stub", stub, "-q"], check=True)
            print(f"an installer made from it by {sys.argv[4]}:")
            check_imports_and_flags(objdump, str(setup))
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The large-address flag of the installer stub, and of an installer made from it, as
Debian's python3-pefile reads their PE headers: without it a 32-bit installer has 2 GiB
of address space on 64-bit Windows instead of 4 GiB, and a large package no longer fits.

  /usr/bin/python3 large_address_check.py STUB [MAKER WORK]

With MAKER (the native maker; skipped when it is not built) an installer is made from
the stub in WORK and checked too: the maker must keep the stub's header flags."""

import subprocess
import sys
from pathlib import Path

import pefile


def large_address_aware(path):
    pe = pefile.PE(str(path), fast_load=True)
    flag = pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_LARGE_ADDRESS_AWARE"]
    return bool(pe.FILE_HEADER.Characteristics & flag), pe.FILE_HEADER.Characteristics


def main():
    stub = Path(sys.argv[1])
    files = [stub]
    if len(sys.argv) > 3 and Path(sys.argv[2]).is_file():
        work = Path(sys.argv[3])
        work.mkdir(parents=True, exist_ok=True)
        (work / "script.bin").write_bytes(b"\1\0\0\0" + b"\0" * 10)
        setup = work / "setup.exe"
        subprocess.run([sys.argv[2], "wrap", "--script", str(work / "script.bin"), "-o", str(setup),
                        "--stub", str(stub), "-q"], check=True)
        files.append(setup)
    failed = 0
    for f in files:
        ok, chars = large_address_aware(f)
        print(f"{'ok  ' if ok else 'FAIL'} {f}: Characteristics {chars:#06x}")
        failed += not ok
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

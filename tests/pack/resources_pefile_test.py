"""A built installer's resources as an independent reader (Debian's python3-pefile) sees
them, its checksum and package section; the same build twice gives the same bytes, it
signs and verifies, and a bad icon leaves nothing behind.
usage: /usr/bin/python3 resources_pefile_test.py MAKER STUB ICON WORK"""

import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 14, 24
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    failures.extend([] if ok else [what])


def icon_images(icon):
    """(width, height, bit count, bytes) of each image of an icon file."""
    count = struct.unpack_from("<H", icon, 4)[0]
    out = []
    for i in range(count):
        w, h, _, _, _, bits, size, at = struct.unpack_from("<BBBBHHII", icon, 6 + 16 * i)
        out.append((w or 256, h or 256, bits, icon[at:at + size]))
    return out


def read(path):
    """The first language of each resource by (type, id), the version strings, the
    translation and the binary file and product versions."""
    pe = pefile.PE(str(path))
    res = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            entry = n.directory.entries[0].data.struct
            res[(t.id, n.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    strings = {t.LangID.decode(): {k.decode(): v.decode() for k, v in t.entries.items()}
               for info in pe.FileInfo[0] if info.Key == b"StringFileInfo" for t in info.StringTable}
    translation = [info.Var[0].entry for info in pe.FileInfo[0] if info.Key == b"VarFileInfo"]
    f = pe.VS_FIXEDFILEINFO[0]
    versions = [(ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF) for ms, ls in
                ((f.FileVersionMS, f.FileVersionLS), (f.ProductVersionMS, f.ProductVersionLS))]
    return pe, res, strings, translation, versions


def main():
    maker, stub, icon, work = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3]), Path(sys.argv[4])
    images = icon_images(icon.read_bytes())
    shutil.rmtree(work, ignore_errors=True)
    (work / "files").mkdir(parents=True)
    (work / "files" / "a.txt").write_text("a\n")
    shutil.copy(icon, work / "app.ico")
    (work / "app.png.ico").write_bytes(images[0][3])  # an image alone is no icon file
    body = ("[[variable]]\nname = \"{App}\"\nvalue = 'C:\\Kesta'\n"
            "[[file]]\nsource = \"files/a.txt\"\ndestination = '{App}\\a.txt'\n")
    table = ('[installer]\nicon = "app.ico"\nproduct_name = "Kesta 工具"\nproduct_version = "2.3.1"\n'
             'company = "Kesta Ltd"\ncopyright = "© 2026 Kesta Ltd"\n')
    bad = table.replace("app.ico", "app.png.ico")
    for name, text in (("m.toml", table + body), ("plain.toml", body), ("bad.toml", bad + body)):
        (work / name).write_text(text, encoding="utf-8")

    def build(manifest, out):
        out.parent.mkdir(exist_ok=True)
        return subprocess.run([maker, "build", str(work / manifest), "--stub", str(stub), "-o", str(out)],
                              capture_output=True, text=True)

    out, again = work / "1" / "kesta-2.3.1-setup.exe", work / "2" / "kesta-2.3.1-setup.exe"
    plain = work / "3" / "我的 setup.exe"
    for manifest, path in (("m.toml", out), ("m.toml", again), ("plain.toml", plain)):
        r = build(manifest, path)
        check(r.returncode == 0, f"builds {path}: {r.stderr.strip()}")
    check(out.read_bytes() == again.read_bytes(), "the same inputs give the same bytes")

    _, stub_res, stub_strings, stub_translation, stub_versions = read(stub)
    pe, res, strings, translation, versions = read(out)
    for key in sorted(k for k in stub_res if k[0] in (RT_DIALOG, RT_MANIFEST)):
        check(res.get(key) == stub_res[key], f"the stub's resource {key} byte for byte")
        check(out.read_bytes().count(stub_res[key]) == 1, f"no second copy of resource {key}")
    check([s.Name.rstrip(b"\0") for s in pe.sections].count(b".rsrc") == 1, "one resource section")

    groups = [k[1] for k in res if k[0] == RT_GROUP_ICON]
    group = res[(RT_GROUP_ICON, groups[0])] if len(groups) == 1 else b""
    check(group[:6] == struct.pack("<HHH", 0, 1, len(images)),
          f"one icon group of {len(images)} images ({groups})")
    for i, (w, h, bits, image) in enumerate(images):
        entry = group.ljust(6 + 14 * len(images), b"\0")
        gw, gh, _, _, _, gbits, size, ident = struct.unpack_from("<BBBBHHIH", entry, 6 + 14 * i)
        check((gw or 256, gh or 256, gbits, size) == (w, h, bits, len(image)) and
              res.get((RT_ICON, ident)) == image, f"image {i}: {w}x{h} {bits}-bit as in the icon file")

    want = {"FileDescription": "Kesta 工具 安装程序", "FileVersion": "2.3.1", "ProductVersion": "2.3.1",
            "ProductName": "Kesta 工具", "CompanyName": "Kesta Ltd", "LegalCopyright": "© 2026 Kesta Ltd",
            "OriginalFilename": out.name}
    check(strings == {"080404B0": want} and translation == stub_translation, f"the version strings {strings}")
    check(versions == [(2, 3, 1, 0)] * 2, f"binary versions {versions}")
    _, _, plain_strings, _, plain_versions = read(plain)
    stub_strings["080404B0"]["OriginalFilename"] = plain.name
    check(plain_strings == stub_strings and plain_versions == stub_versions,
          f"without [installer]: the stub's version, OriginalFilename the output's ({plain_strings})")

    for path in (out, plain):
        p = pefile.PE(str(path))
        package = [s.PointerToRawData for s in p.sections if s.Name.rstrip(b"\0") == b".tvpkg"]
        check(p.OPTIONAL_HEADER.CheckSum == p.generate_checksum() and len(package) == 1 and
              package[0] % 4096 == 0, f"{path.name}: the checksum, the package page-aligned")

    listing = subprocess.run([maker, "inspect", str(out)], capture_output=True, text=True).stdout
    lines = [f"icon: group 1, {len(images)} images", "version: file 2.3.1.0, product 2.3.1.0",
             '  080404B0 CompanyName = "Kesta Ltd"']
    lines += [f"  {w}x{h}, {bits}-bit, " + ("PNG" if data.startswith(b"\x89PNG") else "bitmap")
              for w, h, bits, data in images]
    listed = all(line in listing.splitlines() for line in lines)
    check(listed, "inspect lists the icon and version" + ("" if listed else ":\n" + listing))

    r = build("bad.toml", work / "bad.exe")
    lines = r.stderr.strip().splitlines()
    check(r.returncode != 0 and len(lines) == 1 and "bad.toml:2:" in lines[0] and "app.png.ico" in lines[0] and
          not any(p.name.startswith("bad.exe") for p in work.iterdir()),
          f"a PNG as the icon: one line, nothing written ({lines})")

    key, cert, signed = work / "key.pem", work / "cert.pem", work / "signed.exe"
    run = lambda *args: subprocess.run(args, capture_output=True, text=True)
    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out", str(cert),
        "-days", "2", "-subj", "/CN=Kesta test signer")
    sign = run("osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in", str(out), "-out", str(signed))
    verify = run("osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed))
    check(sign.returncode == 0 and verify.returncode == 0,
          "signed, it verifies " + (sign.stderr + verify.stderr).strip())

    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

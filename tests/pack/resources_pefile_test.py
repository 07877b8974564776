"""The product's resources in a built installer as an independent reader (Debian's
python3-pefile) sees them: the icon group and its images, the version strings and
numbers, the stub's dialogs and manifest, one resource section, the checksum and the
page-aligned package; the same build twice gives the same bytes, a signed installer
verifies, and a bad icon leaves nothing behind.

usage: /usr/bin/python3 resources_pefile_test.py MAKER STUB WORK"""

import shutil
import struct
import subprocess
import sys
import zlib
from pathlib import Path

import pefile

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def png(side):
    rows = b"".join(b"\0" + bytes((x * 7 + y * 3) & 0xFF for x in range(4 * side)) for y in range(side))
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def dib(side, bits):
    head = struct.pack("<IiiHHIIiiII", 40, side, 2 * side, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = bytes(4 << bits) if bits <= 8 else b""
    pixels = bytes(i % 251 for i in range((side * bits + 31) // 32 * 4 * side))
    return head + palette + pixels + bytes((side + 31) // 32 * 4 * side)


# (width, height, bit count, image): a 256-pixel PNG and two bitmaps.
IMAGES = [(256, 256, 32, png(256)), (32, 32, 32, dib(32, 32)), (16, 16, 8, dib(16, 8))]


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    at, body = 6 + 16 * len(images), b""
    for w, h, bits, data in images:
        head += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, bits, len(data), at + len(body))
        body += data
    return head + body


def resources(pe):
    """{(type, id): data} of every resource (the first language of each)."""
    out = {}
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for n in t.directory.entries:
            entry = n.directory.entries[0].data.struct
            out[(t.id, n.id)] = pe.get_data(entry.OffsetToData, entry.Size)
    return out


def version(pe):
    strings, translation = {}, None
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            strings = {t.LangID.decode(): {k.decode(): v.decode() for k, v in t.entries.items()}
                       for t in info.StringTable}
        else:
            translation = info.Var[0].entry
    f = pe.VS_FIXEDFILEINFO[0]
    split = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    return (strings, translation, split(f.FileVersionMS, f.FileVersionLS),
            split(f.ProductVersionMS, f.ProductVersionLS))


def main():
    maker, stub_path, work = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
    shutil.rmtree(work, ignore_errors=True)
    (work / "files").mkdir(parents=True)
    (work / "files" / "a.txt").write_text("a\n")
    (work / "app.ico").write_bytes(ico(IMAGES))
    (work / "app.png.ico").write_bytes(IMAGES[0][3])
    body = "[[variable]]\nname = \"{App}\"\nvalue = 'C:\\Kesta'\n\n" \
           "[[file]]\nsource = \"files/a.txt\"\ndestination = '{App}\\a.txt'\n"
    table = ('[installer]\nicon = "app.ico"\nproduct_name = "Kesta 工具"\nproduct_version = "2.3.1"\n'
             'company = "Kesta Ltd"\ncopyright = "© 2026 Kesta Ltd"\n\n')
    (work / "m.toml").write_text(table + body, encoding="utf-8")
    (work / "plain.toml").write_text(body, encoding="utf-8")
    (work / "bad.toml").write_text(table.replace("app.ico", "app.png.ico") + body, encoding="utf-8")
    build = lambda manifest, out: subprocess.run(
        [maker, "build", str(work / manifest), "--stub", str(stub_path), "-o", str(out)],
        capture_output=True, text=True)

    out = work / "one" / "kesta-2.3.1-setup.exe"
    again = work / "two" / "kesta-2.3.1-setup.exe"
    for path in (out, again):
        path.parent.mkdir()
        r = build("m.toml", path)
        check(r.returncode == 0, f"builds {path.parent.name}: {r.stderr.strip()}")
    check(out.read_bytes() == again.read_bytes(), "the same inputs give the same bytes")

    stub, pe = pefile.PE(str(stub_path)), pefile.PE(str(out))
    res, stub_res = resources(pe), resources(stub)
    for key in sorted(k for k in stub_res if k[0] in (RT_DIALOG, RT_MANIFEST)):
        check(res.get(key) == stub_res[key], f"the stub's resource {key} byte for byte")
    data = out.read_bytes()
    dialog = stub_res[(RT_DIALOG, min(k[1] for k in stub_res if k[0] == RT_DIALOG))]
    check(data.count(dialog) == 1, "no second copy of the stub's resources")
    names = [s.Name.rstrip(b"\0") for s in pe.sections]
    check(names.count(b".rsrc") == 1, f"one resource section ({names})")

    groups = sorted(k[1] for k in res if k[0] == RT_GROUP_ICON)
    check(len(groups) == 1, f"one icon group ({groups})")
    group = res[(RT_GROUP_ICON, groups[0])]
    reserved, kind, count = struct.unpack_from("<HHH", group)
    check((reserved, kind, count) == (0, 1, len(IMAGES)), f"the group's header {reserved, kind, count}")
    for i, (w, h, bits, image) in enumerate(IMAGES):
        gw, gh, _, _, planes, gbits, size, ident = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        check((gw or 256, gh or 256, gbits, size) == (w, h, bits, len(image)) and res.get((RT_ICON, ident)) == image,
              f"image {i}: {w}x{h} {bits}-bit as in the icon file")

    strings, translation, file_version, product_version = version(pe)
    expected = {"FileDescription": "Kesta 工具 安装程序", "FileVersion": "2.3.1", "ProductVersion": "2.3.1",
                "ProductName": "Kesta 工具", "CompanyName": "Kesta Ltd", "LegalCopyright": "© 2026 Kesta Ltd",
                "OriginalFilename": out.name}
    check(strings == {"080404B0": expected}, f"the version strings {strings}")
    check(translation == version(stub)[1], f"the stub's translation {translation}")
    check(file_version == product_version == (2, 3, 1, 0), f"binary versions {file_version} {product_version}")

    plain = work / "plain" / "我的 setup.exe"
    plain.parent.mkdir()
    check(build("plain.toml", plain).returncode == 0, "builds without [installer]")
    plain_strings, _, plain_file, _ = version(pefile.PE(str(plain)))
    stub_strings = version(stub)[0]
    stub_strings["080404B0"]["OriginalFilename"] = plain.name
    check(plain_strings == stub_strings and plain_file == version(stub)[2],
          f"without [installer] the stub's version, OriginalFilename the output's ({plain_strings})")

    for path in (out, plain):
        p = pefile.PE(str(path))
        check(p.OPTIONAL_HEADER.CheckSum == p.generate_checksum(), f"{path.name}: the checksum")
        package = [s for s in p.sections if s.Name.rstrip(b"\0") == b".tvpkg"]
        check(len(package) == 1 and package[0].PointerToRawData % 4096 == 0, f"{path.name}: the package page-aligned")

    listing = subprocess.run([maker, "inspect", str(out)], capture_output=True, text=True).stdout
    want = ["icon: group 1, 3 images", "  256x256, 32-bit, PNG", "  16x16, 8-bit, bitmap",
            "version: file 2.3.1.0, product 2.3.1.0", '  080404B0 CompanyName = "Kesta Ltd"']
    listed = all(line in listing.splitlines() for line in want)
    check(listed, "inspect lists the icon and version" + ("" if listed else ":\n" + listing))

    r = build("bad.toml", work / "bad.exe")
    lines = r.stderr.strip().splitlines()
    check(r.returncode != 0 and len(lines) == 1 and "bad.toml:2:" in lines[0] and "app.png.ico" in lines[0]
          and not any(p.name.startswith("bad.exe") for p in work.iterdir()),
          f"a PNG given as an icon: one line, nothing written ({lines})")

    if shutil.which("osslsigncode") and shutil.which("openssl"):
        key, cert, signed = work / "key.pem", work / "cert.pem", work / "signed.exe"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key),
                        "-out", str(cert), "-days", "2", "-subj", "/CN=Kesta test signer"],
                       check=True, capture_output=True)
        sign = subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in", str(out),
                               "-out", str(signed)], capture_output=True, text=True)
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(signed)],
                                capture_output=True, text=True)
        check(sign.returncode == 0 and verify.returncode == 0,
              "signed, it verifies: " + (sign.stdout + verify.stdout).strip().splitlines()[-1])
    else:
        check(False, "osslsigncode and openssl are needed (scripts/setup.sh installs them)")

    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

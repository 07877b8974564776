"""Reads the resources of a PE file: the resource tree, extended dialog
templates (DLGTEMPLATEEX) with their controls, and version information."""

import struct

RT_DIALOG = 5
RT_VERSION = 16
RT_MANIFEST = 24
CLASS_ATOMS = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox",
               0x84: "ScrollBar", 0x85: "ComboBox"}


def _sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, opt_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    table = opt + opt_size
    sections = []
    for i in range(count):
        vsize, va, rsize, rptr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        sections.append((va, max(vsize, rsize), rptr))
    return sections, rsrc_rva, rsrc_size


def _rva_to_offset(sections, rva):
    for va, size, ptr in sections:
        if va <= rva < va + size:
            return ptr + rva - va
    raise ValueError(f"RVA {rva:#x} is in no section")


def resources(path):
    """{(type, name): [(language, bytes), ...]} with integer types and names."""
    with open(path, "rb") as f:
        data = f.read()
    sections, rva, _ = _sections(data)
    base = _rva_to_offset(sections, rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + ids):
            ident, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            yield ident, target

    out = {}
    for rtype, t1 in entries(0):
        for name, t2 in entries(t1 & 0x7FFFFFFF):
            for lang, t3 in entries(t2 & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", data, base + t3)
                off = _rva_to_offset(sections, data_rva)
                out.setdefault((rtype, name), []).append((lang, data[off:off + size]))
    return out


class _Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def sz_or_ord(self):
        first = struct.unpack_from("<H", self.data, self.pos)[0]
        if first == 0xFFFF:
            self.pos += 2
            return self.take("H")
        return self.string()

    def string(self):
        end = self.pos
        while struct.unpack_from("<H", self.data, end)[0] != 0:
            end += 2
        text = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return text


def parse_dialog(data):
    """An extended dialog template as a dict with its controls in template order."""
    r = _Reader(data)
    ver, sig = r.take("HH")
    if (ver, sig) != (1, 0xFFFF):
        raise ValueError("not an extended dialog template")
    help_id, exstyle, style, count, x, y, cx, cy = r.take("IIIHhhhh")
    menu, cls, caption = r.sz_or_ord(), r.sz_or_ord(), r.string()
    dialog = dict(style=style, exstyle=exstyle, rect=(x, y, cx, cy), menu=menu, cls=cls,
                  caption=caption, controls=[])
    if style & 0x40:  # DS_SETFONT
        point, weight, italic, charset = r.take("HHBB")
        dialog["font"] = (r.string(), point, weight, italic, charset)
    for _ in range(count):
        r.align(4)
        help_id, ex, st, x, y, cx, cy, ident = r.take("IIIhhhhI")
        cls = r.sz_or_ord()
        if isinstance(cls, int):
            cls = CLASS_ATOMS.get(cls, cls)
        text = r.sz_or_ord()
        extra = r.take("H")
        r.pos += extra
        dialog["controls"].append(dict(id=ident - (1 << 32) if ident >= 1 << 31 else ident,
                                       cls=cls, text=text, style=st, exstyle=ex,
                                       rect=(x, y, cx, cy)))
    return dialog


def _version_node(data, pos):
    """One node of a VERSIONINFO tree at pos: (key, value, children, end). Text
    values (type 1) as str, binary ones as bytes."""
    length, value_length, kind = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    r = _Reader(data[:end])
    r.pos = pos + 6
    key = r.string()
    r.align(4)
    if kind == 1:
        raw = data[r.pos:r.pos + 2 * value_length]
        value = raw.decode("utf-16-le").split("\0", 1)[0]
        r.pos += 2 * value_length
    else:
        value = data[r.pos:r.pos + value_length]
        r.pos += value_length
    children = []
    r.align(4)
    while r.pos + 6 <= end:
        child = _version_node(data, r.pos)
        children.append(child[:3])
        r.pos = child[3]
        r.align(4)
    return key, value, children, end


def parse_version_info(data):
    """A VERSIONINFO resource: the fixed file and product versions (four numbers
    each), {block: {name: value}} of its string tables, and its translations as
    (language, code page) pairs."""
    key, fixed, children, _ = _version_node(data, 0)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        raise ValueError("not a version resource")
    signature, _, fms, fls, pms, pls = struct.unpack_from("<IIIIII", fixed)
    if signature != 0xFEEF04BD:
        raise ValueError("no fixed file information")
    file_version = (fms >> 16, fms & 0xFFFF, fls >> 16, fls & 0xFFFF)
    product_version = (pms >> 16, pms & 0xFFFF, pls >> 16, pls & 0xFFFF)
    strings, translations = {}, []
    for name, _, blocks in children:
        if name == "StringFileInfo":
            for block, _, values in blocks:
                strings[block] = {k: v for k, v, _ in values}
        elif name == "VarFileInfo":
            for var, value, _ in blocks:
                if var == "Translation":
                    translations += [struct.unpack_from("<HH", value, i)
                                     for i in range(0, len(value) - 3, 4)]
    return file_version, product_version, strings, translations

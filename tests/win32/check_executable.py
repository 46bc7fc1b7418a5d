#!/usr/bin/env python3
"""Reads the built Windows program's bytes and checks what Windows will see:
the PE headers (format, machine, GUI subsystem), the imports (no runtime DLL
beside the system's), and the resources (MAINICON with five 32-bit images,
the HOME and STOP pictures, and the Italian version block).

Usage: check_executable.py --machine i386|x86_64 VelastromNavigazione.exe
Exit code 0 when every check holds; each failed check is printed."""

import argparse
import struct
import sys

RT_BITMAP, RT_ICON, RT_GROUP_ICON, RT_VERSION = 2, 3, 14, 16

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


class Image:
    def __init__(self, data):
        self.data = data
        check(data[:2] == b"MZ", "no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        check(data[pe:pe + 4] == b"PE\0\0", "no PE signature")
        self.machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directories = optional + (96 if self.magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            name, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raw))

    def offset(self, rva):
        for vaddr, size, raw in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw
        raise ValueError("address %#x lies in no section" % rva)

    def c_string(self, offset):
        end = self.data.index(b"\0", offset)
        return self.data[offset:end].decode("latin-1")

    def imports(self):
        rva, size = self.directories[1]
        names = []
        if not rva:
            return names
        at = self.offset(rva)
        while True:
            lookup, _, _, name, thunk = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunk):
                return names
            names.append(self.c_string(self.offset(name)))
            at += 20

    def resources(self):
        """{(type, name): {language: bytes}}; names are ints or upper-case strings."""
        rva, _ = self.directories[2]
        base = self.offset(rva)
        found = {}

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                yield name, target

        for rtype, types in entries(0):
            for rname, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    at = self.offset(data_rva)
                    found.setdefault((rtype, rname), {})[language] = self.data[at:at + size]
        return found


def read_block(data, at):
    """A version block: (key, value bytes, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_at = at + 6
    key_end = key_at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_at:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * (2 if kind == 1 else 1)
    value = data[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < end:
        block = read_block(data, child)
        children.append(block)
        child = (block[3] + 3) & ~3
    return key, value, children, end


def check_version(block):
    key, value, children, _ = read_block(block, 0)
    check(key == "VS_VERSION_INFO", "version block key %r" % key)
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIIIII", value, 0)
    check(signature == 0xFEEF04BD, "fixed file info signature %#x" % signature)
    check((file_ms, file_ls) == (0x00040000, 0x000000AE), "file version %#x %#x" % (file_ms, file_ls))
    check((product_ms, product_ls) == (0x00010000, 0), "product version %#x %#x" % (product_ms, product_ls))
    strings, translation = {}, None
    for child_key, _, grandchildren, _ in children:
        if child_key == "StringFileInfo":
            for table_key, _, entries, _ in grandchildren:
                check(table_key.upper() == "041004E4", "string table %r" % table_key)
                for name, text, _, _ in entries:
                    strings[name] = text.decode("utf-16-le").rstrip("\0")
        elif child_key == "VarFileInfo":
            for var_key, var_value, _, _ in grandchildren:
                if var_key == "Translation":
                    translation = struct.unpack_from("<HH", var_value, 0)
    check(translation == (0x0410, 1252), "translation %r" % (translation,))
    expected = {"CompanyName": "TAV ROLENDI", "FileVersion": "4.0.0.174", "ProductVersion": "1.0.0.0"}
    for name, text in expected.items():
        check(strings.get(name) == text, "%s is %r" % (name, strings.get(name)))
    for name, text in strings.items():
        if name not in expected:
            check(text == "", "%s is %r, expected empty" % (name, text))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--machine", choices=["i386", "x86_64"], required=True)
    parser.add_argument("executable")
    args = parser.parse_args()
    with open(args.executable, "rb") as f:
        image = Image(f.read())

    if args.machine == "i386":
        check(image.machine == 0x14C, "machine %#x, expected i386" % image.machine)
        check(image.magic == 0x10B, "optional header magic %#x, expected PE32" % image.magic)
    else:
        check(image.machine == 0x8664, "machine %#x, expected x86-64" % image.machine)
        check(image.magic == 0x20B, "optional header magic %#x, expected PE32+" % image.magic)
    check(image.subsystem == 2, "subsystem %d, expected the Windows GUI (2)" % image.subsystem)
    check(image.characteristics & 0x2, "not marked executable")

    imports = [name.lower() for name in image.imports()]
    for runtime in ("libstdc++-6.dll", "libgcc_s_dw2-1.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"):
        check(runtime not in imports, "imports %s: the runtime is not linked in" % runtime)

    resources = image.resources()
    group = resources.get((RT_GROUP_ICON, "MAINICON"))
    if check(group is not None, "no MAINICON icon group"):
        data = next(iter(group.values()))
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        check(kind == 1 and count == 5, "MAINICON holds %d images" % count)
        sizes = []
        for i in range(count):
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            sizes.append(width or 256)
            check(bits == 32, "icon image %d has %d bits per pixel" % (i, bits))
            check((RT_ICON, icon_id) in resources, "icon image %d is missing" % icon_id)
        check(sorted(sizes) == [16, 32, 48, 64, 128], "icon sizes %r" % sizes)
    for name in ("HOME", "STOP"):
        bitmap = resources.get((RT_BITMAP, name))
        if check(bitmap is not None, "no %s bitmap" % name):
            data = next(iter(bitmap.values()))
            header, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 0)
            check((header, width, height, bits, compression) == (40, 48, 48, 24, 0),
                  "%s is %dx%d at %d bits, compression %d" % (name, width, height, bits, compression))
            check(len(data) == 40 + 6912, "%s holds %d bytes" % (name, len(data)))
    version = resources.get((RT_VERSION, 1), {})
    if check(0x0410 in version, "no Italian version block (languages %r)" % list(version)):
        check_version(version[0x0410])

    for failure in failures:
        print("FAILED:", failure)
    if not failures:
        print("%s: %s, GUI, %d imports, icon, pictures and version block as expected"
              % (args.executable, "PE32 i386" if args.machine == "i386" else "PE32+ x86-64", len(imports)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks what Windows sees of a built velmorascr.scr without running it.

Reads the PE file directly (standard library only) and checks:
  - the first icon group holds 16 x 16, 32 x 32 and 48 x 48 pictures of
    24-bit colour, and each of its RT_ICON entries is a BMP-format picture
    (BITMAPINFOHEADER) of that size with biBitCount 24;
  - string 1 of the string table, the name of the screensaver in Windows's
    list, is the product name;
  - the version resource: FILEVERSION and PRODUCTVERSION are the project's
    version, the StringFileInfo strings are as the project sets them, and
    the translation names the string table that holds them;
  - the program imports only DLLs that every Windows has (no C++ runtime,
    libgcc or winpthread DLL has to travel with it).

    check-scr-resources.py SCR --version 1.2.3 [--product "Velmora Slides"]

Prints every fault found and ends with status 1 if there is any.
"""

import argparse
import struct
import sys

RT_ICON, RT_STRING, RT_GROUP_ICON, RT_VERSION = 3, 6, 14, 16

# DLLs that ship with Windows itself (lower case). Anything else would have to
# be installed beside the screensaver, which a .scr cannot rely on.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "winmm.dll", "advapi32.dll",
    "shell32.dll", "ole32.dll", "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll",
    "version.dll", "imm32.dll", "ntdll.dll",
}


class PeError(Exception):
    pass


class PeFile:
    """The parts of a PE image that the checks need: sections, data directories, resources."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = self.u16(optional)
        if magic == 0x10B:
            directories_at = optional + 96
        elif magic == 0x20B:
            directories_at = optional + 112
        else:
            raise PeError(f"unknown optional header magic {magic:#x}")
        count = self.u32(directories_at - 4)
        self.directories = [struct.unpack_from("<II", data, directories_at + 8 * i) for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, vaddr, rsize, rptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), rptr, rsize))

    def u16(self, at):
        return struct.unpack_from("<H", self.data, at)[0]

    def u32(self, at):
        return struct.unpack_from("<I", self.data, at)[0]

    def offset(self, rva):
        for vaddr, vsize, rptr, rsize in self.sections:
            if vaddr <= rva < vaddr + vsize:
                if rva - vaddr >= rsize:
                    raise PeError(f"RVA {rva:#x} lies in a section's uninitialised part")
                return rptr + rva - vaddr
        raise PeError(f"RVA {rva:#x} lies in no section")

    def cstring(self, rva):
        at = self.offset(rva)
        end = self.data.index(b"\0", at)
        return self.data[at:end].decode("ascii", "replace")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    # --- resources: type -> name -> language -> data ---------------------------

    def resources(self):
        """{type: [(name, [(language, bytes)])]} with names and languages in directory order.

        A name or type is an int for an ID and a str for a named entry.
        """
        rva, size = self.directory(2)
        if not rva or not size:
            return {}
        base = self.offset(rva)

        def entries(at):
            named, ids = struct.unpack_from("<HH", self.data, base + at + 12)
            out = []
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, base + at + 16 + 8 * i)
                if key & 0x80000000:
                    name_at = base + (key & 0x7FFFFFFF)
                    length = self.u16(name_at)
                    key = self.data[name_at + 2:name_at + 2 + 2 * length].decode("utf-16-le")
                out.append((key, target))
            return out

        def leaf(target):
            if target & 0x80000000:
                raise PeError("a resource language entry is a directory")
            data_rva, data_size, _, _ = struct.unpack_from("<IIII", self.data, base + target)
            at = self.offset(data_rva)
            return self.data[at:at + data_size]

        tree = {}
        for rtype, names in entries(0):
            if not names & 0x80000000:
                raise PeError("a resource type entry is not a directory")
            tree[rtype] = []
            for name, languages in entries(names & 0x7FFFFFFF):
                if not languages & 0x80000000:
                    raise PeError("a resource name entry is not a directory")
                tree[rtype].append(
                    (name, [(lang, leaf(target)) for lang, target in entries(languages & 0x7FFFFFFF)]))
        return tree

    def imported_dlls(self):
        names = []
        # The import table: IMAGE_IMPORT_DESCRIPTORs up to an all-zero one.
        rva, _ = self.directory(1)
        if rva:
            at = self.offset(rva)
            while True:
                fields = struct.unpack_from("<IIIII", self.data, at)
                if not any(fields):
                    break
                names.append(self.cstring(fields[3]))
                at += 20
        # Delay-loaded DLLs are needed all the same.
        rva, _ = self.directory(13)
        if rva:
            at = self.offset(rva)
            while True:
                fields = struct.unpack_from("<8I", self.data, at)
                if not any(fields):
                    break
                names.append(self.cstring(fields[1]))
                at += 32
        return names


def first_language(tree, rtype, name):
    for entry_name, languages in tree.get(rtype, []):
        if entry_name == name and languages:
            return languages[0][1]
    return None


def check_icons(tree, faults):
    groups = tree.get(RT_GROUP_ICON, [])
    if not groups:
        faults.append("no icon group (RT_GROUP_ICON)")
        return
    name, languages = groups[0]
    group = languages[0][1]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if reserved != 0 or kind != 1 or len(group) < 6 + 14 * count:
        faults.append(f"icon group {name!r}: not an icon directory")
        return
    sizes = []
    for i in range(count):
        width, height, colors, _, planes, bits, length, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        width, height = width or 256, height or 256
        sizes.append(width)
        where = f"icon group {name!r}, entry {width} x {height}"
        if width != height:
            faults.append(f"{where}: not square")
        if bits != 24 or colors != 0 or planes != 1:
            faults.append(f"{where}: {bits} bits per pixel, {colors} colours, {planes} planes; expected 24-bit colour")
        image = first_language(tree, RT_ICON, icon_id)
        if image is None:
            faults.append(f"{where}: its picture (RT_ICON {icon_id}) is missing")
            continue
        if len(image) != length:
            faults.append(f"{where}: RT_ICON {icon_id} holds {len(image)} bytes, the group says {length}")
        if len(image) < 40 or struct.unpack_from("<I", image, 0)[0] != 40:
            faults.append(f"{where}: RT_ICON {icon_id} does not start with a BITMAPINFOHEADER")
            continue
        _, bi_width, bi_height, bi_planes, bi_bits, compression = struct.unpack_from("<IiiHHI", image, 0)
        if (bi_width, bi_height, bi_planes, bi_bits, compression) != (width, 2 * height, 1, 24, 0):
            faults.append(f"{where}: RT_ICON {icon_id} is {bi_width} x {bi_height}, {bi_bits} bits, "
                          f"{bi_planes} planes, compression {compression}; expected {width} x {2 * height} "
                          f"(picture and mask), 24 bits, 1 plane, uncompressed")
            continue
        needed = 40 + height * ((width * 3 + 3) & ~3) + height * ((width + 31) // 32 * 4)
        if len(image) < needed:
            faults.append(f"{where}: RT_ICON {icon_id} has {len(image)} bytes, a 24-bit picture with mask needs {needed}")
    if sorted(sizes) != [16, 32, 48]:
        faults.append(f"the first icon group {name!r} holds the sizes {sorted(sizes)}; expected [16, 32, 48]")


def string_resource(tree, number):
    """String `number` of the string table (first language), or None."""
    block = first_language(tree, RT_STRING, number // 16 + 1)
    if block is None:
        return None
    at = 0
    for index in range(16):
        if at + 2 > len(block):
            return None
        length = struct.unpack_from("<H", block, at)[0]
        text = block[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        if index == number % 16:
            return text if length else None
        at += 2 + 2 * length
    return None


def version_nodes(data, at, end):
    """The nodes of a version resource block: (key, value bytes, value type, children)."""
    nodes = []
    while at + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, at)
        if length < 6 or at + length > end:
            raise PeError("a version resource node runs past its block")
        key_end = at + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_bytes = value_length * 2 if value_type == 1 else value_length
        value = data[value_at:value_at + value_bytes]
        children_at = (value_at + value_bytes + 3) & ~3
        nodes.append((key, value, value_type, version_nodes(data, children_at, at + length)))
        at = (at + length + 3) & ~3
    return nodes


def check_version(tree, version, product, faults):
    data = first_language(tree, RT_VERSION, 1)
    if data is None:
        faults.append("no version resource (RT_VERSION 1)")
        return
    nodes = version_nodes(data, 0, len(data))
    if len(nodes) != 1 or nodes[0][0] != "VS_VERSION_INFO":
        faults.append("the version resource is not a VS_VERSION_INFO block")
        return
    _, fixed, _, children = nodes[0]
    parts = [int(p) for p in version.split(".")] + [0, 0, 0]
    expected_ms, expected_ls = (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3]
    if len(fixed) < 52 or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        faults.append("the version resource has no VS_FIXEDFILEINFO")
    else:
        file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
        shown = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        wanted = shown(expected_ms, expected_ls)
        if (file_ms, file_ls) != (expected_ms, expected_ls):
            faults.append(f"FILEVERSION is {shown(file_ms, file_ls)}; expected {wanted}")
        if (product_ms, product_ls) != (expected_ms, expected_ls):
            faults.append(f"PRODUCTVERSION is {shown(product_ms, product_ls)}; expected {wanted}")

    tables = {}
    translations = []
    for key, _, _, grandchildren in children:
        if key == "StringFileInfo":
            for table_key, _, _, strings in grandchildren:
                tables[table_key.lower()] = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in strings}
        elif key == "VarFileInfo":
            for var_key, value, _, _ in grandchildren:
                if var_key == "Translation":
                    translations += [struct.unpack_from("<HH", value, i) for i in range(0, len(value) - 3, 4)]
    table_keys = [f"{lang:04x}{codepage:04x}" for lang, codepage in translations]
    table = next((tables[k] for k in table_keys if k in tables), None)
    if table is None:
        faults.append(f"no StringFileInfo table for the translations {table_keys} (tables: {sorted(tables)})")
        return
    expected = {
        "FileDescription": product,
        "ProductName": product,
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": "velmorascr.scr",
        "InternalName": "velmorascr",
        "CompanyName": "The Velmora Slides developers",
        "LegalCopyright": "Copyright (C) 2026 The Velmora Slides developers",
    }
    for key, value in expected.items():
        if table.get(key) != value:
            faults.append(f"version string {key} is {table.get(key)!r}; expected {value!r}")


def check_imports(pe, faults):
    names = pe.imported_dlls()
    if not any(n.lower() == "kernel32.dll" for n in names):
        faults.append(f"the import table names no KERNEL32.dll (found {names}); it was not read right")
    for name in names:
        lower = name.lower()
        if lower not in SYSTEM_DLLS and not lower.startswith("api-ms-win-"):
            faults.append(f"imports {name}, which is not part of Windows")


def main():
    parser = argparse.ArgumentParser(description="Checks the resources and imports of velmorascr.scr.")
    parser.add_argument("scr")
    parser.add_argument("--version", required=True, help="the project's version, as in project(VERSION ...)")
    parser.add_argument("--product", default="Velmora Slides")
    args = parser.parse_args()

    faults = []
    try:
        with open(args.scr, "rb") as f:
            pe = PeFile(f.read())
        if pe.machine != 0x14C:
            faults.append(f"machine {pe.machine:#x}; expected i386 (0x14c)")
        tree = pe.resources()
        check_icons(tree, faults)
        description = string_resource(tree, 1)
        if description != args.product:
            faults.append(f"string 1 is {description!r}; expected {args.product!r}")
        check_version(tree, args.version, args.product, faults)
        check_imports(pe, faults)
    except (PeError, struct.error, ValueError, OSError) as error:
        faults.append(f"cannot read {args.scr}: {error}")

    for fault in faults:
        print(f"FAULT: {fault}")
    if faults:
        return 1
    print(f"{args.scr}: icons 16, 32, 48 at 24 bits; string 1 {args.product!r}; version {args.version}; "
          f"imports {', '.join(pe.imported_dlls())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

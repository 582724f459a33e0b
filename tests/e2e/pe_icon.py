#!/usr/bin/env python3
"""Checks that Windows programs show Kerfo's own picture.

    pe_icon.py path/to/kerfo.ico PROGRAM.exe...

Each program must carry, among its icon resources (RT_ICON), the images of kerfo.ico byte
for byte: that is what Explorer, the taskbar and the list of installed programs show. Prints
one line per program; exits 1 if any lacks them.
"""
import struct
import sys

RT_ICON = 3


def icon_images(ico):
    count = struct.unpack_from("<H", ico, 4)[0]
    images = set()
    for i in range(count):
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
        images.add(ico[offset:offset + size])
    return images


def resources(exe, wanted_type):
    """The data of every resource of `wanted_type` in the PE file `exe`."""
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[pe:pe + 4] != b"PE\0\0":
        return []
    sections, optional_size = struct.unpack_from("<H", exe, pe + 6)[0], struct.unpack_from("<H", exe, pe + 20)[0]
    optional = pe + 24
    directories = optional + (112 if struct.unpack_from("<H", exe, optional)[0] == 0x20B else 96)
    resource_rva = struct.unpack_from("<I", exe, directories + 8 * 2)[0]
    table = optional + optional_size
    base = None
    to_offset = None
    for i in range(sections):
        _, rva, raw_size, raw = struct.unpack_from("<IIII", exe, table + 40 * i + 8)
        if rva <= resource_rva < rva + raw_size:
            base = raw + resource_rva - rva
            to_offset = lambda r, rva=rva, raw=raw: raw + r - rva  # noqa: E731
    if base is None:
        return []

    def entries(at):
        named, ids = struct.unpack_from("<HH", exe, base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", exe, base + at + 16 + 8 * i)
            yield name, target

    found = []

    def walk(at, depth):
        for name, target in entries(at):
            if depth == 0 and name != wanted_type:
                continue
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, depth + 1)
            else:
                data_rva, size = struct.unpack_from("<II", exe, base + target)
                found.append(exe[to_offset(data_rva):to_offset(data_rva) + size])

    walk(0, 0)
    return found


def main():
    with open(sys.argv[1], "rb") as f:
        wanted = icon_images(f.read())
    failed = False
    for program in sys.argv[2:]:
        with open(program, "rb") as f:
            carried = set(resources(f.read(), RT_ICON))
        if wanted & carried:
            print(f"ok: {program} shows Kerfo's picture ({len(wanted & carried)} of {len(wanted)} images)")
        else:
            print(f"FAIL: {program} carries none of the images of kerfo.ico", file=sys.stderr)
            failed = True
    sys.exit(1 if failed else 0)


main()

#!/usr/bin/env python3
"""rename-font.py SOURCE.ttf DEST.ttf FAMILY: a copy of a TrueType font whose
name table calls it FAMILY (Regular), so that a test can install a font the
system does not know yet. The new name table goes at the end of the file;
the rest of the font stays as it was."""
import struct
import sys


def checksum(data):
    data += b"\0" * (-len(data) % 4)
    return sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF


def name_table(family):
    names = {1: family, 2: "Regular", 3: family + " Regular", 4: family, 6: family.replace(" ", "") + "-Regular"}
    records, strings = b"", b""
    for name_id, text in sorted(names.items()):
        raw = text.encode("utf-16-be")
        records += struct.pack(">6H", 3, 1, 0x409, name_id, len(raw), len(strings))
        strings += raw
    return struct.pack(">3H", 0, len(names), 6 + len(records)) + records + strings


def main():
    source, dest, family = sys.argv[1:4]
    font = bytearray(open(source, "rb").read())
    count = struct.unpack_from(">H", font, 4)[0]
    for i in range(count):
        at = 12 + 16 * i
        if font[at:at + 4] == b"name":
            break
    else:
        sys.exit("rename-font: %s has no name table" % source)
    font += b"\0" * (-len(font) % 4)
    table = name_table(family)
    struct.pack_into(">3I", font, at + 4, checksum(table), len(font), len(table))
    font += table + b"\0" * (-len(table) % 4)
    open(dest, "wb").write(font)


if __name__ == "__main__":
    main()

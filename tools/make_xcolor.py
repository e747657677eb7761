#!/usr/bin/env python3
"""Writes xpm/xpm_names.cpp, the table of X11 colour names the XPM reader resolves.

Usage: tools/make_xcolor.py [/usr/share/X11/rgb.txt] > xpm/xpm_names.cpp

The table is NONE, BLACK, WHITE, RED, GREEN, BLUE, then every other name of the X11
Release 6 colour database in its order, upper-cased. The database Debian ships adds one
name of its own, DebianRed, which is left out. The output is committed: the build does
not need rgb.txt.
"""
import sys

FIRST = [("NONE", (0, 0, 0)), ("BLACK", (0, 0, 0)), ("WHITE", (255, 255, 255)),
         ("RED", (255, 0, 0)), ("GREEN", (0, 255, 0)), ("BLUE", (0, 0, 255))]
LEFT_OUT = {"black", "white", "red", "green", "blue", "DebianRed"}


def read_database(path):
    entries = []
    with open(path, encoding="ascii") as database:
        for line in database:
            if line.startswith("!") or not line.strip():
                continue
            fields = line.split()
            red, green, blue = (int(v) for v in fields[:3])
            name = " ".join(fields[3:])
            if name not in LEFT_OUT:
                entries.append((name.upper(), (red, green, blue)))
    return entries


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/X11/rgb.txt"
    entries = FIRST + read_database(path)
    names = [name for name, _ in entries]
    if len(entries) != 753 or len(set(names)) != len(names):
        sys.exit("unexpected database: %d names, %d distinct" % (len(names), len(set(names))))
    print("// The X11 colour names the XPM reader resolves, upper-cased, with their colours")
    print("// (red << 24 | green << 16 | blue << 8). Written by tools/make_xcolor.py from the")
    print("// X11 colour database; do not edit by hand.")
    print('#include "xpm/xpm_format.h"')
    print()
    print("namespace xpm {")
    print()
    print("const XColor xcolor[] = {")
    for name, (red, green, blue) in entries:
        print('    {0x%02X%02X%02X00U, "%s"},' % (red, green, blue, name))
    print("    {0, nullptr},")
    print("};")
    print()
    print("// The entries of xcolor in the byte order of their names, for a binary search.")
    print("const uint16_t xcolor_by_name[] = {")
    order = sorted(range(len(names)), key=lambda i: names[i].encode("ascii"))
    for start in range(0, len(order), 12):
        print("    " + " ".join("%d," % i for i in order[start:start + 12]))
    print("};")
    print()
    print("} // namespace xpm")


main()

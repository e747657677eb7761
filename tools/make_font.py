#!/usr/bin/env python3
"""Writes viewer/font_glyphs.inc, the 8 x 13 glyphs of printable ASCII the viewer draws
its status line, messages and key list with.

Usage: tools/make_font.py Lat15-Fixed13.psf.gz > viewer/font_glyphs.inc

The glyphs come from the Fixed 13 console font of Debian's console-setup-linux package,
made from the public-domain X11 misc-fixed 8x13 font. The output is committed: the build
does not need the font.
"""
import gzip
import struct
import sys

WIDTH, HEIGHT = 8, 13
FIRST, LAST = 0x20, 0x7E


def read_psf(path):
    data = gzip.open(path).read() if path.endswith(".gz") else open(path, "rb").read()
    if data[:2] == b"\x36\x04":  # version 1: 8 pixels wide, 256 or 512 glyphs
        mode, height = data[2], data[3]
        count = 512 if mode & 1 else 256
        glyphs = [data[4 + i * height:4 + (i + 1) * height] for i in range(count)]
        table = data[4 + count * height:] if mode & 2 else b""
        codes = []
        position = 0
        for _ in range(count):
            mine = []
            while position + 1 < len(table):
                (value,) = struct.unpack_from("<H", table, position)
                position += 2
                if value == 0xFFFF:
                    break
                if value != 0xFFFE:
                    mine.append(value)
            codes.append(mine)
        return height, glyphs, codes
    sys.exit("not a version 1 PSF font")


def main():
    height, glyphs, codes = read_psf(sys.argv[1])
    if height != HEIGHT:
        sys.exit("expected a font %d pixels high, not %d" % (HEIGHT, height))
    by_code = {}
    for index, mine in enumerate(codes):
        for code in mine:
            by_code.setdefault(code, glyphs[index])
    print("// The glyphs of printable ASCII (0x20 to 0x7E), %d x %d, one byte a row, the" % (WIDTH, HEIGHT))
    print("// leftmost pixel in the top bit. From the public-domain X11 misc-fixed 8x13 font")
    print("// (as Debian's Lat15-Fixed13 console font); written by tools/make_font.py, do")
    print("// not edit by hand.")
    for code in range(FIRST, LAST + 1):
        rows = by_code.get(code)
        if rows is None:
            sys.exit("the font has no glyph for %r" % chr(code))
        text = ", ".join("0x%02X" % row for row in rows)
        print("{%s}, // %r" % (text, chr(code)))


if __name__ == "__main__":
    main()

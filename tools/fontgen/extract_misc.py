#!/usr/bin/env python3
"""Copies the CP1252 repertoire of the public-domain X11 misc-fixed 5x7 and
6x9 fonts into the glyph drawing files that fontgen.py reads, so that the
fonts can be rebuilt without the X11 font package.

Needs Debian's xfonts-base (/usr/share/fonts/X11/misc). Run from anywhere:
    python3 tools/fontgen/extract_misc.py
"""

import os
import sys

sys.dont_write_bytecode = True
import pcf  # noqa: E402

MISC = "/usr/share/fonts/X11/misc"
HERE = os.path.dirname(os.path.abspath(__file__))


def cp1252_char(code):
    try:
        return bytes([code]).decode("cp1252")
    except UnicodeDecodeError:
        return None


def extract(source, target, title):
    font = pcf.PcfFont(os.path.join(MISC, source))
    lines = ["# %s" % title,
             "# Copied from the X11 misc-fixed font %s (public domain) by extract_misc.py." % source,
             "# One glyph per block: '= <CP1252 code> <Unicode>' then one line per row.",
             ""]
    for code in range(0x20, 0x100):
        ch = cp1252_char(code)
        if ch is None or code == 0x7F:
            continue
        cell = font.cell(ord(ch))
        if cell is None:
            sys.exit("%s lacks U+%04X" % (source, ord(ch)))
        lines.append("= 0x%02X U+%04X" % (code, ord(ch)))
        lines.extend("".join("#" if v else "." for v in row) for row in cell)
        lines.append("")
    with open(os.path.join(HERE, "glyphs", target), "w") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    extract("5x7.pcf.gz", "misc-5x7.txt", "CP1252 glyphs in 5 x 7 cells (ascent 6, descent 1)")
    extract("6x9.pcf.gz", "misc-6x9.txt", "CP1252 glyphs in 6 x 9 cells (ascent 7, descent 2)")

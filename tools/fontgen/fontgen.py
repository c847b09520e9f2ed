#!/usr/bin/env python3
"""Builds the controller's eight built-in fonts from the glyph drawings in
glyphs/ and writes them, zlib-compressed in the built-in font file format,
as C++ arrays to display/font/builtin_data.cpp.

    python3 tools/fontgen/fontgen.py            # regenerate the C++ file
    python3 tools/fontgen/fontgen.py --check    # fail if it is out of date
    python3 tools/fontgen/fontgen.py --preview 07X05_1_KM.FNT [chars]

The drawings are the only input: glyphs/dot5x7.txt is drawn for this
controller, glyphs/misc-5x7.txt and glyphs/misc-6x9.txt are copied from the
public-domain X11 misc-fixed fonts by extract_misc.py.
"""

import os
import sys
import unicodedata
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUTPUT = os.path.join(ROOT, "display", "font", "builtin_data.cpp")

# Codes that CP1252 leaves undefined, in the order the fonts drop them.
UNDEFINED = [0x81, 0x8D, 0x8F, 0x90, 0x9D]
DEL = 0x7F

# ---------------------------------------------------------------- glyphs


def read_glyphs(name):
    """code -> glyph (list of rows, each a list of 0/1)."""
    glyphs = {}
    code = None
    for line in open(os.path.join(HERE, "glyphs", name)):
        line = line.strip()
        if not line or line.startswith("#") and not set(line) <= {"#", "."}:
            if not line:
                code = None
            continue
        if line.startswith("="):
            code = int(line.split()[1], 16)
            glyphs[code] = []
            continue
        if code is None:
            raise SystemExit("%s: row outside a glyph: %r" % (name, line))
        glyphs[code].append([1 if c == "#" else 0 for c in line])
    return glyphs


def parse(rows):
    return [[1 if c == "#" else 0 for c in r] for r in rows.split()]


def width(g):
    return len(g[0]) if g else 0


def blank(w, h):
    return [[0] * w for _ in range(h)]


def trim(g):
    """Drops the empty columns at both sides; an empty glyph stays as it is."""
    cols = [x for x in range(width(g)) if any(r[x] for r in g)]
    if not cols:
        return g
    return [r[cols[0]:cols[-1] + 1] for r in g]


def widen(g, n):
    """Repeats the middle column n times (glyphs of 3 columns or more)."""
    w = width(g)
    if w < 3:
        return g
    m = w // 2
    return [r[:m] + [r[m]] * (n + 1) + r[m + 1:] for r in g]


def place(g, h, top):
    """Puts g into a cell of h rows with its first row at `top`."""
    out = blank(width(g), h)
    for y, r in enumerate(g):
        if 0 <= top + y < h:
            out[top + y] = list(r)
    return out


def squeeze(g, n):
    """Reduces g to n rows, dropping repeated rows first (nearest the
    middle), then interior rows."""
    rows = [list(r) for r in g]
    while len(rows) > n:
        mid = (len(rows) - 1) / 2
        dups = [i for i in range(1, len(rows)) if rows[i] == rows[i - 1]]
        if dups:
            i = min(dups, key=lambda k: abs(k - mid))
        else:
            i = len(rows) // 2
        del rows[i]
    return rows


# --------------------------------------------------- 5 x 7 dot-matrix font

ACCENTS = {
    0x0300: parse(".#... ..#.."),  # grave
    0x0301: parse("...#. ..#.."),  # acute
    0x0302: parse("..#.. .#.#."),  # circumflex
    0x0303: parse(".##.# #..#."),  # tilde
    0x0308: parse(".#.#. ....."),  # diaeresis
    0x030A: parse("..#.. .#.#."),  # ring (Å and å are drawn)
    0x030C: parse(".#.#. ..#.."),  # caron
}
CEDILLA = parse("..##.")

ARROWS = {
    "right": parse("..... ..#.. ...#. ##### ...#. ..#.. ....."),
    "left": parse("..... ..#.. .#... ##### .#... ..#.. ....."),
    "up": parse("..#.. .###. #.#.# ..#.. ..#.. ..#.. ..#.."),
    "down": parse("..#.. ..#.. ..#.. ..#.. #.#.# .###. ..#.."),
    "diamond": parse("..... ..#.. .###. ##### .###. ..#.. ....."),
    "block": parse("##### ##### ##### ##### ##### ##### #####"),
}
# Codes CP1252 leaves free carry arrows where a font keeps them.
EXTRA = {0x81: "right", 0x8D: "left", 0x8F: "up", 0x90: "down", 0x9D: "diamond", DEL: "block"}


def cp1252(code):
    try:
        return bytes([code]).decode("cp1252")
    except UnicodeDecodeError:
        return None


def compose_dot(code, dot, misc):
    """The 5 x 7 glyph of a CP1252 code beyond ASCII: a drawing when there
    is one, a letter with its diacritic, else the misc-fixed symbol."""
    if code in dot:
        return dot[code]
    ch = cp1252(code)
    parts = unicodedata.decomposition(ch).split() if ch else []
    if len(parts) == 2 and not parts[0].startswith("<"):
        base, mark = chr(int(parts[0], 16)), int(parts[1], 16)
        b = dot[ord(base)]
        if mark == 0x0327:  # cedilla below
            body = squeeze(b, 6) if base.isupper() else squeeze(b[2:], 4)
            top = 0 if base.isupper() else 2
            g = place(body, 7, top)
            g[6] = list(CEDILLA[0])
            return g
        accent = ACCENTS[mark]
        body = squeeze(b, 5) if base.isupper() else b[2:]
        return accent + body
    return misc[code]


def dot_font(dot, misc):
    glyphs = {}
    for code in range(0x20, 0x100):
        if code < 0x7F:
            glyphs[code] = dot[code]
        elif code in EXTRA:
            glyphs[code] = ARROWS[EXTRA[code]]
        else:
            glyphs[code] = compose_dot(code, dot, misc)
    return glyphs


def cell_font(cells, h):
    """A misc-fixed font as it is, the free codes with arrows."""
    glyphs = {}
    for code in range(0x20, 0x100):
        if code in cells:
            glyphs[code] = cells[code]
        else:
            glyphs[code] = place(ARROWS[EXTRA[code]], h, (h - 7) // 2)
    return glyphs


def proportional(glyphs, space, shape=lambda g: g):
    """Trims every glyph to its ink and applies `shape`; the space and the
    no-break space get `space` empty columns."""
    out = {}
    for code, g in glyphs.items():
        if code in (0x20, 0xA0) or not any(any(r) for r in g):
            out[code] = blank(space, len(g))
        else:
            out[code] = shape(trim(g))
    return out


def drop(glyphs, codes):
    return {c: g for c, g in glyphs.items() if c not in codes}


# ----------------------------------------------------------- graphics font


def graph_font():
    """Codes 32..125: a one-column spacer, solid bars 1..32 columns wide
    ('!'..'@'), blank spacers 1..32 columns wide ('A'..'`'), then shapes."""
    g = {0x20: blank(1, 7)}
    for k in range(1, 33):
        g[0x20 + k] = [[1] * k for _ in range(7)]
        g[0x40 + k] = blank(k, 7)
    long_right = [[0] * 16 for _ in range(7)]
    long_right[3] = [1] * 16
    for d in (1, 2):
        long_right[3 - d][15 - d] = long_right[3 + d][15 - d] = 1
    long_left = [list(reversed(r)) for r in long_right]
    frame = [[1] * 32] + [[1] + [0] * 30 + [1] for _ in range(5)] + [[1] * 32]
    dots = [[(x + y) % 2 for x in range(16)] for y in range(7)]
    shapes = [
        ARROWS["right"], ARROWS["left"], ARROWS["up"], ARROWS["down"],
        parse("#.... ##... ###.. ####. ###.. ##... #...."),  # triangle right
        parse("....# ...## ..### .#### ..### ...## ....#"),  # triangle left
        parse("..#.. ..#.. .###. .###. ##### ##### #####"),  # triangle up
        parse("##### ##### .###. .###. ..#.. ..#.. ....."),  # triangle down
        parse("#.... .#... ..#.. ...#. ..#.. .#... #...."),  # chevron right
        parse("....# ...#. ..#.. .#... ..#.. ...#. ....#"),  # chevron left
        parse("##... .##.. ..##. ...## ..##. .##.. ##..."),  # bold chevron right
        parse("...## ..##. .##.. ##... .##.. ..##. ...##"),  # bold chevron left
        parse("####..... .####.... ..####... ...####.. ..####... .####.... ####....."),
        parse(".....#### ....####. ...####.. ..####... ...####.. ....####. .....####"),
        parse("##### #...# #...# #...# #...# #...# #####"),  # box
        parse("..... .###. ##### ##### ##### .###. ....."),  # dot
        parse("..... ....# ...#. #.#.. .#... ..... ....."),  # tick
        parse("#...# .#.#. ..#.. ..#.. .#.#. #...# ....."),  # cross
        parse("##### ..... ..... ..... ..... ..... ....."),  # top line
        parse("..... ..... ..... ##### ..... ..... ....."),  # middle line
        parse("..... ..... ..... ..... ..... ..... #####"),  # bottom line
        parse("#.#.# .#.#. #.#.# .#.#. #.#.# .#.#. #.#.#"),  # checker
        long_right, long_left,
        parse("..#.. .###. ##### ..#.. .###. ##### ..#.."),  # double up
        parse("#.... ##... ###.. ####. ##### ##### #####"),  # ramp
        parse("##.## ##.## ##.## ##.## ##.## ##.## ##.##"),  # double bar
        frame, dots,
    ]
    for i, s in enumerate(shapes):
        g[0x61 + i] = s
    assert max(g) == 0x7D, hex(max(g))
    return g


# ------------------------------------------------------------- the fonts


def build_fonts():
    dot = read_glyphs("dot5x7.txt")
    m57 = read_glyphs("misc-5x7.txt")
    m69 = read_glyphs("misc-6x9.txt")
    dotf = dot_font(dot, m57)
    f57 = cell_font(m57, 7)
    f69 = cell_font(m69, 9)
    wider = lambda n: (lambda g: widen(g, n))
    gaps = lambda n: {DEL} | set(UNDEFINED[:n])
    fonts = [
        # name, height, line spacing, character spacing, glyphs
        ("07X04_1_CP1252.FNT", 7, 1, 1, drop(proportional(f57, 3), gaps(1))),
        ("07X06_2_CP1252.FNT", 7, 1, 1, drop(proportional(dotf, 4, wider(1)), gaps(1))),
        ("FW07X5_1_NEMA4.FNT", 7, 1, 1, drop(dotf, gaps(1))),
        ("07GRAPH.FNT", 7, 0, 0, graph_font()),
        ("09X06_2_CP1252.FNT", 9, 1, 1, drop(proportional(f69, 4, wider(1)), gaps(5))),
        ("09X05_1_CP1252.FNT", 9, 1, 1, drop(proportional(f69, 4), gaps(3))),
        ("09X08_3_CP1252.FNT", 9, 1, 1, drop(proportional(f69, 5, wider(3)), gaps(5) | {0xAD})),
        ("07X05_1_KM.FNT", 7, 1, 1, proportional(dotf, 3)),
    ]
    return fonts


def encode(height, line, char, glyphs):
    """The font file: preamble, header, 256 glyph byte counts, bitmaps."""
    pre = bytearray(144)
    pre[1:5] = b"R417"
    pre[5] = 6
    pre[6] = 1
    header = bytearray(32)
    header[16], header[17], header[18] = height, line, char
    bpc = (height + 7) // 8
    counts = bytearray(256)
    data = bytearray()
    for code in range(256):
        g = glyphs.get(code)
        if g is None:
            continue
        if len(g) != height:
            raise SystemExit("glyph 0x%02X has %d rows, not %d" % (code, len(g), height))
        w = width(g)
        if w * bpc > 255:
            raise SystemExit("glyph 0x%02X is too wide" % code)
        counts[code] = w * bpc
        for x in range(w):
            for b in range(bpc):
                byte = 0
                for bit in range(8):
                    y = b * 8 + bit
                    if y < height and g[y][x]:
                        byte |= 1 << bit
                data.append(byte)
    return bytes(pre + header + counts + data)


def render_cpp(fonts):
    out = ["// Generated by tools/fontgen/fontgen.py from the drawings in tools/fontgen/glyphs.",
           "// Do not edit: change the drawings or the generator and run it again.",
           "// Each array is a zlib stream of one built-in font file.",
           '#include "display/font/builtin_data.h"',
           "",
           "namespace {",
           ""]
    for i, (name, h, ls, cs, glyphs) in enumerate(fonts):
        z = zlib.compress(encode(h, ls, cs, glyphs), 9)
        out.append("// %s: %d rows, %d characters" % (name, h, len(glyphs)))
        out.append("const uint8_t kFont%d[%d] = {" % (i, len(z)))
        for k in range(0, len(z), 16):
            out.append("    " + " ".join("0x%02X," % b for b in z[k:k + 16]))
        out.append("};")
        out.append("")
    out.append("}  // namespace")
    out.append("")
    out.append("const builtin_font_image g_builtin_font_images[BUILTIN_FONT_COUNT] = {")
    for i, (name, *_rest) in enumerate(fonts):
        out.append('    {"%s", kFont%d, sizeof kFont%d},' % (name, i, i))
    out.append("};")
    return "\n".join(out) + "\n"


def preview(fonts, name, chars):
    for fname, h, _, _, glyphs in fonts:
        if fname != name:
            continue
        codes = [c for c in sorted(glyphs) if not chars or (cp1252(c) or chr(c)) in chars]
        for k in range(0, len(codes), 12):
            row = codes[k:k + 12]
            print("  ".join("%02X%s" % (c, " " * (width(glyphs[c]) - 2)) for c in row))
            for y in range(h):
                print("  ".join("".join("#" if v else "." for v in glyphs[c][y]).ljust(2) for c in row))
            print()
        return
    raise SystemExit("no font %s" % name)


def main(argv):
    fonts = build_fonts()
    if len(argv) > 1 and argv[1] == "--preview":
        preview(fonts, argv[2], argv[3] if len(argv) > 3 else "")
        return 0
    text = render_cpp(fonts)
    if len(argv) > 1 and argv[1] == "--check":
        current = open(OUTPUT).read() if os.path.exists(OUTPUT) else ""
        if current != text:
            print("%s is out of date; run tools/fontgen/fontgen.py" % OUTPUT)
            return 1
        return 0
    with open(OUTPUT, "w") as f:
        f.write(text)
    for name, h, _, _, glyphs in fonts:
        print("%-20s %d rows, %3d characters, widest %d" % (name, h, len(glyphs), max(width(g) for g in glyphs.values())))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

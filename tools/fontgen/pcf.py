"""Minimal reader of X11 PCF bitmap fonts (the format of the misc-fixed
fonts), enough to pull out glyph cells by Unicode code point."""

import gzip
import struct

PCF_PROPERTIES = 1 << 0
PCF_ACCELERATORS = 1 << 1
PCF_METRICS = 1 << 2
PCF_BITMAPS = 1 << 3
PCF_BDF_ENCODINGS = 1 << 5
PCF_BDF_ACCELERATORS = 1 << 8

PCF_COMPRESSED_METRICS = 0x100


class PcfError(Exception):
    pass


class _Reader:
    def __init__(self, data, pos, fmt):
        self.data = data
        self.pos = pos
        self.big = bool(fmt & (1 << 2))

    def take(self, code, size):
        end = self.pos + size
        if end > len(self.data):
            raise PcfError("table runs past the end of the file")
        (v,) = struct.unpack((">" if self.big else "<") + code, self.data[self.pos:end])
        self.pos = end
        return v

    def i32(self):
        return self.take("i", 4)

    def i16(self):
        return self.take("h", 2)

    def u16(self):
        return self.take("H", 2)

    def u8(self):
        return self.take("B", 1)


class PcfFont:
    """Glyph cells of a PCF font: cell(cp) gives a list of rows, each a list
    of 0/1, of the font's cell width x (ascent + descent), or None."""

    def __init__(self, path):
        raw = open(path, "rb").read()
        if path.endswith(".gz"):
            raw = gzip.decompress(raw)
        if raw[:4] != b"\x01fcp":
            raise PcfError("not a PCF file")
        (count,) = struct.unpack("<i", raw[4:8])
        self.tables = {}
        for i in range(count):
            t, fmt, size, off = struct.unpack("<iiii", raw[8 + 16 * i: 24 + 16 * i])
            self.tables[t] = (fmt, size, off)
        self.raw = raw
        self._read_accelerators()
        self._read_metrics()
        self._read_bitmaps()
        self._read_encodings()

    def _table(self, kind):
        if kind not in self.tables:
            raise PcfError("missing table %d" % kind)
        fmt, _, off = self.tables[kind]
        (fmt2,) = struct.unpack("<i", self.raw[off:off + 4])
        return _Reader(self.raw, off + 4, fmt2), fmt2

    def _read_accelerators(self):
        kind = PCF_BDF_ACCELERATORS if PCF_BDF_ACCELERATORS in self.tables else PCF_ACCELERATORS
        r, _ = self._table(kind)
        for _ in range(8):
            r.u8()
        self.ascent = r.i32()
        self.descent = r.i32()

    def _read_metrics(self):
        r, fmt = self._table(PCF_METRICS)
        self.metrics = []
        if fmt & PCF_COMPRESSED_METRICS:
            n = r.i16()
            for _ in range(n):
                lb, rb, w, a, d = (r.u8() - 0x80 for _ in range(5))
                self.metrics.append((lb, rb, w, a, d))
        else:
            n = r.i32()
            for _ in range(n):
                lb, rb, w, a, d = (r.i16() for _ in range(5))
                r.u16()
                self.metrics.append((lb, rb, w, a, d))
        self.cell_width = max(m[2] for m in self.metrics)

    def _read_bitmaps(self):
        r, fmt = self._table(PCF_BITMAPS)
        n = r.i32()
        offsets = [r.i32() for _ in range(n)]
        sizes = [r.i32() for _ in range(4)]
        pad_index = fmt & 3
        self.glyph_pad = 1 << pad_index
        self.msbit_first = bool(fmt & (1 << 3))
        self.msbyte_first = bool(fmt & (1 << 2))
        self.scan_unit = 1 << ((fmt >> 4) & 3)
        base = r.pos
        total = sizes[pad_index]
        if base + total > len(self.raw):
            raise PcfError("bitmap data runs past the end of the file")
        self.bitmap_offsets = offsets
        self.bitmap_data = self.raw[base:base + total]

    def _read_encodings(self):
        r, _ = self._table(PCF_BDF_ENCODINGS)
        min2, max2, min1, max1 = r.i16(), r.i16(), r.i16(), r.i16()
        r.i16()  # default char
        self.encoding = {}
        for b1 in range(min1, max1 + 1):
            for b2 in range(min2, max2 + 1):
                idx = r.u16()
                if idx != 0xFFFF:
                    self.encoding[(b1 << 8) | b2] = idx

    def _bit(self, row_bytes, x):
        byte = x // 8
        if self.scan_unit > 1 and self.msbyte_first != self.msbit_first:
            unit = byte // self.scan_unit
            byte = unit * self.scan_unit + (self.scan_unit - 1 - byte % self.scan_unit)
        b = row_bytes[byte]
        shift = 7 - x % 8 if self.msbit_first else x % 8
        return (b >> shift) & 1

    def cell(self, cp):
        """The glyph of code point cp placed in the font cell, or None."""
        idx = self.encoding.get(cp)
        if idx is None:
            return None
        lb, rb, _, a, d = self.metrics[idx]
        width = rb - lb
        stride = ((width + 7) // 8 + self.glyph_pad - 1) // self.glyph_pad * self.glyph_pad
        start = self.bitmap_offsets[idx]
        height = self.ascent + self.descent
        rows = [[0] * self.cell_width for _ in range(height)]
        for gy in range(a + d):
            y = self.ascent - a + gy
            row = self.bitmap_data[start + gy * stride: start + (gy + 1) * stride]
            for gx in range(width):
                x = lb + gx
                if 0 <= y < height and 0 <= x < self.cell_width and self._bit(row, gx):
                    rows[y][x] = 1
        return rows

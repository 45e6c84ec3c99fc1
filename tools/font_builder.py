#!/usr/bin/env python3
"""font_builder: turns the pixel font drawn in assets/font/*.glyphs into a TrueType file.

    font_builder.py <assets/font dir> <out.ttf>

Every ink pixel becomes a square of PIXEL_UNITS font units and the squares of a glyph are
merged into outlines along the pixel edges, so baking at a pixel height of 8 gives one
font pixel per screen pixel with coverage 0 or 255 only. The format of the .glyphs files
is described at the top of assets/font/latin.glyphs.
"""
import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

PIXEL_UNITS = 128       # font units per pixel
ASCENT_PIXELS = 7       # ascent + descent = 8 pixels, the height the game bakes at
DESCENT_PIXELS = 1
GRID_BOTTOM = -1        # the bottom row of every grid lies one pixel below the baseline
SPACING_PIXELS = 1      # empty column after each glyph unless its advance is given


def fail(where, message):
    sys.exit(f"font_builder: {where}: {message}")


def parse_codepoint(text, where):
    if text.startswith("U+"):
        try:
            return int(text[2:], 16)
        except ValueError:
            fail(where, f"bad code point '{text}'")
    if len(text) != 1:
        fail(where, f"'{text}' is neither one character nor U+XXXX")
    return ord(text)


class Bitmap:
    """Ink pixels as a set of (column, row) with row 0 on the baseline, up positive."""

    def __init__(self, pixels=(), advance=None):
        self.pixels = set(pixels)
        self.advance = advance

    @staticmethod
    def from_rows(rows, where):
        width = len(rows[0])
        pixels = set()
        for i, row in enumerate(rows):
            if len(row) != width:
                fail(where, f"row {i + 1} is {len(row)} wide, expected {width}")
            for x, c in enumerate(row):
                if c == "#":
                    pixels.add((x, GRID_BOTTOM + len(rows) - 1 - i))
                elif c != ".":
                    fail(where, f"unknown character '{c}' (use '#' and '.')")
        return Bitmap(pixels), width

    def bounds(self):
        xs = [p[0] for p in self.pixels]
        ys = [p[1] for p in self.pixels]
        return min(xs), min(ys), max(xs), max(ys)

    def shifted(self, dx, dy):
        return {(x + dx, y + dy) for x, y in self.pixels}


def read_glyph_files(folder):
    glyphs = {}   # code point -> Bitmap
    marks = {}    # name -> list of (Bitmap, width, below)
    composes = []
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".glyphs"):
            continue
        path = os.path.join(folder, name)
        with open(path, encoding="utf-8") as f:
            lines = f.read().split("\n")
        i = 0
        while i < len(lines):
            where = f"{name}:{i + 1}"
            line = lines[i].rstrip()
            i += 1
            if not line or line.startswith("#"):
                continue
            key, _, value = line.partition(":")
            value = value.strip()
            if key == "compose":
                parts = value.split()
                if len(parts) < 3:
                    fail(where, "compose needs 'X base mark...'")
                composes.append((where, parse_codepoint(parts[0], where),
                                 parse_codepoint(parts[1], where), parts[2:]))
                continue
            if key not in ("glyph", "mark", "mark below"):
                fail(where, f"unknown key '{key}'")
            advance = None
            rows = []
            while i < len(lines) and lines[i].strip():
                row = lines[i].strip()
                if row.startswith("advance:"):
                    advance = int(row.split(":")[1])
                else:
                    rows.append(row)
                i += 1
            if key == "glyph":
                cp = parse_codepoint(value, where)
                if cp in glyphs:
                    fail(where, f"U+{cp:04X} drawn twice")
                if rows:
                    bitmap, width = Bitmap.from_rows(rows, where)
                else:
                    bitmap, width = Bitmap(), 0
                if advance is None:
                    if not rows:
                        fail(where, "an empty glyph needs an advance")
                    advance = width + SPACING_PIXELS
                bitmap.advance = advance
                glyphs[cp] = bitmap
            else:
                if not rows:
                    fail(where, "empty mark")
                bitmap, width = Bitmap.from_rows(rows, where)
                marks.setdefault(value, []).append((bitmap, width, key == "mark below"))
    for where, cp, base, mark_names in composes:
        if cp in glyphs:
            fail(where, f"U+{cp:04X} both drawn and composed")
        if base not in glyphs:
            fail(where, f"base U+{base:04X} is not drawn")
        glyphs[cp] = compose(glyphs[base], mark_names, marks, where)
    return glyphs


def compose(base, mark_names, marks, where):
    """A mark goes centred above the base with one empty row between, or right under it."""
    pixels = set(base.pixels)
    x0, y0, x1, y1 = base.bounds()
    base_width = x1 - x0 + 1
    for mark_name in mark_names:
        if mark_name not in marks:
            fail(where, f"unknown mark '{mark_name}'")
        # the widest drawing of the mark that is no wider than the base
        variants = sorted(marks[mark_name], key=lambda m: m[1])
        fitting = [m for m in variants if m[1] <= base_width]
        bitmap, width, below = fitting[-1] if fitting else variants[0]
        mx0, my0, mx1, my1 = bitmap.bounds()
        dx = x0 + (base_width - width) // 2
        if below:
            dy = y0 - 1 - my1
        else:
            top = max(y for _, y in pixels)
            dy = top + 2 - my0
        pixels |= bitmap.shifted(dx, dy)
    left = min(x for x, _ in pixels)
    right = max(x for x, _ in pixels)
    shifted = {(x - min(left, 0), y) for x, y in pixels}
    advance = max(base.advance, right - min(left, 0) + 1 + SPACING_PIXELS)
    return Bitmap(shifted, advance)


def outline(bitmap, pen):
    """Traces the ink as closed polygons along pixel edges, clockwise around ink (the
    TrueType direction), so that no two contours overlap."""
    edges = {}
    for x, y in bitmap.pixels:
        square = [(x, y), (x, y + 1), (x + 1, y + 1), (x + 1, y)]
        for k in range(4):
            a, b = square[k], square[(k + 1) % 4]
            if (b, a) in edges:
                del edges[(b, a)]
            else:
                edges[(a, b)] = True
    outgoing = {}
    for a, b in edges:
        outgoing.setdefault(a, []).append(b)
    while outgoing:
        start = min(outgoing)
        points = [start]
        current = start
        previous_direction = None
        while True:
            choices = outgoing[current]
            # where two squares touch only at a corner, keep each square's own turn
            if len(choices) > 1 and previous_direction is not None:
                choices.sort(key=lambda p: _turn(previous_direction, (p[0] - current[0], p[1] - current[1])))
            nxt = choices.pop(0)
            if not choices:
                del outgoing[current]
            previous_direction = (nxt[0] - current[0], nxt[1] - current[1])
            current = nxt
            if current == start:
                break
            points.append(current)
        corners = [p for k, p in enumerate(points)
                   if _direction(points[k - 1], p) != _direction(p, points[(k + 1) % len(points)])]
        pen.moveTo(_units(corners[0]))
        for p in corners[1:]:
            pen.lineTo(_units(p))
        pen.closePath()


def _direction(a, b):
    return (b[0] - a[0], b[1] - a[1])


def _turn(came, going):
    # right turn first: clockwise contours around ink keep ink on their right
    cross = came[0] * going[1] - came[1] * going[0]
    return 0 if cross < 0 else (1 if cross == 0 else 2)


def _units(p):
    return (p[0] * PIXEL_UNITS, p[1] * PIXEL_UNITS)


def notdef():
    rows = ["####", "#..#", "#..#", "#..#", "#..#", "####", "....", "...."]
    bitmap, width = Bitmap.from_rows(rows, ".notdef")
    bitmap.advance = width + SPACING_PIXELS
    return bitmap


def build(glyphs, out_path):
    order = [".notdef"] + [f"uni{cp:04X}" for cp in sorted(glyphs)]
    bitmaps = {".notdef": notdef()}
    bitmaps.update({f"uni{cp:04X}": glyphs[cp] for cp in glyphs})
    fb = FontBuilder(PIXEL_UNITS * (ASCENT_PIXELS + DESCENT_PIXELS), isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({cp: f"uni{cp:04X}" for cp in glyphs})
    outlines = {}
    metrics = {}
    for name in order:
        pen = TTGlyphPen(None)
        bitmap = bitmaps[name]
        if bitmap.pixels:
            outline(bitmap, pen)
        outlines[name] = pen.glyph()
        left = min((x for x, _ in bitmap.pixels), default=0)
        metrics[name] = (bitmap.advance * PIXEL_UNITS, left * PIXEL_UNITS)
    fb.setupGlyf(outlines)
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENT_PIXELS * PIXEL_UNITS, descent=-DESCENT_PIXELS * PIXEL_UNITS)
    fb.setupNameTable({"familyName": "Vantorel Pixel", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=ASCENT_PIXELS * PIXEL_UNITS, sTypoDescender=-DESCENT_PIXELS * PIXEL_UNITS,
                usWinAscent=ASCENT_PIXELS * PIXEL_UNITS, usWinDescent=DESCENT_PIXELS * PIXEL_UNITS)
    fb.setupPost()
    tmp = out_path + ".tmp"
    fb.save(tmp)
    os.replace(tmp, out_path)


# The font's created and modified dates, unless the packager gives one: the same glyphs make the
# same bytes, so the pack and the package build reproducibly.
FIXED_DATE_EPOCH = "1767225600"  # 2026-01-01, seconds since 1970


def main():
    os.environ.setdefault("SOURCE_DATE_EPOCH", FIXED_DATE_EPOCH)
    if len(sys.argv) != 3:
        sys.exit("usage: font_builder.py <glyph folder> <out.ttf>")
    glyphs = read_glyph_files(sys.argv[1])
    for cp in range(0x21, 0x7F):
        if cp not in glyphs:
            fail(sys.argv[1], f"'{chr(cp)}' is not drawn")
    build(glyphs, sys.argv[2])
    print(f"font_builder: {sys.argv[2]}: {len(glyphs)} glyphs")


if __name__ == "__main__":
    main()

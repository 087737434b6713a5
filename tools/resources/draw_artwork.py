#!/usr/bin/env python3
"""Draws the about box's artwork and the module's icon, and writes them into resources/ as the
bitmap and icon files the resource script includes. Standard library only; run it again after a
change to redraw everything:

    python3 tools/resources/draw_artwork.py resources

The logo is a square grid squeezed into a disc, the product's one idea; the texts are set in a
small pixel font defined below.
"""
import math
import struct
import sys
from pathlib import Path

# The pixel font: 5 x 7 glyphs, one string per row, '#' for ink.
GLYPHS = {
    ' ': ['.....'] * 7,
    '.': ['.....', '.....', '.....', '.....', '.....', '.##..', '.##..'],
    ',': ['.....', '.....', '.....', '.....', '.##..', '..#..', '.#...'],
    '-': ['.....', '.....', '.....', '.###.', '.....', '.....', '.....'],
    '(': ['...#.', '..#..', '.#...', '.#...', '.#...', '..#..', '...#.'],
    ')': ['.#...', '..#..', '...#.', '...#.', '...#.', '..#..', '.#...'],
    '0': ['.###.', '#...#', '#..##', '#.#.#', '##..#', '#...#', '.###.'],
    '1': ['..#..', '.##..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    '2': ['.###.', '#...#', '....#', '...#.', '..#..', '.#...', '#####'],
    '4': ['...#.', '..##.', '.#.#.', '#..#.', '#####', '...#.', '...#.'],
    '5': ['#####', '#....', '####.', '....#', '....#', '#...#', '.###.'],
    '6': ['..##.', '.#...', '#....', '####.', '#...#', '#...#', '.###.'],
    'B': ['####.', '#...#', '#...#', '####.', '#...#', '#...#', '####.'],
    'V': ['#...#', '#...#', '#...#', '#...#', '#...#', '.#.#.', '..#..'],
    'W': ['#...#', '#...#', '#...#', '#.#.#', '#.#.#', '##.##', '#...#'],
    'a': ['.....', '.....', '.###.', '....#', '.####', '#...#', '.####'],
    'b': ['#....', '#....', '####.', '#...#', '#...#', '#...#', '####.'],
    'c': ['.....', '.....', '.###.', '#....', '#....', '#...#', '.###.'],
    'd': ['....#', '....#', '.####', '#...#', '#...#', '#...#', '.####'],
    'e': ['.....', '.....', '.###.', '#...#', '#####', '#....', '.###.'],
    'f': ['..##.', '.#..#', '.#...', '###..', '.#...', '.#...', '.#...'],
    'h': ['#....', '#....', '#.##.', '##..#', '#...#', '#...#', '#...#'],
    'i': ['..#..', '.....', '.##..', '..#..', '..#..', '..#..', '.###.'],
    'k': ['#....', '#....', '#..#.', '#.#..', '##...', '#.#..', '#..#.'],
    'l': ['.##..', '..#..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    'n': ['.....', '.....', '#.##.', '##..#', '#...#', '#...#', '#...#'],
    'o': ['.....', '.....', '.###.', '#...#', '#...#', '#...#', '.###.'],
    'p': ['.....', '.....', '####.', '#...#', '####.', '#....', '#....'],
    'q': ['.....', '.....', '.####', '#...#', '.####', '....#', '....#'],
    'r': ['.....', '.....', '#.##.', '##..#', '#....', '#....', '#....'],
    's': ['.....', '.....', '.####', '#....', '.###.', '....#', '####.'],
    't': ['.#...', '.#...', '###..', '.#...', '.#...', '.#..#', '..##.'],
    'u': ['.....', '.....', '#...#', '#...#', '#...#', '#..##', '.##.#'],
    'w': ['.....', '.....', '#...#', '#...#', '#.#.#', '#.#.#', '.#.#.'],
}

WHITE = (255, 255, 255)
INK = (24, 40, 72)         # dark blue-grey text
ACCENT = (0, 110, 180)     # the logo's blue
RIM = (230, 120, 20)       # the logo's orange rim


class Canvas:
    """An RGB image with a coverage-blended paint operation."""

    def __init__(self, width, height, background=WHITE):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def blend(self, x, y, colour, coverage):
        if 0 <= x < self.width and 0 <= y < self.height and coverage > 0:
            old = self.pixels[y][x]
            self.pixels[y][x] = tuple(round(o + (c - o) * min(coverage, 1.0)) for o, c in zip(old, colour))

    def text(self, x, y, string, colour=INK, bold=False):
        """Sets the string from (x, y); bold strikes every glyph twice, a pixel apart."""
        for ch in string:
            for row, bits in enumerate(GLYPHS[ch]):
                for col, bit in enumerate(bits):
                    if bit == '#':
                        self.blend(x + col, y + row, colour, 1.0)
                        if bold:
                            self.blend(x + col + 1, y + row, colour, 1.0)
            x += 7 if bold else 6
        return x


def text_width(string, bold=False):
    return len(string) * (7 if bold else 6) - 1


def draw_logo(canvas, left, top, size):
    """A 5 x 5 grid of squares pressed into a disc, with its rim, supersampled 4 x 4 per pixel."""
    samples = 4
    radius = size / 2.0
    for py in range(size):
        for px in range(size):
            ink = rim = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = ((px + (sx + 0.5) / samples) - radius) / radius
                    v = ((py + (sy + 0.5) / samples) - radius) / radius
                    r = math.hypot(u, v)
                    if r > 1.0:
                        continue
                    if r > 1.0 - 1.6 / radius:
                        rim += 1
                        continue
                    # Back from the disc to the square (the elliptical grid map's inverse), where
                    # the grid lines are straight.
                    a = 2 + u * u - v * v
                    b = 2 - u * u + v * v
                    s = 0.5 * (math.sqrt(max(a + 2 * math.sqrt(2) * u, 0)) - math.sqrt(max(a - 2 * math.sqrt(2) * u, 0)))
                    t = 0.5 * (math.sqrt(max(b + 2 * math.sqrt(2) * v, 0)) - math.sqrt(max(b - 2 * math.sqrt(2) * v, 0)))
                    cell = 2.0 / 5
                    line = 0.9 / radius
                    if abs((s + 1) / cell - round((s + 1) / cell)) * cell < line or \
                            abs((t + 1) / cell - round((t + 1) / cell)) * cell < line:
                        ink += 1
            total = samples * samples
            canvas.blend(left + px, top + py, ACCENT, ink / total)
            canvas.blend(left + px, top + py, RIM, rim / total)


def palette_of(canvas, limit):
    """The canvas's colours, reduced to at most `limit` by merging the nearest ones."""
    colours = sorted({c for row in canvas.pixels for c in row})
    while len(colours) > limit:
        best = None
        for i in range(len(colours)):
            for j in range(i + 1, len(colours)):
                d = sum((a - b) ** 2 for a, b in zip(colours[i], colours[j]))
                if best is None or d < best[0]:
                    best = (d, i, j)
        _, i, j = best
        merged = tuple((a + b) // 2 for a, b in zip(colours[i], colours[j]))
        colours = [c for k, c in enumerate(colours) if k not in (i, j)] + [merged]
    return colours + [(0, 0, 0)] * (limit - len(colours))


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda k: sum((a - b) ** 2 for a, b in zip(palette[k], colour)))


def indices(canvas, palette):
    cache = {}
    return [[cache.setdefault(c, nearest(palette, c)) for c in row] for row in canvas.pixels]


def pack_rows(rows, bits):
    """Bottom-up rows of indices (or 24-bit colours) packed and padded to 4 bytes."""
    data = b''
    for row in reversed(rows):
        if bits == 24:
            line = b''.join(bytes((b, g, r)) for r, g, b in row)
        elif bits == 8:
            line = bytes(row)
        elif bits == 4:
            padded = row + [0] * (len(row) % 2)
            line = bytes(padded[i] << 4 | padded[i + 1] for i in range(0, len(padded), 2))
        else:  # 1
            padded = row + [0] * (-len(row) % 8)
            line = bytes(sum(padded[i + k] << (7 - k) for k in range(8)) for i in range(0, len(padded), 8))
        data += line + b'\0' * (-len(line) % 4)
    return data


def rle4(rows):
    """Run-length encodes bottom-up 4-bit rows: runs of one index, an end-of-line mark per row
    and the end-of-bitmap mark."""
    data = bytearray()
    for row in reversed(rows):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and row[x + run] == row[x] and run < 255:
                run += 1
            data += bytes((run, row[x] << 4 | row[x]))
            x += run
        data += b'\0\0'
    data[-2:] = b'\0\1'
    return bytes(data)


def info_header(width, height, bits, compression, image_size, colours):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, bits, compression, image_size, 2835, 2835,
                       colours, 0)


def palette_bytes(palette):
    return b''.join(bytes((b, g, r, 0)) for r, g, b in palette)


def bitmap_file(canvas, bits, compressed=False):
    if bits == 24:
        table, pixels, compression = b'', pack_rows(canvas.pixels, 24), 0
        colours = 0
    else:
        palette = palette_of(canvas, 1 << bits)
        rows = indices(canvas, palette)
        table, colours = palette_bytes(palette), 1 << bits
        pixels, compression = (rle4(rows), 2) if compressed else (pack_rows(rows, bits), 0)
    header = info_header(canvas.width, canvas.height, bits, compression, len(pixels), colours)
    offset = 14 + len(header) + len(table)
    return struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset) + header + table + pixels


def icon_file(images):
    """An icon file of square canvases, each (canvas, bits), with a transparent outside."""
    entries, blobs = b'', b''
    offset = 6 + 16 * len(images)
    for canvas, bits, opaque in images:
        palette = palette_of(canvas, 1 << bits)
        rows = indices(canvas, palette)
        mask = [[0 if opaque(x, y) else 1 for x in range(canvas.width)] for y in range(canvas.height)]
        blob = (info_header(canvas.width, canvas.height * 2, bits, 0, 0, 0) + palette_bytes(palette) +
                pack_rows(rows, bits) + pack_rows(mask, 1))
        entries += struct.pack('<BBBBHHII', canvas.width, canvas.height, (1 << bits) % 256, 0, 1, bits,
                               len(blob), offset)
        blobs += blob
        offset += len(blob)
    return struct.pack('<HHH', 0, 1, len(images)) + entries + blobs


def main(folder):
    out = Path(folder)
    version = '1.50'

    # 105: the logo beside the product name in the about box.
    logo = Canvas(21, 21)
    draw_logo(logo, 0, 0, 21)
    (out / 'logo.bmp').write_bytes(bitmap_file(logo, 24))

    # 127: the product name and version.
    name = Canvas(110, 14)
    x = name.text(0, 3, 'Velorund', ACCENT, bold=True)
    name.text(x + 6, 3, version)
    (out / 'product_name.bmp').write_bytes(bitmap_file(name, 8))

    # 106: what the filter does and who makes it.
    about = Canvas(264, 49)
    lines = ['Warps a square into a circle', 'for 64-bit hosts', '(c) 2026 Brackwater']
    for i, line in enumerate(lines):
        about.text((264 - text_width(line)) // 2, 4 + 15 * i, line, INK if i else ACCENT)
    (out / 'about_text.bmp').write_bytes(bitmap_file(about, 4, compressed=True))

    # 118: the maker's and the product's names on one line.
    banner = Canvas(149, 14)
    banner.text((149 - text_width('Brackwater Velorund')) // 2, 3, 'Brackwater Velorund')
    (out / 'banner.bmp').write_bytes(bitmap_file(banner, 4))

    # 148: the icon, the logo at 32 x 32 in 16 and in 256 colours, transparent outside the disc.
    def inside(x, y):
        return math.hypot(x + 0.5 - 16, y + 0.5 - 16) <= 16

    icons = []
    for bits in (4, 8):
        canvas = Canvas(32, 32)
        draw_logo(canvas, 0, 0, 32)
        icons.append((canvas, bits, inside))
    (out / 'velorund.ico').write_bytes(icon_file(icons))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'resources')

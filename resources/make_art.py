#!/usr/bin/env python3
"""Draws the engine's icon and hand cursor and writes them in the formats
Windows 95 and NT 4 read: mainicon.ico with 16x16 and 32x32 images in 16
colours (256-colour images would cost every package's engine 3.6 KB),
hand.cur as a 32x32 monochrome cursor. Plain Python, so the
files can be made again anywhere:

    make_art.py OUTDIR [--preview PNG]
"""
import struct
import sys
import zlib

# The 16 colours every display of those systems has.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# 256 colours: the 16 above, a 6x6x6 cube and a grey ramp.
PALETTE_256 = VGA + [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
PALETTE_256 += [(v, v, v) for v in range(8, 248, 10)][:256 - len(PALETTE_256)]
PALETTE_256 += [(0, 0, 0)] * (256 - len(PALETTE_256))

# The picture on a 32-unit grid: an open carton and a green arrow going in.
# Each shape: colour and polygon; later shapes cover earlier ones.
SHAPES = [
    ((110, 66, 24), [(4, 13), (16, 8), (28, 13), (16, 18)]),          # inside of the box
    ((222, 160, 80), [(4, 13), (16, 18), (16, 30), (4, 25)]),         # left side
    ((176, 112, 44), [(16, 18), (28, 13), (28, 25), (16, 30)]),       # right side
    ((236, 184, 112), [(4, 13), (16, 18), (12, 22), (0, 17)]),        # left flap
    ((196, 132, 60), [(16, 18), (28, 13), (32, 17), (20, 22)]),       # right flap
    ((20, 110, 30), [(11, 0), (21, 0), (21, 8), (26, 8), (16, 19), (6, 8), (11, 8)]),  # arrow outline
    ((60, 200, 70), [(12.5, 1), (19.5, 1), (19.5, 9.5), (23.5, 9.5), (16, 17), (8.5, 9.5), (12.5, 9.5)]),
]
OUTLINE = (60, 36, 12)
# The same picture in the 16 colours: a yellow and olive carton.
VGA_COLOURS = {
    (110, 66, 24): (128, 0, 0), (222, 160, 80): (255, 255, 0), (176, 112, 44): (128, 128, 0),
    (236, 184, 112): (255, 255, 0), (196, 132, 60): (128, 128, 0), (20, 110, 30): (0, 128, 0),
    (60, 200, 70): (0, 255, 0), OUTLINE: (0, 0, 0),
}


def inside(x, y, poly):
    hit = False
    j = len(poly) - 1
    for i in range(len(poly)):
        xi, yi = poly[i]
        xj, yj = poly[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def render(size, colours=None):
    """RGBA rows; 4x4 samples per pixel. colours replaces the shapes' colours."""
    recolour = (lambda c: colours.get(c, c)) if colours else (lambda c: c)
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            cover = 0
            for sy in range(4):
                for sx in range(4):
                    x = (px + (sx + 0.5) / 4) * scale
                    y = (py + (sy + 0.5) / 4) * scale
                    colour = None
                    for c, poly in SHAPES:
                        if inside(x, y, poly):
                            colour = recolour(c)
                    if colour:
                        cover += 1
                        for k in range(3):
                            acc[k] += colour[k]
            if cover * 2 >= 16:
                row.append(tuple(v // cover for v in acc) + (255,))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    # A dark rim where the picture meets the background, except on the arrow.
    out = [list(r) for r in rows]
    for y in range(size):
        for x in range(size):
            p = rows[y][x]
            if p[3] == 0 or p[1] > p[0] + 40:
                continue
            edge = any(not (0 <= x + dx < size and 0 <= y + dy < size) or rows[y + dy][x + dx][3] == 0
                       for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if edge:
                out[y][x] = recolour(OUTLINE) + (255,)
    return out


def nearest(colour, palette):
    r, g, b = colour[:3]
    best = min(range(len(palette)),
               key=lambda i: 3 * (palette[i][0] - r) ** 2 + 4 * (palette[i][1] - g) ** 2 + 2 * (palette[i][2] - b) ** 2)
    return best


def mask_rows(size, transparent):
    """The AND mask, bottom-up, rows padded to 32 bits."""
    stride = (size + 31) // 32 * 4
    data = b""
    for y in reversed(range(size)):
        bits = bytearray(stride)
        for x in range(size):
            if transparent(x, y):
                bits[x // 8] |= 0x80 >> (x % 8)
        data += bytes(bits)
    return data


def icon_image(pixels, bpp, palette):
    size = len(pixels)
    colours = 1 << bpp
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, colours, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in palette[:colours])
    stride = (size * bpp + 31) // 32 * 4
    xor = b""
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            p = pixels[y][x]
            index = 0 if p[3] == 0 else nearest(p, palette[:colours])
            if bpp == 4:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            else:
                row[x] = index
        xor += bytes(row)
    return header + pal + xor + mask_rows(size, lambda x, y: pixels[y][x][3] == 0)


def write_icon(path, images):
    """images: list of (size, bpp, data)."""
    offset = 6 + 16 * len(images)
    directory = b""
    body = b""
    for size, bpp, data in images:
        colours = 16 if bpp == 4 else 0
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp, len(data), offset + len(body))
        body += data
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + directory + body)


# The pointing hand: X outline, o white, . transparent. Hot spot: the tip of
# the index finger.
HAND = """\
.....XX..........
....XooX.........
....XooX.........
....XooX.........
....XooX.........
....XooXXX.......
....XooXooXXX....
....XooXooXooXX..
.XX.XooXooXooXoX.
XooXXooooooooXoX.
XoooXooooooooooX.
.XooXooooooooooX.
..XoooooooooooX..
..XoooooooooooX..
...XooooooooooX..
...XoooooooooX...
....XooooooooX...
....XooooooooX...
....XXXXXXXXXX...
"""
HOT_SPOT = (5, 0)


def write_cursor(path):
    art = HAND.splitlines()
    size = 32

    def cell(x, y):
        return art[y][x] if y < len(art) and x < len(art[y]) else "."

    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    pal = struct.pack("BBBB", 0, 0, 0, 0) + struct.pack("BBBB", 255, 255, 255, 0)
    xor = b""
    for y in reversed(range(size)):
        row = bytearray(4)
        for x in range(size):
            if cell(x, y) == "o":
                row[x // 8] |= 0x80 >> (x % 8)
        xor += bytes(row)
    data = header + pal + xor + mask_rows(size, lambda x, y: cell(x, y) == ".")
    directory = struct.pack("<BBBBHHII", size, size, 2, 0, HOT_SPOT[0], HOT_SPOT[1], len(data), 22)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 2, 1) + directory + data)


def write_png(path, pixels, zoom):
    size = len(pixels)
    raw = b""
    for y in range(size * zoom):
        raw += b"\0"
        for x in range(size * zoom):
            p = pixels[y // zoom][x // zoom]
            raw += bytes(p[:3]) if p[3] else (b"\xe0\xe0\xe0" if (x // 8 + y // 8) % 2 else b"\xff\xff\xff")

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size * zoom, size * zoom, 8, 2, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 4):
        sys.exit(__doc__)
    out = sys.argv[1]
    big = render(32)
    small = render(16)
    write_icon(out + "/mainicon.ico", [
        (32, 4, icon_image(render(32, VGA_COLOURS), 4, VGA)),
        (16, 4, icon_image(render(16, VGA_COLOURS), 4, VGA)),
    ])
    write_cursor(out + "/hand.cur")
    if len(sys.argv) == 4 and sys.argv[2] == "--preview":
        write_png(sys.argv[3], big, 8)
        write_png(sys.argv[3].replace(".png", "16.png"), small, 16)


if __name__ == "__main__":
    main()

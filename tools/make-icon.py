#!/usr/bin/env python3
"""Writes the program's icon group, resources/varnok.ico.

Four images: 16x16 and 32x32, each at 4 bits (the 16 VGA colours) and at
8 bits per pixel. The picture: a red location pin over a blue network line
joining two green nodes. Only the standard library is used, and the output is
deterministic.
"""
import math
import os
import struct
import sys

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette8():
    """The VGA colours first, then a 6x6x6 colour cube: 232 of 256 entries used."""
    colours = list(VGA16)
    steps = [0, 51, 102, 153, 204, 255]
    for r in steps:
        for g in steps:
            for b in steps:
                colours.append((r, g, b))
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


PIN_CENTRE = (0.5, 0.37)
PIN_RADIUS = 0.27
PIN_TIP = (0.5, 0.84)
HOLE_RADIUS = 0.1


def in_pin(x, y):
    cx, cy = PIN_CENTRE
    if (x - cx) ** 2 + (y - cy) ** 2 <= PIN_RADIUS ** 2:
        return True
    # The cone from the circle's tangent points to the tip.
    tx, ty = PIN_TIP
    d = ty - cy
    if y < cy or y > ty:
        return False
    tangent_y = cy + PIN_RADIUS ** 2 / d
    half = PIN_RADIUS * math.sqrt(1 - (PIN_RADIUS / d) ** 2)
    if y < tangent_y:
        return False
    return abs(x - tx) <= half * (ty - y) / (ty - tangent_y)


def sample(x, y):
    """The picture's colour at a point of the unit square, or None (transparent)."""
    cx, cy = PIN_CENTRE
    if in_pin(x, y):
        if (x - cx) ** 2 + (y - cy) ** 2 <= HOLE_RADIUS ** 2:
            return (255, 255, 255)
        # Lit from the upper left.
        light = max(0.0, min(1.0, 1.0 - 0.9 * ((x - 0.3) + (y - 0.2))))
        return (int(150 + 105 * light), int(20 + 60 * light), int(20 + 40 * light))
    for nx in (0.14, 0.86):
        if (x - nx) ** 2 + (y - 0.88) ** 2 <= 0.09 ** 2:
            return (0, 160, 0)
    if 0.1 <= x <= 0.9 and abs(y - 0.88) <= 0.035:
        return (0, 0, 200)
    return None


def render(size, sub=4):
    """Supersampled picture: a grid of colours, None where mostly transparent."""
    grid = []
    for py in range(size):
        row = []
        for px in range(size):
            hits = []
            for sy in range(sub):
                for sx in range(sub):
                    c = sample((px + (sx + 0.5) / sub) / size, (py + (sy + 0.5) / sub) / size)
                    if c is not None:
                        hits.append(c)
            if len(hits) * 2 < sub * sub:
                row.append(None)
            else:
                row.append(tuple(sum(c[i] for c in hits) // len(hits) for i in range(3)))
        grid.append(row)
    # A dark outline where the pin meets transparency keeps it readable on any background.
    outlined = [list(r) for r in grid]
    for py in range(size):
        for px in range(size):
            c = grid[py][px]
            if c is None or c[0] < 140 or c[1] > 150:
                continue  # not the pin's red
            for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                qx, qy = px + dx, py + dy
                if not (0 <= qx < size and 0 <= qy < size) or grid[qy][qx] is None:
                    outlined[py][px] = (96, 0, 0)
                    break
    return outlined


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((colour[k] - palette[i][k]) ** 2 for k in range(3)))


def row_bytes(bits):
    return ((bits + 31) // 32) * 4


def image(size, bpp):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, AND mask (bottom-up)."""
    palette = VGA16 if bpp == 4 else palette8()
    grid = render(size)
    xor = bytearray()
    mask = bytearray()
    for py in reversed(range(size)):
        indices = [0 if c is None else nearest(c, palette) for c in grid[py]]
        line = bytearray(row_bytes(size * bpp))
        mline = bytearray(row_bytes(size))
        for px, index in enumerate(indices):
            if bpp == 4:
                line[px // 2] |= index << (4 if px % 2 == 0 else 0)
            else:
                line[px] = index
            if grid[py][px] is None:
                mline[px // 8] |= 0x80 >> (px % 8)
        xor += line
        mask += mline
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask),
                         0, 0, 0, 0)
    colours = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + colours + bytes(xor) + bytes(mask)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources",
                        "varnok.ico")
    if len(sys.argv) > 1:
        path = sys.argv[1]
    formats = [(16, 4), (16, 8), (32, 4), (32, 8)]
    images = [image(size, bpp) for size, bpp in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), data in zip(formats, images):
        out += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0, 0, 1, bpp, len(data),
                           offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

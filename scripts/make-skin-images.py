#!/usr/bin/env python3
"""Draws the background images the skin chooser offers and the seven-colour swatch.

Pure Python (zlib and struct only), so it runs on any build machine. The pictures are dark, like
the window, with a little colour so the controls stay readable over them. Run it from the
repository's top folder; it rewrites skin/common/background.png, skin/common/base1.png and
skin/skin/*.png.
"""
import math
import os
import struct
import zlib

W, H = 640, 410


def write_png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            r, g, b = pixel(x, y)
            rows += bytes((max(0, min(255, int(r))), max(0, min(255, int(g))), max(0, min(255, int(b)))))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(png)


BASE = (15, 18, 23)  # the window's own background colour


def glow(x, y, cx, cy, radius):
    d = math.hypot(x - cx, y - cy) / radius
    return max(0.0, 1.0 - d) ** 2


def mix(base, colour, amount):
    return tuple(b + (c - b) * amount for b, c in zip(base, colour))


def default_background(x, y):
    return mix(BASE, (22, 27, 35), y / H * 0.8)


def hexagons(x, y):
    size = 26.0
    # Distance to the nearest hexagon edge in a pointy-top grid (axial coordinates).
    q = (math.sqrt(3) / 3 * x - y / 3) / size
    r = (2 / 3 * y) / size
    cx, cz = q, r
    cy = -cx - cz
    rx, ry, rz = round(cx), round(cy), round(cz)
    dx, dy, dz = abs(rx - cx), abs(ry - cy), abs(rz - cz)
    if dx > dy and dx > dz:
        rx = -ry - rz
    elif dy > dz:
        ry = -rx - rz
    else:
        rz = -rx - ry
    edge = max(abs(cx - rx), abs(cy - ry), abs(cz - rz))
    line = max(0.0, (edge - 0.40) / 0.10)
    light = glow(x, y, W * 0.78, H * 0.25, W * 0.8)
    c = mix(BASE, (10, 36, 44), light * 0.8)
    return mix(c, (45, 226, 230), min(1.0, line) * (0.06 + 0.22 * light))


def aurora(x, y):
    a = glow(x, y, W * 0.2, H * 0.9, W * 0.75)
    b = glow(x, y, W * 0.85, H * 0.1, W * 0.7)
    wave = 0.5 + 0.5 * math.sin(x / 55.0 + y / 90.0)
    c = mix(BASE, (13, 122, 133), a * 0.45 * (0.7 + 0.3 * wave))
    return mix(c, (90, 63, 208), b * 0.45)


def grid(x, y):
    on = (x % 32 == 0) or (y % 32 == 0)
    vignette = glow(x, y, W / 2, H / 2, W * 0.75)
    c = mix((9, 11, 14), (24, 30, 40), vignette)
    return mix(c, (60, 72, 92), 0.35 * vignette) if on else c


def ember(x, y):
    a = glow(x, y, W * 0.5, H * 1.15, W * 0.85)
    streak = 0.5 + 0.5 * math.sin((x + y * 0.6) / 23.0)
    c = mix(BASE, (120, 38, 20), a * 0.55)
    return mix(c, (200, 90, 30), a * 0.12 * streak)


def seven_colours(x, y):
    hue = x / 63.0 * 6.0
    i = int(hue) % 6
    f = hue - int(hue)
    v = 255
    p, q, t = 0, v * (1 - f), v * f
    return [(v, t, p), (q, v, p), (p, v, t), (p, q, v), (t, p, v), (v, p, q)][i]


if __name__ == "__main__":
    write_png("skin/common/background.png", W, H, default_background)
    write_png("skin/common/base1.png", 64, 64, seven_colours)
    write_png("skin/skin/bg_hex.png", W, H, hexagons)
    write_png("skin/skin/bg_aurora.png", W, H, aurora)
    write_png("skin/skin/bg_grid.png", W, H, grid)
    write_png("skin/skin/bg_ember.png", W, H, ember)

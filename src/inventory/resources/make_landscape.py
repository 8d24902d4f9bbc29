#!/usr/bin/env python3
"""Draws the landscape shown in the preview tiles of the Final Cut Pro schematic.

Pure standard library: a dusk sky, a low sun, two mountain ranges and a lake that
mirrors them. Run it to regenerate fcp-guide-landscape.png next to this script.
"""
import math
import struct
import zlib
from pathlib import Path

WIDTH, HEIGHT = 372, 224  # four times the 93 x 56 tile, so it stays sharp on dense screens


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(lerp(x, y, t) for x, y in zip(c1, c2))


def ridge(x, base, amplitude, seed):
    """Height of a mountain ridge at column x: a few sines of different lengths."""
    y = base
    for i, (period, weight) in enumerate(((180, 1.0), (71, 0.45), (29, 0.18))):
        y -= amplitude * weight * (0.5 + 0.5 * math.sin(x / period * 2 * math.pi + seed * (i + 1.7)))
    return y


HORIZON = 150
SUN = (262.0, 84.0, 18.0)

SKY_TOP = (38, 52, 98)
SKY_MID = (214, 118, 96)
SKY_LOW = (252, 196, 120)
FAR = (112, 82, 120)
NEAR = (46, 40, 66)
WATER = (30, 44, 78)


def sky(x, y):
    t = y / HORIZON
    colour = mix(SKY_TOP, SKY_MID, t / 0.7) if t < 0.7 else mix(SKY_MID, SKY_LOW, (t - 0.7) / 0.3)
    sx, sy, r = SUN
    d = math.hypot(x - sx, y - sy)
    if d < r:
        colour = mix(colour, (255, 238, 190), 0.95)
    else:
        colour = mix(colour, (255, 214, 150), max(0.0, 0.55 - (d - r) / 90))
    return colour


def land(x, y):
    """Colour of the scene above the horizon, or None for open sky."""
    if y >= ridge(x, HORIZON + 6, 22, 0.4):
        return mix(NEAR, (20, 18, 34), (y - 120) / 40)
    if y >= ridge(x, HORIZON - 10, 30, 2.3):
        return mix(FAR, mix(SKY_MID, FAR, 0.6), 1 - (y - 90) / 60)
    return None


def pixel(x, y):
    if y < HORIZON:
        return land(x, y) or sky(x, y)
    mirrored = 2 * HORIZON - y - 1
    above = land(x, mirrored) or sky(x, mirrored)
    ripple = 0.05 * math.sin(y * 1.3 + math.sin(x / 9.0) * 2)
    depth = (y - HORIZON) / (HEIGHT - HORIZON)
    return mix(mix(above, WATER, 0.35 + 0.4 * depth), (255, 255, 255), max(0.0, ripple))


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            row.extend(int(round(max(0, min(255, c)))) for c in pixel(x, y))
        rows.append(row)
    out = Path(__file__).with_name("fcp-guide-landscape.png")
    out.write_bytes(png(WIDTH, HEIGHT, rows))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Paints the demo menu background: a lake at dusk with mountains, a low sun and pines.

Plain Python (standard library only), deterministic: the same PNG on every machine. The
build packs it into update.rct with vorlin-rct (demo/art/CMakeLists.txt).

    make_menu_art.py OUT.png [SIZE]      (SIZE defaults to 268: a square picture)
"""
import math
import struct
import sys
import zlib


def value_noise(x, seed):
    """Smooth 1-D noise in [0, 1): random values at integers, cosine-interpolated."""
    def at(i):
        h = (i * 2654435761 ^ seed * 40503) & 0xFFFFFFFF
        h ^= h >> 15
        h = (h * 2246822519) & 0xFFFFFFFF
        h ^= h >> 13
        return (h & 0xFFFF) / 65536.0
    f = math.floor(x)
    t = (1 - math.cos((x - f) * math.pi)) / 2
    return at(int(f)) * (1 - t) + at(int(f) + 1) * t


def ridge(x, seed, octaves=5):
    total, amp, norm = 0.0, 1.0, 0.0
    for o in range(octaves):
        total += value_noise(x, seed + o) * amp
        norm += amp
        x *= 2.03
        amp *= 0.48
    return total / norm


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def clamp01(v):
    return 0.0 if v < 0 else 1.0 if v > 1 else v


def paint(size):
    w = h = size
    horizon = h * 0.66
    sun_x, sun_y, sun_r = w * 0.64, horizon - h * 0.175, h * 0.07

    # Colours as (red, green, blue).
    zenith, upper, low, haze = (22, 24, 68), (74, 52, 112), (236, 146, 112), (252, 206, 150)
    sun_core, water_deep = (255, 240, 205), (18, 22, 48)
    ranges = [  # far to near: (colour, base height, roughness, scale, seed)
        ((186, 126, 140), 0.100, 0.16, 0.30, 11),
        ((132, 88, 120), 0.070, 0.12, 0.36, 23),
        ((84, 60, 100), 0.035, 0.09, 0.26, 37),
        ((46, 36, 70), 0.010, 0.05, 0.17, 51),
    ]
    ridge_rows = [[horizon - h * (base + rough * ridge(x / (w * scale), seed))
                   for x in range(w)] for (_, base, rough, scale, seed) in ranges]

    def sky(x, y):
        t = clamp01(y / horizon)
        if t < 0.45:
            c = mix(zenith, upper, t / 0.45)
        elif t < 0.85:
            c = mix(upper, low, (t - 0.45) / 0.40)
        else:
            c = mix(low, haze, (t - 0.85) / 0.15)
        d = math.hypot(x - sun_x, y - sun_y)
        glow = 0.55 * math.exp(-max(0.0, d - sun_r) / (h * 0.10))
        c = mix(c, haze, glow)
        if d < sun_r + 0.5:
            c = mix(c, sun_core, clamp01(sun_r + 0.5 - d))
        return c

    def landscape(x, y):
        """Sky and ranges at a point above the horizon (y may be fractional)."""
        c = sky(x, y)
        for k, (colour, *_rest) in enumerate(ranges):
            top = ridge_rows[k][x]
            cover = clamp01(y - top + 0.5)
            if cover > 0:
                # Lit from the sun side, fading into the haze at the foot.
                depth = clamp01((y - top) / (horizon - top + 1))
                shade = mix(colour, haze, 0.22 * (1 - depth) * (1 - k / 4))
                c = mix(c, shade, cover)
        return c

    # Stars: a few, in the darkest part of the sky.
    stars = {}
    seed = 7
    for i in range(38):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        sx = seed % w
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        sy = seed % int(horizon * 0.42)
        stars[(sx, sy)] = 0.35 + (i % 5) * 0.13

    # Pines on the left shore: (x of the trunk, height in pixels).
    pines = [(w * 0.05, h * 0.30), (w * 0.13, h * 0.22), (w * 0.20, h * 0.17),
             (w * 0.255, h * 0.12), (w * 0.30, h * 0.09)]
    shore = horizon + h * 0.035
    pine_colour = (16, 20, 34)

    def pine_cover(px, py):
        """How much of the pixel at (px, py) the pines cover, sampled 3x3."""
        hits = 0
        for sy in range(3):
            for sx in range(3):
                x = px + (sx + 0.5) / 3
                y = py + (sy + 0.5) / 3
                if shore - 1 < y < shore + h * 0.025 * (1 - x / (w * 0.37)):
                    hits += 1  # the dark bank the pines stand on, sloping into the lake
                    continue
                for (tx, th) in pines:
                    top = shore - th
                    if y < top or y > shore:
                        continue
                    f = (y - top) / th  # 0 at the tip, 1 at the ground
                    # Tiers: the outline widens down each tier, then steps back in.
                    tier = (f * 5) % 1
                    half = th * 0.22 * f * (0.55 + 0.45 * tier)
                    if abs(x - tx) < max(half, 0.6):
                        hits += 1
                        break
        return hits / 9

    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            if y < horizon:
                c = landscape(x, y + 0.5)
                b = stars.get((x, y))
                if b:
                    c = mix(c, (255, 250, 235), b * clamp01(1 - y / (horizon * 0.5)))
            else:
                # The lake mirrors the scene, darker and bluer with depth, broken by ripples.
                depth = (y - horizon) / (h - horizon)
                wave = math.sin(y * 1.7 + 2.5 * math.sin(x * 0.05 + y * 0.3))
                my = 2 * horizon - y - 1 + wave * (0.8 + 2.5 * depth)
                c = landscape(x, max(0.0, my))
                c = mix(c, water_deep, 0.30 + 0.45 * depth)
                # Glints under the sun.
                dx = abs(x - sun_x) / (w * (0.05 + 0.10 * depth))
                if dx < 1 and wave > 0.55:
                    c = mix(c, haze, 0.55 * (1 - dx) * (1 - depth * 0.6))
            if x < w * 0.4 and y > horizon - h * 0.32:
                cover = pine_cover(x, y)
                if cover:
                    c = mix(c, pine_colour, cover)
            row += bytes(int(clamp01(v / 255) * 255 + 0.5) for v in c)
        rows.append(bytes(row))
    return w, h, rows


def write_png(path, w, h, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + r for r in rows)
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(png)
    import os
    os.replace(tmp, path)


def main():
    if len(sys.argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    size = int(sys.argv[2]) if len(sys.argv) == 3 else 268
    w, h, rows = paint(size)
    write_png(sys.argv[1], w, h, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Draws the program's icon as PNG
files of the hicolor sizes, without any imaging library: a green rounded
square, a white series line over a light grid, and a database drum."""
import struct
import sys
import zlib
from pathlib import Path

BACK = (46, 125, 91)
GRID = (120, 180, 150)
LINE = (255, 255, 255)
DRUM = (250, 214, 102)
DRUM_EDGE = (160, 120, 30)
POINTS = [(40, 170), (80, 120), (112, 140), (150, 78), (186, 100), (216, 56)]


def inside_rounded(x, y):
    r = 44
    cx = min(max(x, 16 + r), 240 - r)
    cy = min(max(y, 16 + r), 240 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 16 <= x <= 240 and 16 <= y <= 240


def near_line(x, y, width):
    for (ax, ay), (bx, by) in zip(POINTS, POINTS[1:]):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        if (x - px) ** 2 + (y - py) ** 2 <= width * width:
            return True
    return any((x - px) ** 2 + (y - py) ** 2 <= (width * 1.9) ** 2 for px, py in POINTS)


def drum(x, y):
    """The database drum at the lower right: body, top ellipse, its rim."""
    cx, top, bottom, rx, ry = 186, 168, 214, 34, 10
    def in_ellipse(ey):
        return ((x - cx) / rx) ** 2 + ((y - ey) / ry) ** 2 <= 1.0
    if in_ellipse(top) and not ((x - cx) / (rx - 3)) ** 2 + ((y - top) / (ry - 3)) ** 2 <= 1.0:
        return DRUM_EDGE
    if in_ellipse(top):
        return DRUM
    if (abs(x - cx) <= rx and top <= y <= bottom) or in_ellipse(bottom):
        return DRUM_EDGE if abs(x - cx) >= rx - 2.5 or (y > bottom and not in_ellipse(bottom - 3)) else DRUM
    return None


def colour(x, y):
    if not inside_rounded(x, y):
        return None
    found = drum(x, y)
    if found:
        return found
    if near_line(x, y, 7):
        return LINE
    if (int(x) - 16) % 56 < 2 or (int(y) - 16) % 56 < 2:
        return GRID
    return BACK


def render(size, samples=4):
    rows = []
    scale = 256.0 / size
    for py in range(size):
        row = bytearray([0])
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour((px + (sx + 0.5) / samples) * scale, (py + (sy + 0.5) / samples) * scale)
                    if c:
                        acc[0] += c[0]; acc[1] += c[1]; acc[2] += c[2]; acc[3] += 255
            n = samples * samples
            alpha = acc[3] // n
            if alpha:
                row += bytes([acc[0] * 255 // acc[3], acc[1] * 255 // acc[3], acc[2] * 255 // acc[3], alpha])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent)
    for size in (16, 32, 48, 64, 128, 256):
        (out / f"vireoimport-{size}.png").write_bytes(render(size))

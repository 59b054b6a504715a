#!/usr/bin/env python3
"""Draws Tolvane's application icon: one 32x32 image in 16 colours.

A navy tile with rounded corners; its left half is speckled (a noisy photo),
its right half smooth (the cleaned one), and a yellow "T" stands across both.
Writes src/app/tolvane.ico. Run it again only to change the picture.
"""
import random
import struct
import sys

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, GREY, SILVER, YELLOW, BLUE, WHITE = 4, 8, 7, 11, 12, 15
N = 32


def draw():
    rnd = random.Random(1951)
    px = [[None] * N for _ in range(N)]  # None = transparent
    for y in range(N):
        for x in range(N):
            # Rounded corners of radius 5.
            cx = min(max(x, 5), N - 6)
            cy = min(max(y, 5), N - 6)
            if (x - cx) ** 2 + (y - cy) ** 2 > 25:
                continue
            if x < 16:
                px[y][x] = rnd.choice([NAVY, NAVY, BLUE, GREY, SILVER])
            else:
                px[y][x] = BLUE if y < 16 else NAVY
    # The "T": a bar and a stem, with a white edge on top.
    for y in range(6, 10):
        for x in range(6, 26):
            px[y][x] = WHITE if y == 6 else YELLOW
    for y in range(10, 27):
        for x in range(13, 19):
            px[y][x] = YELLOW
    return px


def ico(px):
    xor = bytearray()
    andm = bytearray()
    for y in reversed(range(N)):  # bottom-up rows
        row = px[y]
        for x in range(0, N, 2):
            a = row[x] if row[x] is not None else 0
            b = row[x + 1] if row[x + 1] is not None else 0
            xor.append((a << 4) | b)
        bits = 0
        for x in range(N):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        andm += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, N, 2 * N, 1, 4, 0, len(xor) + len(andm), 0, 0, 16, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + pal + bytes(xor) + bytes(andm)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", N, N, 16, 0, 1, 4, len(image), 6 + 16)
    return icondir + entry + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "src/app/tolvane.ico"
    with open(out, "wb") as f:
        f.write(ico(draw()))

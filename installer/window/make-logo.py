#!/usr/bin/env python3
"""Draws the installer's logo, a 200 x 45 wordmark, into logo.bmp (24-bit).

The background is the main window's colour; its bottom-left pixel is the
colour drawn transparent. Run by hand after a change; the output is committed.
"""
import math
import struct
import sys

WIDTH, HEIGHT = 200, 45
BACKGROUND = (244, 254, 236)
BADGE = (0, 112, 122)
TRACE = (255, 255, 255)
LETTERS = (22, 58, 88)
ACCENT = (0, 160, 150)
SAMPLES = 4  # per pixel and axis, for smooth edges

GLYPHS = {
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
}
WORD = "TARVANO"
SCALE = 3
TEXT_LEFT, TEXT_TOP = 54, 6
BADGE_LEFT, BADGE_TOP, BADGE_SIZE, BADGE_RADIUS = 2, 2, 41, 8


def in_badge(x, y):
    cx = min(max(x, BADGE_LEFT + BADGE_RADIUS), BADGE_LEFT + BADGE_SIZE - BADGE_RADIUS)
    cy = min(max(y, BADGE_TOP + BADGE_RADIUS), BADGE_TOP + BADGE_SIZE - BADGE_RADIUS)
    return (x - cx) ** 2 + (y - cy) ** 2 <= BADGE_RADIUS**2


def on_trace(x, y):
    # One and a half periods of a sine wave across the badge, 2.4 pixels thick.
    if not BADGE_LEFT + 6 <= x <= BADGE_LEFT + BADGE_SIZE - 6:
        return False
    phase = (x - BADGE_LEFT - 6) / (BADGE_SIZE - 12) * 3 * math.pi
    centre = BADGE_TOP + BADGE_SIZE / 2 - 10 * math.sin(phase)
    slope = 10 * math.cos(phase) * 3 * math.pi / (BADGE_SIZE - 12)
    return abs(y - centre) <= 1.2 * math.sqrt(1 + slope * slope)


def in_letter(x, y):
    column, row = int((x - TEXT_LEFT) // SCALE), int((y - TEXT_TOP) // SCALE)
    if x < TEXT_LEFT or not 0 <= row < 7:
        return False
    letter, within = divmod(column, 6)  # five columns and one of space
    if letter >= len(WORD) or within == 5:
        return False
    return GLYPHS[WORD[letter]][row][within] == "1"


def in_accent(x, y):
    return TEXT_LEFT <= x < TEXT_LEFT + (len(WORD) * 6 - 1) * SCALE and 33 <= y < 36


def colour_at(x, y):
    if in_badge(x, y):
        return TRACE if on_trace(x, y) else BADGE
    if in_letter(x, y):
        return LETTERS
    if in_accent(x, y):
        return ACCENT
    return BACKGROUND


def pixel(px, py):
    total = [0, 0, 0]
    for i in range(SAMPLES):
        for j in range(SAMPLES):
            c = colour_at(px + (i + 0.5) / SAMPLES, py + (j + 0.5) / SAMPLES)
            total = [t + v for t, v in zip(total, c)]
    return tuple(round(t / SAMPLES**2) for t in total)


def main(path):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    rows = []
    for py in reversed(range(HEIGHT)):  # bottom-up
        row = bytearray()
        for px in range(WIDTH):
            r, g, b = pixel(px, py)
            row += bytes((b, g, r))
        rows.append(bytes(row) + bytes(row_size - len(row)))
    image = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(image), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "logo.bmp")

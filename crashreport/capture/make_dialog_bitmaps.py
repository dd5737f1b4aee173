#!/usr/bin/env python3
"""Draws the reporter dialogs' pictures as 24-bit BMP files into the folder given.

Every picture has magenta (255, 0, 255) in its top-left pixel: the dialogs draw that colour
transparent."""
import math
import struct
import sys
from pathlib import Path

MAGENTA = (255, 0, 255)


def write_bmp(path, pixels):
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    rows = b""
    for row in reversed(pixels):  # bottom-up
        line = b"".join(bytes((b, g, r)) for (r, g, b) in row)
        rows += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    path.write_bytes(header + info + rows)


def canvas(size):
    return [[MAGENTA] * size for _ in range(size)]


def error_picture():
    # A red disc with a white cross.
    p = canvas(32)
    for y in range(32):
        for x in range(32):
            d = math.hypot(x - 15.5, y - 15.5)
            if d <= 14.5:
                p[y][x] = (200, 30, 30) if d > 12.5 else (230, 50, 40)
            if d <= 11 and (abs((x - 15.5) - (y - 15.5)) < 2.2 or abs((x - 15.5) + (y - 15.5)) < 2.2):
                p[y][x] = (255, 255, 255)
    return p


def send_picture():
    # An envelope with a green arrow.
    p = canvas(32)
    for y in range(8, 26):
        for x in range(2, 26):
            edge = y in (8, 25) or x in (2, 25)
            p[y][x] = (60, 60, 60) if edge else (250, 245, 220)
    for x in range(2, 26):
        y = 8 + (x - 2) // 2 if x < 14 else 8 + (25 - x) // 2
        p[y][x] = (60, 60, 60)
    for y in range(14, 26):
        for x in range(22, 31):
            if abs(y - 20) <= (30 - x) // 1.5 or (x < 26 and abs(y - 20) <= 1):
                p[y][x] = (20, 150, 40)
    return p


def module_picture(body, mark):
    # A 16x16 page with a coloured band telling the kind of module.
    p = canvas(16)
    for y in range(1, 15):
        for x in range(2, 14):
            edge = y in (1, 14) or x in (2, 13)
            p[y][x] = (70, 70, 70) if edge else (255, 255, 255)
    for y in range(3, 7):
        for x in range(4, 12):
            p[y][x] = body
    for y, x in mark:
        p[y][x] = body
    return p


def sign_picture(plus):
    p = canvas(13)
    for y in range(2, 11):
        for x in range(2, 11):
            edge = y in (2, 10) or x in (2, 10)
            p[y][x] = (128, 128, 128) if edge else (255, 255, 255)
    for x in range(4, 9):
        p[6][x] = (0, 0, 0)
    if plus:
        for y in range(4, 9):
            p[y][6] = (0, 0, 0)
    return p


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    lines = [(y, x) for y in (9, 11) for x in range(4, 12)]
    pictures = {
        "EL_Error": error_picture(),
        "EL_Send": send_picture(),
        "EL_DLL": module_picture((90, 110, 200), lines),
        "EL_BPL": module_picture((200, 120, 30), lines),
        "EL_VCL": module_picture((40, 150, 60), lines),
        "EL_PAS": module_picture((150, 60, 160), [(y, 5) for y in range(8, 13)]),
        "EL_PLUS": sign_picture(True),
        "EL_MINUS": sign_picture(False),
    }
    for name, pixels in pictures.items():
        write_bmp(out / (name + ".bmp"), pixels)


if __name__ == "__main__":
    main()

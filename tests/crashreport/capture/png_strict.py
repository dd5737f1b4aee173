#!/usr/bin/env python3
"""Strict reading of a palette PNG: signature, chunk order, every CRC, IHDR fields, the IDAT
sizes, the zlib stream and every row's filter byte. Optionally compares the pixels with raw
RGB bytes and checks the file with PIL as well. Exit status 0 when all holds."""
import struct
import sys
import zlib


def fail(msg):
    print("png_strict:", msg)
    sys.exit(1)


def main():
    path = sys.argv[1]
    expected_rgb = None
    idat_size = None
    for arg in sys.argv[2:]:
        if arg.startswith("--rgb="):
            expected_rgb = open(arg[6:], "rb").read()
        elif arg.startswith("--idat="):
            idat_size = int(arg[7:])
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("signature")
    pos, chunks = 8, []
    while pos < len(data):
        if pos + 12 > len(data):
            fail("truncated chunk at %d" % pos)
        length, ctype = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(ctype + body) & 0xFFFFFFFF != crc:
            fail("CRC of %s at %d" % (ctype, pos))
        chunks.append((ctype, body))
        pos += 12 + length
    types = [c[0] for c in chunks]
    if types[0] != b"IHDR" or types[1] != b"PLTE" or types[-1] != b"IEND" or chunks[-1][1]:
        fail("chunk order %s" % types[:4])
    if set(types[2:-1]) != {b"IDAT"}:
        fail("chunks between PLTE and IEND: %s" % set(types[2:-1]))
    width, height, depth, colour, comp, filt, inter = struct.unpack(">IIBBBBB", chunks[0][1])
    if (depth, colour, comp, filt, inter) != (8, 3, 0, 0, 0) or len(chunks[1][1]) != 768:
        fail("IHDR or PLTE fields")
    idats = [c[1] for c in chunks if c[0] == b"IDAT"]
    if idat_size is not None:
        if any(len(d) != idat_size for d in idats[:-1]) or not 0 < len(idats[-1]) <= idat_size:
            fail("IDAT sizes %s" % [len(d) for d in idats])
    raw = zlib.decompress(b"".join(idats))
    if len(raw) != height * (width + 1):
        fail("image data %d bytes for %dx%d" % (len(raw), width, height))
    palette = chunks[1][1]
    rgb = bytearray()
    for y in range(height):
        row = raw[y * (width + 1):(y + 1) * (width + 1)]
        if row[0] != 0:
            fail("filter byte of row %d" % y)
        for i in row[1:]:
            rgb += palette[3 * i:3 * i + 3]
    if expected_rgb is not None and bytes(rgb) != expected_rgb:
        first = next(i for i in range(len(rgb)) if rgb[i] != expected_rgb[i])
        fail("pixel %d differs" % (first // 3))
    try:
        from PIL import Image
    except ImportError:
        fail("PIL is missing (python3-pil)")
    with Image.open(path) as im:
        im.load()
        if im.size != (width, height) or im.mode != "P":
            fail("PIL reads %s %s" % (im.size, im.mode))
        if expected_rgb is not None and im.convert("RGB").tobytes() != expected_rgb:
            fail("PIL pixels differ")
    print("png_strict: %dx%d, %d IDAT chunks, ok" % (width, height, len(idats)))


main()

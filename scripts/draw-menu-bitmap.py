#!/usr/bin/env python3
"""Draws res/menu_bitmap.bmp, the picture beside the menu entry: a printed page with a
photograph on it (sky, sun, hills) and two lines of text, its corner folded.

12 x 12 pixels, 8 bits per pixel, a 256-entry colour table, uncompressed: 1,208 bytes once
the 14-byte file header is gone (as a resource). Run it again after changing the drawing.
Usage: scripts/draw-menu-bitmap.py [output.bmp] [--preview preview.png]
"""
import struct
import sys
import zlib

PICTURE = [
    ".1111111....",
    ".12222211...",
    ".122222171..",
    ".1222221111.",
    ".1233334421.",
    ".1233334421.",
    ".1235333521.",
    ".1255555521.",
    ".1222222221.",
    ".1266666621.",
    ".1266662221.",
    ".1111111111.",
]

COLOURS = {  # index: (red, green, blue)
    ".": (0xF0, 0xF0, 0xF0),  # menu background
    "1": (0x40, 0x40, 0x48),  # outline
    "2": (0xFF, 0xFF, 0xFF),  # paper
    "3": (0x5A, 0xA0, 0xE6),  # sky
    "4": (0xFF, 0xC8, 0x1E),  # sun
    "5": (0x3C, 0xA0, 0x3C),  # hills
    "6": (0x9A, 0x9A, 0xA6),  # text
    "7": (0xC8, 0xC8, 0xC8),  # folded corner
}
ORDER = ".12345678"
SIZE = 12


def indices():
    assert len(PICTURE) == SIZE and all(len(row) == SIZE for row in PICTURE)
    return [[ORDER.index(cell) for cell in row] for row in PICTURE]


def bitmap():
    table = bytearray(256 * 4)
    for index, key in enumerate(ORDER):
        if key in COLOURS:
            red, green, blue = COLOURS[key]
            table[index * 4:index * 4 + 4] = bytes((blue, green, red, 0))
    stride = (SIZE + 3) & ~3
    pixels = bytearray()
    for row in reversed(indices()):  # bottom-up
        pixels += bytes(row) + bytes(stride - SIZE)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    resource = info + bytes(table) + bytes(pixels)
    assert len(resource) == 1208
    header = struct.pack("<2sIHHI", b"BM", 14 + len(resource), 0, 0, 14 + 40 + len(table))
    return header + resource


def preview(scale=16):
    rows = []
    for row in indices():
        line = bytearray()
        for index in row:
            line += bytes(COLOURS[ORDER[index]]) * scale
        rows += [b"\x00" + bytes(line)] * scale
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    width = height = SIZE * scale
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


if __name__ == "__main__":
    arguments = sys.argv[1:]
    output = "res/menu_bitmap.bmp"
    if arguments and not arguments[0].startswith("--"):
        output = arguments.pop(0)
    with open(output, "wb") as file:
        file.write(bitmap())
    if arguments[:1] == ["--preview"] and len(arguments) == 2:
        with open(arguments[1], "wb") as file:
            file.write(preview())

#!/usr/bin/env python3
"""Draws res/menu_bitmap.bmp, the picture beside the menu entry: a printed page with a
photograph on it (sky, sun, hills) and two lines of text, its corner folded.

12 x 12 pixels, 8 bits per pixel, a 256-entry colour table, uncompressed: 1,208 bytes once
the 14-byte file header is gone (as a resource). Run it again after changing the drawing.

With --icon it also draws res/menu_icon.ico, the same picture for Windows 11's first-level
menu: 16 pixels (the picture with a 2-pixel margin) and 32 pixels (the picture doubled, with a
4-pixel margin), 16 colours each, the menu background and the margin transparent.
Usage: scripts/draw-menu-bitmap.py [output.bmp] [--icon [output.ico]] [--preview preview.png]
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


# (size, scale, margin) of each icon image; the picture fills size - 2 * margin pixels.
ICON_IMAGES = [(16, 1, 2), (32, 2, 4)]


def icon_image(size, scale, margin):
    """One image of the icon: 4 bits per pixel, colour 0 black where the mask makes it clear."""
    picture = indices()
    table = bytearray(16 * 4)
    for index, key in enumerate(ORDER):
        if key in COLOURS and key != ".":
            red, green, blue = COLOURS[key]
            table[index * 4:index * 4 + 4] = bytes((blue, green, red, 0))
    def cell(x, y):
        px, py = (x - margin) // scale, (y - margin) // scale
        inside = 0 <= x - margin < SIZE * scale and 0 <= y - margin < SIZE * scale
        return picture[py][px] if inside else 0
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours, mask = bytearray(), bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = [cell(x, y) for x in range(size)]
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, size, 2))
        colours += packed + bytes(colour_stride - len(packed))
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] == 0 else 0)
        mask += bits.to_bytes(size // 8, "big") + bytes(mask_stride - size // 8)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    return info + bytes(table) + bytes(colours) + bytes(mask)


def icon():
    images = [icon_image(*image) for image in ICON_IMAGES]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for (size, _, _), image in zip(ICON_IMAGES, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return header + entries + b"".join(images)


if __name__ == "__main__":
    arguments = sys.argv[1:]
    output = "res/menu_bitmap.bmp"
    if arguments and not arguments[0].startswith("--"):
        output = arguments.pop(0)
    with open(output, "wb") as file:
        file.write(bitmap())
    if arguments[:1] == ["--icon"]:
        arguments.pop(0)
        icon_output = "res/menu_icon.ico"
        if arguments and not arguments[0].startswith("--"):
            icon_output = arguments.pop(0)
        with open(icon_output, "wb") as file:
            file.write(icon())
    if arguments[:1] == ["--preview"] and len(arguments) == 2:
        with open(arguments[1], "wb") as file:
            file.write(preview())

#!/usr/bin/env python3
"""msix-pack.py pack <packaging folder> <output.msix> <seconds since 1970>
msix-pack.py stamp-signature <signed.msix> <seconds since 1970>

pack: packs Windows 11's sparse package, unsigned: the folder's AppxManifest.xml and everything
under its Assets folder, then the package's block map (AppxBlockMap.xml: for each file its size,
the size of its local header in the ZIP, and the SHA-256 of each 64 KiB block) and its content
types ([Content_Types].xml), as a ZIP archive. The files of the block map are stored
uncompressed, so that no block needs a compressed size; the content types are deflated, as
osslsigncode expects (2.9 rewrites that entry deflated but keeps its method). Every entry
carries the given time (the last commit's), and the entries come in a fixed order, so that the
same sources give the same bytes.

stamp-signature: the signing step adds AppxSignature.p7x with the clock's time; this gives
that entry the given time instead. The signature covers every entry but its own, so it stays
valid.
"""
import base64
import hashlib
import os
import struct
import sys
import time
import zlib

BLOCK = 65536
BLOCK_MAP_NAMESPACE = "http://schemas.microsoft.com/appx/2010/blockmap"
SHA256 = "http://www.w3.org/2001/04/xmlenc#sha256"
CONTENT_TYPES_NAMESPACE = "http://schemas.openxmlformats.org/package/2006/content-types"
MEDIA_TYPES = {"png": "image/png", "jpg": "image/jpeg", "ico": "image/x-icon", "xml": "application/xml"}
OVERRIDES = {"/AppxManifest.xml": "application/vnd.ms-appx.manifest+xml",
             "/AppxBlockMap.xml": "application/vnd.ms-appx.blockmap+xml"}


def payload(folder):
    """(name in the package, bytes) of the manifest's files: the assets in name order, then the manifest."""
    files = []
    for directory, _, names in sorted(os.walk(os.path.join(folder, "Assets"))):
        for name in sorted(names):
            path = os.path.join(directory, name)
            files.append((os.path.relpath(path, folder).replace(os.sep, "/"), open(path, "rb").read()))
    files.append(("AppxManifest.xml", open(os.path.join(folder, "AppxManifest.xml"), "rb").read()))
    return files


def dos_time(seconds):
    moment = time.gmtime(max(seconds, 315532800))  # the ZIP format starts in 1980
    return ((moment.tm_hour << 11) | (moment.tm_min << 5) | (moment.tm_sec // 2),
            ((moment.tm_year - 1980) << 9) | (moment.tm_mon << 5) | moment.tm_mday)


def deflated(data):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    return compressor.compress(data) + compressor.flush()


def local_header(name, data, stamp, method=0, stored=None):
    encoded, stored = name.encode("utf-8"), data if stored is None else stored
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, stamp[0], stamp[1], zlib.crc32(data),
                       len(stored), len(data), len(encoded), 0) + encoded


def block_map(files, stamp):
    lines = ['<?xml version="1.0" encoding="UTF-8" standalone="no"?>',
             f'<BlockMap xmlns="{BLOCK_MAP_NAMESPACE}" HashMethod="{SHA256}">']
    for name, data in files:
        lfh = len(local_header(name, data, stamp))
        lines.append(f'<File Name="{name.replace("/", chr(92))}" Size="{len(data)}" LfhSize="{lfh}">')
        for start in range(0, len(data), BLOCK):
            digest = base64.b64encode(hashlib.sha256(data[start:start + BLOCK]).digest()).decode()
            lines.append(f'<Block Hash="{digest}"/>')
        lines.append("</File>")
    lines.append("</BlockMap>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def content_types(files):
    extensions = sorted({name.rsplit(".", 1)[-1].lower() for name, _ in files if "." in name and name not in
                         ("AppxManifest.xml",)})
    parts = [f'<Default Extension="{extension}" ContentType="{MEDIA_TYPES.get(extension, "application/octet-stream")}"/>'
             for extension in extensions]
    parts += [f'<Override PartName="{part}" ContentType="{kind}"/>' for part, kind in OVERRIDES.items()]
    return ('<?xml version="1.0" encoding="UTF-8"?>\r\n'
            f'<Types xmlns="{CONTENT_TYPES_NAMESPACE}">{"".join(parts)}</Types>\r\n').encode("utf-8")


def pack(folder, output, seconds):
    stamp = dos_time(seconds)
    files = payload(folder)
    entries = [(name, data, 0) for name, data in files]
    entries += [("AppxBlockMap.xml", block_map(files, stamp), 0), ("[Content_Types].xml", content_types(files), 8)]
    archive, directory = bytearray(), bytearray()
    for name, data, method in entries:
        offset, stored = len(archive), deflated(data) if method else data
        archive += local_header(name, data, stamp, method, stored) + stored
        encoded = name.encode("utf-8")
        directory += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, stamp[0], stamp[1],
                                 zlib.crc32(data), len(stored), len(data), len(encoded), 0, 0, 0, 0, 0,
                                 offset) + encoded
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(directory), len(archive), 0)
    with open(output, "wb") as package:
        package.write(archive + directory + end)


def stamp_signature(path, seconds):
    data = bytearray(open(path, "rb").read())
    end = data.rfind(struct.pack("<I", 0x06054B50))
    count, size, start = struct.unpack_from("<HII", data, end + 10)
    found = 0
    for _ in range(count):
        name_length, extra, comment = struct.unpack_from("<HHH", data, start + 28)
        if data[start + 46:start + 46 + name_length] == b"AppxSignature.p7x":
            local, = struct.unpack_from("<I", data, start + 42)
            for at in (start + 12, local + 10):  # the time and date words of both headers
                struct.pack_into("<HH", data, at, *dos_time(seconds))
            found += 1
        start += 46 + name_length + extra + comment
    if found != 1:
        sys.exit(f"msix-pack: {path} holds {found} signature entries, expected one")
    open(path, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) == 5 and sys.argv[1] == "pack" and sys.argv[4].isdigit():
        pack(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    elif len(sys.argv) == 4 and sys.argv[1] == "stamp-signature" and sys.argv[3].isdigit():
        stamp_signature(sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit(__doc__)

#!/usr/bin/env python3
"""check_msix.py <vtlMenu.msix> <AppxManifest.xml>

Reads the sparse package as any ZIP reader does and fails unless its block map describes its
files exactly (each file's size, local header size and the SHA-256 of every 64 KiB block), its
content types name every part, and its manifest is the given one, byte for byte.
"""
import base64
import hashlib
import struct
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

package, raw = zipfile.ZipFile(sys.argv[1]), open(sys.argv[1], "rb").read()
problems = [] if package.testzip() is None else ["a CRC does not match"]
entries = {entry.filename: entry for entry in package.infolist()}
blocks = "{http://schemas.microsoft.com/appx/2010/blockmap}"
listed = set()
for file in ElementTree.fromstring(package.read("AppxBlockMap.xml")).iter(blocks + "File"):
    name = file.get("Name").replace("\\", "/")
    data, listed = package.read(name), listed | {name}
    header = 30 + sum(struct.unpack_from("<HH", raw, entries[name].header_offset + 26))
    hashes = [base64.b64decode(block.get("Hash")) for block in file.iter(blocks + "Block")]
    if (int(file.get("Size")), int(file.get("LfhSize")), hashes) != (
            len(data), header, [hashlib.sha256(data[at:at + 65536]).digest() for at in range(0, len(data), 65536)]):
        problems.append(f"the block map does not describe {name}")
if listed != set(entries) - {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}:
    problems.append(f"the block map lists {sorted(listed)}, the package holds {sorted(entries)}")
types = ElementTree.fromstring(package.read("[Content_Types].xml"))
named = {node.get("Extension") or node.get("PartName") for node in types}
for name in set(entries) - {"[Content_Types].xml"}:
    if "/" + name not in named and name.rsplit(".", 1)[-1] not in named:
        problems.append(f"no content type for {name}")
if package.read("AppxManifest.xml") != open(sys.argv[2], "rb").read():
    problems.append("AppxManifest.xml differs from the manifest in packaging/")
print("\n".join(problems) or f"{sys.argv[1]}: block map matches its {len(listed)} files; manifest as in packaging/")
sys.exit(1 if problems else 0)

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

package, manifest = zipfile.ZipFile(sys.argv[1]), open(sys.argv[2], "rb").read()
raw = open(sys.argv[1], "rb").read()
problems = [] if package.testzip() is None else ["a CRC does not match"]
entries = {entry.filename: entry for entry in package.infolist()}
FOOTPRINT = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
namespace = {"b": "http://schemas.microsoft.com/appx/2010/blockmap"}
block_map = ElementTree.fromstring(package.read("AppxBlockMap.xml"))
listed = set()
for file in block_map.findall("b:File", namespace):
    name = file.get("Name").replace("\\", "/")
    listed.add(name)
    data, entry = package.read(name), entries[name]
    local_header = 30 + sum(struct.unpack_from("<HH", raw, entry.header_offset + 26))
    hashes = [base64.b64decode(block.get("Hash")) for block in file.findall("b:Block", namespace)]
    expected = [hashlib.sha256(data[start:start + 65536]).digest() for start in range(0, len(data), 65536)]
    if int(file.get("Size")) != len(data) or int(file.get("LfhSize")) != local_header or hashes != expected:
        problems.append(f"the block map does not describe {name}")
if listed != set(entries) - FOOTPRINT:
    problems.append(f"the block map lists {sorted(listed)}, the package holds {sorted(set(entries) - FOOTPRINT)}")
types = ElementTree.fromstring(package.read("[Content_Types].xml"))
defaults = {node.get("Extension") for node in types if node.tag.endswith("Default")}
overrides = {node.get("PartName") for node in types if node.tag.endswith("Override")}
for name in set(entries) - {"[Content_Types].xml"}:
    if "/" + name not in overrides and name.rsplit(".", 1)[-1] not in defaults:
        problems.append(f"no content type for {name}")
if package.read("AppxManifest.xml") != manifest:
    problems.append("AppxManifest.xml differs from the manifest in packaging/")
print("\n".join(problems) or f"{sys.argv[1]}: block map matches its {len(listed)} files; manifest as in packaging/")
sys.exit(1 if problems else 0)

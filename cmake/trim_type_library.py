#!/usr/bin/env python3
"""trim_type_library.py <compiled.tlb> <output.tlb> <time file>

The IDL compiler stamps every type library with three custom-data items on the library: its
version number and the build time (each a 32-bit unsigned value) and a text banner naming the
compiler, which holds the time again. Our libraries carry the first two only. This step unlinks
the banner from the library's custom-data list and blanks its text, and puts the build's fixed
time (the number in <time file>, see source_date_epoch.py) in place of the compiler's clock, so
that two builds of the same sources give the same library; everything else is copied unchanged.

The file is the platform's "MSFT" format: a fixed header, one offset per type description, a
directory of 15 segments (offset, length, two reserved words), then the segments. Custom data
of the library is a chain of 12-byte entries (GUID offset, data offset, next entry) in segment
12, starting at the header's custom-data offset; the GUIDs live in segment 5 (24-byte records)
and the values in segment 11 (a 16-bit variant type, then the value).
"""
import struct
import sys
import uuid

MAGIC = 0x5446534D  # "MSFT"
BANNER = uuid.UUID("DE77BA65-517C-11D1-A2DA-0000F8773CE9")
BUILD_TIME = uuid.UUID("DE77BA63-517C-11D1-A2DA-0000F8773CE9")
KEPT = {BUILD_TIME, uuid.UUID("DE77BA64-517C-11D1-A2DA-0000F8773CE9")}  # and the compiler's version
VT_BSTR, VT_UI4 = 8, 19
HEADER_CUSTOM_DATA = 0x40
GUID_SEGMENT, CUSTOM_DATA_SEGMENT, CUSTOM_GUID_SEGMENT = 5, 11, 12


def fail(message):
    sys.exit(f"trim_type_library: {message}")


def segments(data):
    varflags, = struct.unpack_from("<i", data, 0x14)
    typeinfo_count, = struct.unpack_from("<i", data, 0x20)
    directory = 0x54 + (4 if varflags & 0x100 else 0) + 4 * typeinfo_count
    return [struct.unpack_from("<ii", data, directory + 16 * index) for index in range(15)]


def main(source, target, time_file):
    build_time = int(open(time_file).read())
    data = bytearray(open(source, "rb").read())
    if len(data) < 0x54 or struct.unpack_from("<I", data, 0)[0] != MAGIC:
        fail(f"{source} is not a compiled type library")
    table = segments(data)
    guids, values, chain = (table[GUID_SEGMENT][0], table[CUSTOM_DATA_SEGMENT][0],
                            table[CUSTOM_GUID_SEGMENT][0])

    def guid_at(offset):
        return uuid.UUID(bytes_le=bytes(data[guids + offset:guids + offset + 16]))

    # Walk the chain, remembering where each link is stored so that one can be unlinked.
    link_at = HEADER_CUSTOM_DATA
    entry, = struct.unpack_from("<i", data, link_at)
    kept = []
    found = False
    while entry != -1:
        position = chain + entry
        guid_offset, value_offset, following = struct.unpack_from("<iii", data, position)
        guid = guid_at(guid_offset)
        value_type, = struct.unpack_from("<H", data, values + value_offset)
        if guid == BANNER:
            if value_type != VT_BSTR:
                fail("the compiler's banner is not a string")
            length, = struct.unpack_from("<i", data, values + value_offset + 2)
            struct.pack_into("<i", data, link_at, following)
            blank = values + value_offset
            data[blank:blank + 6 + length] = bytes(6 + length)
            found = True
        else:
            if guid not in KEPT or value_type != VT_UI4:
                fail(f"unexpected custom data {guid} of type {value_type}")
            kept.append(guid)
            if guid == BUILD_TIME:
                struct.pack_into("<I", data, values + value_offset + 2, build_time)
            link_at = position + 8
        entry = following
    if not found:
        fail("the compiled library carries no banner: check what the compiler writes now")
    if sorted(kept) != sorted(KEPT):
        fail(f"the library keeps {kept}, expected the version number and the time stamp")
    open(target, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3])

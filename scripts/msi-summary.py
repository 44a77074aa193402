#!/usr/bin/env python3
"""msi-summary.py <package.msi> <seconds since 1970>

Makes an installer package a function of its content alone. wixl stamps the package's summary
information with the clock (the creation and last-saved times) and with a random package code
(the revision number). This rewrites them in place: both times become the given one (the last
commit's, SOURCE_DATE_EPOCH), and the package code becomes a GUID made from the SHA-256 of the
package itself, taken with the code blanked. Two packages with different content thus get
different codes, as the Installer requires, and two builds of the same sources the same bytes.
Prints the package code.

The package is a compound file: a FAT of sectors, a directory, and a mini stream of 64-byte
sectors for the small streams, where the summary information lives. Its bytes are changed
where they lie, with their lengths unchanged.
"""
import hashlib
import struct
import sys
import uuid

SUMMARY_STREAM = "\x05SummaryInformation"
PACKAGE_CODE, CREATED, LAST_SAVED = 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64
END_OF_CHAIN = 0xFFFFFFFE
# Package codes are name-based GUIDs in this namespace, named by the package's digest.
NAMESPACE = uuid.UUID("5B0E6F3C-2A71-4D8E-9C46-0E1F7A93B2D5")
FILETIME_1970 = 116444736000000000  # 1970-01-01 in 100-nanosecond units since 1601


def fail(message):
    sys.exit(f"msi-summary: {message}")


class CompoundFile:
    def __init__(self, data):
        if data[:8] != bytes.fromhex("D0CF11E0A1B11AE1"):
            fail("not a compound file")
        self.data = data
        self.sector = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_sector = 1 << struct.unpack_from("<H", data, 0x20)[0]
        directory, self.cutoff, mini_fat, _, difat, difat_count = struct.unpack_from("<I4xIIIII", data, 0x30)
        fat_sectors = list(struct.unpack_from("<109I", data, 0x4C))
        per_sector = self.sector // 4
        for _ in range(difat_count):
            entries = struct.unpack_from(f"<{per_sector}I", data, self.offset(difat))
            fat_sectors += entries[:-1]
            difat = entries[-1]
        self.fat = []
        for number in fat_sectors:
            if number < END_OF_CHAIN:
                self.fat += struct.unpack_from(f"<{per_sector}I", data, self.offset(number))
        self.mini_fat = []
        for number in self.chain(mini_fat):
            self.mini_fat += struct.unpack_from(f"<{per_sector}I", data, self.offset(number))
        self.entries = b"".join(self.sector_bytes(number) for number in self.chain(directory))
        root_start = struct.unpack_from("<I", self.entries, 0x74)[0]
        # Where each mini sector lies in the file: the mini stream is the root entry's chain.
        self.mini_offsets = [self.offset(number) + part
                             for number in self.chain(root_start)
                             for part in range(0, self.sector, self.mini_sector)]

    def offset(self, number):
        return (number + 1) * self.sector

    def sector_bytes(self, number):
        return self.data[self.offset(number):self.offset(number) + self.sector]

    def chain(self, start, table=None):
        table = self.fat if table is None else table
        numbers = []
        while start < END_OF_CHAIN:
            if start >= len(table) or len(numbers) > len(table):
                fail("a broken sector chain")
            numbers.append(start)
            start = table[start]
        return numbers

    def stream_pieces(self, name):
        """(file offset, length) of each piece of the named stream of the root, in order."""
        for position in range(0, len(self.entries), 128):
            length, kind = struct.unpack_from("<HB", self.entries, position + 0x40)
            if kind != 2 or self.entries[position:position + length - 2].decode("utf-16-le") != name:
                continue
            start, size = struct.unpack_from("<II", self.entries, position + 0x74)
            if size < self.cutoff:
                starts, step = [self.mini_offsets[n] for n in self.chain(start, self.mini_fat)], self.mini_sector
            else:
                starts, step = [self.offset(n) for n in self.chain(start)], self.sector
            pieces = []
            for begin in starts:
                pieces.append((begin, min(step, size)))
                size -= step
                if size <= 0:
                    return pieces
            fail(f"the stream {name!r} is shorter than its entry says")
        fail(f"no stream {name!r}")

    def read(self, pieces):
        return bytearray(b"".join(self.data[at:at + length] for at, length in pieces))

    def write(self, pieces, stream):
        done = 0
        for at, length in pieces:
            self.data[at:at + length] = stream[done:done + length]
            done += length


def property_offsets(stream):
    """Offset in the stream of each property's value (its type word first), by identifier."""
    if struct.unpack_from("<H", stream, 0)[0] != 0xFFFE:
        fail("the summary information is not a property set")
    section, = struct.unpack_from("<I", stream, 44)
    count, = struct.unpack_from("<I", stream, section + 4)
    found = {}
    for index in range(count):
        identifier, at = struct.unpack_from("<II", stream, section + 8 + 8 * index)
        found[identifier] = section + at
    return found


def main(path, seconds):
    package = CompoundFile(bytearray(open(path, "rb").read()))
    pieces = package.stream_pieces(SUMMARY_STREAM)
    stream = package.read(pieces)
    found = property_offsets(stream)
    if any(identifier not in found for identifier in (PACKAGE_CODE, CREATED, LAST_SAVED)):
        fail("the summary information lacks the package code or its times")
    for identifier in (CREATED, LAST_SAVED):
        if struct.unpack_from("<I", stream, found[identifier])[0] != VT_FILETIME:
            fail(f"property {identifier} is not a time")
        struct.pack_into("<Q", stream, found[identifier] + 4, FILETIME_1970 + seconds * 10_000_000)
    value_type, length = struct.unpack_from("<II", stream, found[PACKAGE_CODE])
    if value_type != VT_LPSTR or length != 39:
        fail("the package code is not a braced GUID")
    code_at = found[PACKAGE_CODE] + 8
    stream[code_at:code_at + 38] = b"{" + b"0" * 36 + b"}"
    package.write(pieces, stream)
    code = "{" + str(uuid.uuid5(NAMESPACE, hashlib.sha256(package.data).hexdigest())).upper() + "}"
    stream[code_at:code_at + 38] = code.encode("ascii")
    package.write(pieces, stream)
    open(path, "wb").write(package.data)
    print(code)


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[2].isdigit():
        sys.exit(__doc__)
    main(sys.argv[1], int(sys.argv[2]))

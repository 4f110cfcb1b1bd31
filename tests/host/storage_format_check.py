#!/usr/bin/env python3
"""Independent check of the value array storage file, written from the format
description alone (no code shared with the library).

1. The driver DLL saves a fixed table (storage_format_tool.exe save); this
   script decodes the file from its header fields and zlib payload.
2. This script writes a file of its own; the DLL must load it
   (storage_format_tool.exe load) and report the same cells.

Usage: storage_format_check.py WINE_RUN TOOL_EXE WORK_DIR
"""
import os
import struct
import subprocess
import sys
import zlib

SIGNATURE = b"\x09SaFeArRaY"
HEADER = 31


def crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


TABLE = crc_table()


def checksum(data):
    """Table-driven reflected CRC, register starting at 0, no final complement."""
    crc = 0
    for b in data:
        crc = TABLE[(crc ^ b) & 0xFF] ^ (crc >> 8)
    return crc


assert checksum(b"abc") == 0xCA6598D0

BULK = {2: ("h", 2), 3: ("i", 4), 4: ("f", 4), 5: ("d", 8), 6: ("q", 8), 7: ("d", 8),
        11: ("h", 2), 17: ("B", 1)}
SCALAR = {2: "h", 3: "i", 4: "f", 5: "d", 6: "q", 7: "d", 10: "I", 11: "h", 17: "B",
          18: "H", 19: "I", 20: "q"}
NAMES = {2: "i2", 3: "i4", 4: "r4", 5: "r8", 6: "cy", 7: "date", 10: "error", 11: "bool",
         17: "ui1", 18: "ui2", 19: "ui4", 20: "i8"}


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, n):
        if self.pos + n > len(self.data):
            raise ValueError("payload cut short at %d" % self.pos)
        chunk = self.data[self.pos:self.pos + n]
        self.pos += n
        return chunk

    def u32(self):
        return struct.unpack("<I", self.take(4))[0]

    def i32(self):
        return struct.unpack("<i", self.take(4))[0]


def index_order(extents):
    """Indexes with the last one running fastest."""
    if not extents:
        return
    idx = [0] * len(extents)
    while True:
        yield tuple(idx)
        d = len(extents) - 1
        while d >= 0:
            idx[d] += 1
            if idx[d] < extents[d]:
                break
            idx[d] = 0
            d -= 1
        if d < 0:
            return


BYREF = 0x4000


def read_value(r):
    vt = r.u32()
    if vt == BYREF:
        # A by-reference VARIANT: the word alone, then the value it refers to.
        return read_value(r)
    if vt & 0x2000:
        return read_array(r, vt & 0xFFF)
    base = vt & ~BYREF
    if base == 0:
        return ("empty",)
    if base == 1:
        return ("null",)
    if base == 8:
        n = r.u32()
        return ("str", r.take(2 * n).decode("utf-16-le"))
    if base == 256:
        n = r.u32()
        return ("str", r.take(n).decode("cp1251"))
    if base in SCALAR:
        fmt = SCALAR[base]
        return (NAMES[base], struct.unpack("<" + fmt, r.take(struct.calcsize(fmt)))[0])
    if base <= 20 and base not in (9, 12, 13):
        # The remaining types up to 20 keep no bytes: only the type survives.
        return ("vt%d" % base,)
    raise ValueError("unexpected type word %d" % vt)


def read_array(r, element):
    dims = r.u32()
    lows = [r.i32() for _ in range(dims)]
    highs = [r.i32() for _ in range(dims)]
    extents = [h - l + 1 for l, h in zip(lows, highs)]
    count = 1
    for e in extents:
        count *= e
    if element in BULK:
        fmt, size = BULK[element]
        nbytes = r.u32()
        assert nbytes == count * size, (nbytes, count, size)
        raw = r.take(nbytes)
        # In memory the first index runs fastest.
        flat = [struct.unpack_from("<" + fmt, raw, i * size)[0] for i in range(count)]
        values = {}
        for idx in index_order(extents):
            offset, stride = 0, 1
            for d, i in enumerate(idx):
                offset += i * stride
                stride *= extents[d]
            values[idx] = (NAMES[element], flat[offset])
    else:
        values = {idx: read_value(r) for idx in index_order(extents)}
    if dims == 2:
        return ("table", extents[0], extents[1], values)
    return ("array", element, lows, extents, values)


def decode_file(data):
    assert data[:10] == SIGNATURE, "signature"
    assert data[10] == 1, "version"
    saved_at, crc, size, plain_size = struct.unpack("<dIII", data[11:31])
    assert size == len(data), "file size field"
    assert crc == checksum(data[HEADER:]), "checksum"
    assert 40000 < saved_at < 80000, "time of saving %r" % saved_at
    plain = zlib.decompress(data[HEADER:])
    assert len(plain) == plain_size, "decompressed size field"
    r = Reader(plain)
    value = read_value(r)
    assert r.pos == len(plain), "trailing bytes"
    return value


def check_saved_file(path):
    with open(path, "rb") as f:
        value = decode_file(f.read())
    kind, x, y, cells = value
    assert (kind, x, y) == ("table", 3, 4), value[:3]
    expected = {
        (0, 0): ("i4", 42),
        (0, 1): ("r8", -1.5),
        (0, 2): ("str", "Привет, мир"),
        (0, 3): ("date", 45292.75),
        (1, 0): ("empty",),
        (1, 1): ("null",),
        (1, 2): ("bool", -1),
        (1, 3): ("i2", -300),
        (2, 0): ("table", 2, 1, {(0, 0): ("str", "x"), (1, 0): ("i4", 7)}),
        (2, 1): ("array", 3, [1], [3], {(0,): ("i4", 100), (1,): ("i4", 200), (2,): ("i4", 300)}),
        (2, 2): ("cy", 123456),
        # a table whose one cell is a by-reference VARIANT to the number 7
        (2, 3): ("table", 1, 1, {(0, 0): ("i4", 7)}),
    }
    for key, want in expected.items():
        assert cells[key] == want, "cell %s: %r != %r" % (key, cells[key], want)


def word(v):
    return struct.pack("<I", v)


def bstr(text):
    data = text.encode("utf-16-le")
    return word(8) + word(len(data) // 2) + data


def write_file(path):
    """A 2 x 3 table built from the format description."""
    cells = [
        bstr("Ёлка"), word(3) + struct.pack("<i", -5), word(5) + struct.pack("<d", 2.25),
        word(1), word(BYREF) + word(7) + struct.pack("<d", 45000.5),
        # a nested 1 x 2 table of bytes, stored as raw memory
        word(0x2011) + word(2) + struct.pack("<ii", 0, 0) + struct.pack("<ii", 0, 1)
        + word(2) + b"\x05\x06",
    ]
    payload = word(0x200C) + word(2) + struct.pack("<ii", 0, 0) + struct.pack("<ii", 1, 2)
    payload += b"".join(cells)
    packed = zlib.compress(payload, 9)
    header = SIGNATURE + bytes([1]) + struct.pack("<d", 0.0)
    header += struct.pack("<III", checksum(packed), HEADER + len(packed), len(payload))
    with open(path, "wb") as f:
        f.write(header + packed)
    return ("table:2x3[str:\\u0401\\u043B\\u043A\\u0430;i4:-5;r8:2.25;null;date:45000.5;"
            "table:1x2[vt17;vt17]]")


def run_tool(wine_run, tool, verb, path):
    windows_path = "Z:" + path.replace("/", "\\")
    out = subprocess.run([wine_run, tool, verb, windows_path], capture_output=True, timeout=300)
    assert out.returncode == 0, "tool %s failed (%d): %r" % (verb, out.returncode, out.stderr[-2000:])
    return out.stdout.decode("ascii", "replace").strip().splitlines()


def main():
    wine_run, tool, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    saved = os.path.join(work, "saved_by_dll.dat")
    if os.path.exists(saved):
        os.remove(saved)
    run_tool(wine_run, tool, "save", saved)
    check_saved_file(saved)
    print("ok: decoded the file the DLL saved")

    written = os.path.join(work, "written_by_script.dat")
    expected = write_file(written)
    lines = run_tool(wine_run, tool, "load", written)
    assert lines and lines[-1] == expected, "DLL read %r, expected %r" % (lines, expected)
    # A changed payload byte must be refused with the checksum message.
    with open(written, "rb") as f:
        data = bytearray(f.read())
    data[-1] ^= 0xFF
    with open(written, "wb") as f:
        f.write(data)
    lines = run_tool(wine_run, tool, "load", written)
    want = "error:" + "".join(c if 0x20 <= ord(c) < 0x7F else "\\u%04X" % ord(c)
                              for c in "Хранилище повреждено - неверная контрольная сумма данных")
    assert lines and lines[-1] == want, (lines, want)
    print("ok: the DLL loaded the file written by this script")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes the seed corpora of the Z80 and SZX loaders' fuzz targets (corpus/z80, corpus/szx):
small snapshots, made here byte by byte, of a machine looping on JR $ at 0x8000."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
PAGE = 16384


def page(fill, code=b""):
    data = bytearray([fill]) * PAGE
    data[: len(code)] = code
    return bytes(data)


def runs(data):
    """Z80 compression: ED ED n b for five equal bytes or two EDs; the byte after a lone ED
    is written as it is."""
    out, i = bytearray(), 0
    while i < len(data):
        b, n = data[i], 1
        while i + n < len(data) and data[i + n] == b and n < 255:
            n += 1
        if n >= 5 or (b == 0xED and n >= 2):
            out += bytes([0xED, 0xED, n, b])
            i += n
            continue
        out.append(b)
        i += 1
        if b == 0xED and i < len(data):
            out.append(data[i])
            i += 1
    return bytes(out)


def z80_header(pc, version_extra=None, mode=0, paging=0):
    h = bytearray(30)
    h[0], h[1] = 0x12, 0x44
    struct.pack_into("<HHHH", h, 2, 0x1111, 0x2222, pc if version_extra is None else 0, 0x9000)
    h[10], h[11], h[12] = 0x3F, 0x05, 0x02 | (0x20 if version_extra is None else 0)
    h[27], h[28], h[29] = 1, 1, 1
    if version_extra is None:
        return bytes(h)
    h += bytearray(2 + version_extra)
    struct.pack_into("<HHBB", h, 30, version_extra, pc, mode, paging)
    h[38] = 7
    if version_extra >= 54:
        struct.pack_into("<HB", h, 55, 1000, 2)
    return bytes(h)


def z80_page(number, data, stored=False):
    if stored:
        return struct.pack("<HB", 0xFFFF, number) + data
    packed = runs(data)
    return struct.pack("<HB", len(packed), number) + packed


def write(folder, name, data):
    with open(os.path.join(HERE, "corpus", folder, name), "wb") as f:
        f.write(data)


LOOP = b"\x18\xfe"  # JR $
EDS = b"\xed\xed\xed\x01\xed\x05\x05\x05\x05\x05\x05"

# Version 1, compressed, with the end marker.
mem = page(0, EDS) + page(0, LOOP) + page(0xED)
write("z80", "v1_48.z80", z80_header(0x8000) + runs(mem) + b"\x00\xed\xed\x00")
# Version 2, 128K, every page compressed.
body = b"".join(z80_page(3 + bank, page(bank, LOOP if bank == 2 else b"")) for bank in range(8))
write("z80", "v2_128.z80", z80_header(0x8000, 23, 3, 0x03) + body)
# Version 3, 48K, one page stored as it is.
body = z80_page(8, page(0x47, EDS)) + z80_page(4, page(0, LOOP)) + z80_page(5, page(1), True)
write("z80", "v3_48.z80", z80_header(0x8000, 54, 0) + body)


def chunk(name, data):
    return name + struct.pack("<I", len(data)) + data


def z80r(pc, cycles, flags=0):
    return struct.pack("<12H5BIBBH", 0x1244, 0x1111, 0x2222, 0x3333, 0, 0, 0, 0, 0, 0x5C3A,
                       0x9000, pc, 0x3F, 5, 1, 1, 1, cycles, 32, flags, 0x8000)


def ramp(bank, data, compressed=True):
    if compressed:
        return chunk(b"RAMP", struct.pack("<HB", 1, bank) + zlib.compress(data, 9))
    return chunk(b"RAMP", struct.pack("<HB", 0, bank) + data)


szx = b"ZXST\x01\x04\x01\x00" + chunk(b"CRTR", b"seed".ljust(32, b"\0") + b"\0\0\0\0")
szx += chunk(b"Z80R", z80r(0x8000, 1234)) + chunk(b"SPCR", bytes([2, 0, 0, 2, 0, 0, 0, 0]))
szx += ramp(5, page(0, EDS)) + ramp(2, page(0, LOOP)) + ramp(0, page(0x55))
write("szx", "s48.szx", szx)

szx = b"ZXST\x01\x04\x02\x00" + chunk(b"Z80R", z80r(0x8000, 60000, 1))
szx += chunk(b"SPCR", bytes([1, 0x0B, 0, 1, 0, 0, 0, 0])) + chunk(b"XYZW", b"skipped")
szx += chunk(b"AY\0\0", bytes([2, 3]) + bytes(range(16))) + chunk(b"KEYB", b"\1\0\0\0\0")
szx += chunk(b"JOY\0", b"\0\0\0\0\1\2")
szx += b"".join(ramp(b, page(b, LOOP if b == 2 else b""), b != 6) for b in range(8))
write("szx", "s128.szx", szx)

#!/usr/bin/env python3
"""Writes the seed corpora of the TAP and channel fuzz targets (the SNA seeds are kept as
they are). Run from anywhere: python3 tests/fuzz/make_corpus.py"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def tap_block(flag, data):
    checksum = flag
    for b in data:
        checksum ^= b
    body = bytes([flag]) + bytes(data) + bytes([checksum])
    return struct.pack('<H', len(body)) + body


def write(folder, name, data):
    os.makedirs(os.path.join(HERE, 'corpus', folder), exist_ok=True)
    with open(os.path.join(HERE, 'corpus', folder, name), 'wb') as f:
        f.write(data)


# TAP seeds: two bytes of the length the caller asks for, then the tape image.
header = bytes([3]) + b'screen    ' + struct.pack('<HHH', 32, 0x6000, 0x8000)
code = bytes(range(32))
write('tap', 'header_and_code.tap', struct.pack('<H', 17) + tap_block(0x00, header) +
      tap_block(0xFF, code))
write('tap', 'short_block.tap', struct.pack('<H', 64) + tap_block(0xFF, b'\x01\x02\x03'))
write('tap', 'empty.tap', struct.pack('<H', 0))

# Channel seeds: the 62 bytes after the RAM. The register image (44 bytes): AF BC DE HL AF'
# BC' DE' HL' IX IY SP PC MEMPTR, I, padding, R, R7, IM, IFF1, IFF2, 2 padding,
# ei_tstates, halted; then the border, tstates, tstatesd, tstatesh, IFBCLK, IFB_buffer.
def channel_fields(pc, sp, im, iff, halted, border, tstates, tstatesd, tstatesh, ifbclk, buf):
    regs = struct.pack('<13H', 0x1234, 0, 0, 0, 0, 0, 0, 0, 0, 0x5C3A, sp, pc, 0)
    regs += struct.pack('<BBHBBBB2x', 0x3F, 0, 0x10, 0, im, iff, iff) + struct.pack('<ii', -1, halted)
    assert len(regs) == 44
    return regs + struct.pack('<Biiii', border, tstates, tstatesd, tstatesh, ifbclk) + bytes([buf])


write('channel', 'mid_frame.bin', channel_fields(0x8000, 0xFF00, 1, 1, 0, 7, 30000, 4, 50000, 3, 1))
write('channel', 'halted_im2.bin', channel_fields(0x0000, 0x4000, 2, 1, 1, 2, 69887, 23, 58239, 5, 2))
write('channel', 'after_tape.bin', channel_fields(0x0562, 0xFFF0, 1, 0, 0, 0, 600000, 589000, 590000, 0, 0))
write('channel', 'short.bin', b'VOLKMERETOBRANIKB11 SNAP')

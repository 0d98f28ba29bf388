#!/usr/bin/env python3
"""Writes the seed corpora of the TAP, channel and tape deck fuzz targets (the SNA seeds are
kept as they are). Run from anywhere: python3 tests/fuzz/make_corpus.py"""
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


# Whole-machine seeds: the part of a channel from its machine tag on (the target puts zero
# RAM and registers before it), of a 48K with speaker and border events and a deck that
# plays, or sits in a call, on no tape.
def whole_machine(speaker, borders, playing, in_call, call_block):
    b = b'MACH' + bytes([2])
    b += struct.pack('<iBiiiiBBBB', 48, 0, 69888, 58240, 2, 17, 1, 0xD3, 0x28, 0)
    b += bytes(6912) + bytes([0xFF, 0, 0xFF]) + bytes(8) + bytes([0x10])
    b += struct.pack('<3H3BHIBHBBBBi3fi', 5, 6, 7, 1, 0, 1, 30, 0x1ACE, 1, 99, 3, 1, 0, 1,
                     -4, 0.5, 0.0, 1.0, 69888)
    b += bytes(2 * (1104 * 4 + 8))
    b += struct.pack('<QBQQ', 0, 0, 0, 0)
    b += struct.pack('<I', len(speaker)) + b''.join(struct.pack('<i', t) for t in speaker)
    b += struct.pack('<I', len(borders)) + b''.join(struct.pack('<iBB', *e) for e in borders)
    b += struct.pack('<QQI', 0, 0, 0)
    b += struct.pack('<BBBIBBQQQIQB', playing, 0, 1, 3500000, 0, 1, 70000, 71000, 69000, 3,
                     69000, 0)
    b += struct.pack('<IIIQBIQQIBQQBQQI', 0, 0, 0, 0, 0, 0, 12, 0, 0, in_call, call_block, 0,
                     0, 0, 1, 0)
    return b


write('channel', 'whole_machine.bin', whole_machine([100, 2000, 70000], [(500, 0, 7)], 1, 0, 0))
write('channel', 'whole_machine_call.bin', whole_machine([], [], 0, 1, 0))


# Tape deck seeds: TZX blocks without the header, which the target puts before them. Loops,
# calls and jumps that take little or no time, and blocks that expand a hundredfold.
def tone(length, count):
    return bytes([0x12]) + struct.pack('<HH', length, count)


def pulses(*lengths):
    return bytes([0x13, len(lengths)]) + struct.pack('<%dH' % len(lengths), *lengths)


def loop(count, *body):
    return bytes([0x24]) + struct.pack('<H', count) + b''.join(body) + bytes([0x25])


def jump(offset):
    return bytes([0x23]) + struct.pack('<h', offset)


def generalized(pulse_count, repeats):
    # One pilot symbol of `pulse_count` pulses played `repeats` times, no data.
    body = struct.pack('<HIBBIBB', 0, 1, pulse_count, 1, 0, 1, 1)
    body += bytes([0]) + struct.pack('<%dH' % pulse_count, *([600] * pulse_count))
    body += bytes([0]) + struct.pack('<H', repeats)
    return bytes([0x19]) + struct.pack('<I', len(body)) + body


def csw_rle(samples):
    body = struct.pack('<H', 0) + (44100).to_bytes(3, 'little') + bytes([1])
    body += struct.pack('<I', len(samples)) + bytes(samples)
    return bytes([0x18]) + struct.pack('<I', len(body)) + body


text = bytes([0x30, 3]) + b'abc'
write('tape', 'zero_pulse_loop.bin', loop(0xFFFF, pulses(*([0] * 39 + [1]))) + jump(-3))
write('tape', 'info_loop.bin', loop(0xFFFF, text, bytes([0x21, 1]) + b'g', bytes([0x22])) +
      tone(1, 1) + jump(-6))
write('tape', 'call_loop.bin', bytes([0x26]) + struct.pack('<Hhh', 2, 2, 0) + tone(700, 2) +
      bytes([0x27]) + jump(-3))
write('tape', 'expanding.bin', generalized(255, 400) + csw_rle([1, 2, 3, 0, 0x10, 0, 0, 0] * 40))
with open(os.path.join(HERE, 'corpus', 'tzx', 'every_block.tzx'), 'rb') as f:
    write('tape', 'every_block.bin', f.read()[10:])

// TZX tape images (version 1.20) turned into the tape deck's blocks.
//
// Header (10 bytes): "ZXTape!", 0x1A, major version, minor version. Then blocks, each an ID
// byte and a body (16-bit and 24-bit and 32-bit values little-endian; lengths in T-states
// of the 3.5 MHz clock, pauses in ms):
//   ID    body
//   0x10  standard speed: pause(2) length(2) data — the TAP record from the length on
//   0x11  turbo: pilot(2) sync1(2) sync2(2) zero(2) one(2) pilot count(2) used bits(1)
//         pause(2) length(3) data
//   0x12  pure tone: pulse(2) count(2)
//   0x13  pulse sequence: count(1) pulses(2 each)
//   0x14  pure data: zero(2) one(2) used bits(1) pause(2) length(3) data
//   0x15  direct recording: T-states per sample(2) pause(2) used bits(1) length(3) samples,
//         one bit each, most significant first, 1 high
//   0x18  CSW recording: length(4) pause(2) sample rate(3) compression(1: RLE, 2: Z-RLE)
//         pulse count(4) data
//   0x19  generalized data: length(4) pause(2) TOTP(4) NPP(1) ASP(1) TOTD(4) NPD(1) ASD(1),
//         pilot symbols (flags(1) + NPP pulses(2)) x ASP, pilot stream (symbol(1)
//         repeats(2)) x TOTP, data symbols (flags(1) + NPD pulses(2)) x ASD, data stream
//         (ceil(log2 ASD) bits a symbol, most significant first); ASP/ASD 0 means 256; a
//         pulse of 0 ends its symbol early; flags bits 0-1: 0 edge, 1 no edge, 2 low, 3 high
//   0x20  pause(2); 0 stops the tape
//   0x21  group start: length(1) name;  0x22 group end
//   0x23  jump: relative block offset(2, signed)
//   0x24  loop start: repetitions(2);  0x25 loop end
//   0x26  call sequence: count(2) offsets(2 each, signed);  0x27 return
//   0x28  select: length(2) count(1) entries (offset(2) length(1) text) — the first is taken
//   0x2A  stop the tape on a 48K machine: length(4) = 0
//   0x2B  set signal level: length(4) = 1, level(1)
//   0x30  text: length(1) text;  0x31 message: time(1) length(1) text
//   0x32  archive info: length(2) ...;  0x33 hardware: count(1) entries(3 each)
//   0x35  custom info: id(10) length(4) ...;  0x5A glue: 9 bytes
//   other IDs: length(4) and that many bytes, skipped
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "spectrum/tapedeck.h"

// The blocks of a TZX image. False (with `why`) when it is not a TZX image at all, or when
// the computer has not the memory for its blocks; a block that cannot be read (cut short,
// out of its bounds, an unknown block whose length runs past the end) ends the list with a
// stop block whose message names the block and its offset (" TAPE BLOCK 19 AT 57
// UNREADABLE "), and the blocks before it play. So does a block that would take the tape
// past MOST_TAPE_MEMORY, or whose CSW stream inflates past 64 MiB ("TOO LARGE").
bool tzx_blocks(const std::vector<uint8_t>& image, std::vector<TapeBlock>& blocks,
                std::string& why);

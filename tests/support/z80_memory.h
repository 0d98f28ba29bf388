// Memory set-ups for the CPU tests: RAM over the whole 64 KiB (slot 0 mapped to a test page,
// as the CP/M harness does), and plain access that charges no T-states.
#pragma once

#include <cstdint>
#include <initializer_list>

// All on the tests' machine (test_machine()).
//
// Points slot 0 (0x0000-0x3FFF) at a zeroed 16 KiB page that reads and writes like RAM.
// fresh_machine() puts the ROM back.
void z80_map_low_ram();

// Untimed access through the slot tables (writes reach slot 0 only after z80_map_low_ram).
uint8_t z80_peek(uint16_t addr);
void z80_poke(uint16_t addr, uint8_t value);
// Stores the bytes from addr upward, wrapping at 0xFFFF.
void z80_poke(uint16_t addr, std::initializer_list<uint8_t> bytes);

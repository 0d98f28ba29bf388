#include "tests/support/z80_memory.h"

#include <cstring>

#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
uint8_t LOW_RAM[16384];
}

void z80_map_low_ram() {
    std::memset(LOW_RAM, 0, sizeof LOW_RAM);
    Spectrum& m = test_machine();
    m.SLTPTR[0] = m.SLTWR[0] = LOW_RAM;
    m.slots_changed();
}

uint8_t z80_peek(uint16_t addr) { return test_machine().readbyte_internal(addr); }

void z80_poke(uint16_t addr, uint8_t value) {
    test_machine().SLTWR[addr >> 14][addr & 0x3FFF] = value;
}

void z80_poke(uint16_t addr, std::initializer_list<uint8_t> bytes) {
    for (const uint8_t b : bytes) z80_poke(addr++, b);
}

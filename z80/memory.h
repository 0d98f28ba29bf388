// Timed memory access with the ULA's contention, shared by the CPU and everything that
// reads or writes memory the way the Z80 does.
#pragma once

#include <cstdint>

#include "core/machine.h"
#include "ula/capture.h"

// Contention delays by T-state of the frame. ula_contention is for cycles with a memory
// request (fetches, reads, writes), ula_contention_no_mreq for internal cycles that only
// put an address on the bus and for port cycles. Both hold the same values.
constexpr int CONTENTION_TABLE_SIZE = 80000;
extern uint8_t ula_contention[CONTENTION_TABLE_SIZE];
extern uint8_t ula_contention_no_mreq[CONTENTION_TABLE_SIZE];
extern const int32_t contention_pattern_65432100[8];

// The rule the tables are built from: the delay a contended cycle starting at T-state t
// waits, with pattern[column mod 8] inside the 192 x 128 T-state window.
int contend_delay_common(int t, const int32_t* pattern);
int spectrum_contend_delay_65432100(int t);

#define Z80_INLINE inline __attribute__((always_inline))

// Slot 1 (0x4000-0x7FFF) is the contended one, whatever bank it holds.
Z80_INLINE bool is_contended(uint16_t addr) { return (addr >> 14) == 1; }

// A lookup past the end of a table (possible only after a long tape block has pushed
// tstates several frames ahead) gives no delay and never reads beyond the table.
Z80_INLINE int contention_at(const uint8_t* table, int32_t t) {
    return static_cast<uint32_t>(t) < CONTENTION_TABLE_SIZE ? table[t] : 0;
}

Z80_INLINE uint8_t readbyte_internal(uint16_t addr) { return SLTPTR[addr >> 14][addr & 0x3FFF]; }

// The bodies of readbyte and writebyte on a T-state counter of the caller's choice: the
// globals for the public functions, a register copy inside the CPU's run loop.
Z80_INLINE uint8_t mem_read(int32_t& t, uint16_t addr) {
    if (is_contended(addr)) t += contention_at(ula_contention, t);
    t += 3;
    return readbyte_internal(addr);
}

Z80_INLINE void mem_write(int32_t& t, uint16_t addr, uint8_t value) {
    if (is_contended(addr)) t += contention_at(ula_contention, t);
    t += 3;
    SLTWR[addr >> 14][addr & 0x3FFF] = value;
    raster_capture(addr, value, t);
}

// n internal T-states with addr on the bus.
Z80_INLINE void mem_internal(int32_t& t, uint16_t addr, int n) {
    if (is_contended(addr)) {
        for (int i = 0; i < n; i++) t += contention_at(ula_contention_no_mreq, t) + 1;
    } else {
        t += n;
    }
}

// Timed read and write on the global tstates.
inline int readbyte(uint16_t addr) { return mem_read(tstates, addr); }
inline void writebyte(uint16_t addr, uint8_t value) { mem_write(tstates, addr, value); }

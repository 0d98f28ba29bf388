// The ULA's contention: how long a cycle on contended memory or an I/O port waits, by the
// T-state of the frame at which it starts.
#pragma once

#include <array>
#include <cstdint>

#include "z80/z80.h"

// Indexed by the column within the line (counted from T-state 8936) mod 8: the first
// contended column, 23, waits 6.
inline constexpr int32_t contention_pattern_65432100[8] = {5, 4, 3, 2, 1, 0, 0, 6};

// The rule the table is built from: the delay a contended cycle starting at T-state t
// waits, with pattern[column mod 8] inside the 192 x 128 T-state window. The 48K ULA reads
// the screen in lines 24 to 215 of 224 T-states, columns 23 to 150; a memory cycle that
// starts inside that window waits for the ULA's pair of fetches to end.
constexpr int contend_delay_common(int t, const int32_t* pattern) {
    const int line = (t - 8944) / 224;
    if (line <= 23 || line > 215) return 0;
    const int column = (t - 8936) % 224;
    if (column <= 22 || column > 150) return 0;
    return pattern[column % 8] & 0xFF;
}
constexpr int spectrum_contend_delay_65432100(int t) {
    return contend_delay_common(t, contention_pattern_65432100) & 0xFF;
}

// The delays by T-state of the frame: one table for cycles with a memory request (fetches,
// reads, writes) and for those without one (internal cycles with an address on the bus,
// port cycles); the 48K ULA delays both alike. Longer than a frame: the last instruction of
// a frame may start past its end.
constexpr int CONTENTION_TABLE_SIZE = 80000;
struct ContentionTable {
    uint8_t delay[CONTENTION_TABLE_SIZE];
    constexpr uint8_t operator[](int t) const { return delay[t]; }
};
// Only the 192 x 128 window is visited: the rest stays zero.
inline constexpr ContentionTable ula_contention = [] {
    ContentionTable table{};
    for (int line = 24; line <= 215; line++)
        for (int t = 8944 + 224 * line; t < 8944 + 224 * (line + 1); t++)
            table.delay[t] = static_cast<uint8_t>(spectrum_contend_delay_65432100(t));
    return table;
}();

// A lookup past the end of the table (possible only after a long tape block has pushed
// tstates several frames ahead) gives no delay and never reads beyond the table.
Z80_INLINE int contention_at(int32_t t) {
    return static_cast<uint32_t>(t) < CONTENTION_TABLE_SIZE ? ula_contention[t] : 0;
}

// N cycles in a row without a memory request on a contended address, each waiting for the
// ULA and then taking one T-state: what all N wait beyond their N T-states, by the T-state
// the first starts at. One load where the cycles one at a time take N; the ROM's block
// moves and searches run five such cycles for every byte of a BASIC program. For the runs
// the CPU makes (1 is the table above); built once, in spectrum/contention.cpp.
struct ContendedRun {
    uint8_t extra[CONTENTION_TABLE_SIZE];
};
extern const ContendedRun ula_contended_run2, ula_contended_run4, ula_contended_run5,
    ula_contended_run7;

// The T-states of n such cycles starting at T-state t (n is known where the CPU calls it).
Z80_INLINE int contended_cycles(int32_t t, int n) {
    if (static_cast<uint32_t>(t) >= CONTENTION_TABLE_SIZE) return n;
    switch (n) {
    case 1: return ula_contention[t] + 1;
    case 2: return 2 + ula_contended_run2.extra[t];
    case 4: return 4 + ula_contended_run4.extra[t];
    case 5: return 5 + ula_contended_run5.extra[t];
    case 7: return 7 + ula_contended_run7.extra[t];
    default: {
        int32_t end = t;
        for (int i = 0; i < n; i++) end += contention_at(end) + 1;
        return end - t;
    }
    }
}

// Slot 1 (0x4000-0x7FFF) is the contended one, whatever bank it holds.
Z80_INLINE bool is_contended(uint16_t addr) { return (addr >> 14) == 1; }

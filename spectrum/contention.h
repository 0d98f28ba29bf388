// The ULA's contention: how long a cycle on contended memory or an I/O port waits, by the
// T-state of the frame at which it starts.
#pragma once

#include <array>
#include <cstdint>

#include "spectrum/ula_timing.h"
#include "z80/z80.h"

// Indexed by the column within the 48K's line (counted from T-state 8936) mod 8: the first
// contended column, 23, waits 6. The 128K's ULA waits in the same pattern.
inline constexpr int32_t contention_pattern_65432100[8] = {5, 4, 3, 2, 1, 0, 0, 6};

// The rule the tables are built from: the delay a contended cycle starting at T-state t
// waits, with pattern[(column + 7) mod 8] inside the 192 x 128 T-state window that starts
// at the model's first contended T-state. The ULA reads the screen in 192 lines of 128
// T-states each; a memory cycle that starts inside that window waits for the ULA's pair of
// fetches to end.
constexpr int contend_delay_at(const UlaTiming& u, int t, const int32_t* pattern) {
    const int d = t - u.first_contended;
    if (d < 0 || d / u.line > 191 || d % u.line > 127) return 0;
    return pattern[(d % u.line + 7) % 8] & 0xFF;
}
// The 48K's rule, with the column counted from T-state 8936 (the first contended column, 23,
// waits 6).
constexpr int contend_delay_common(int t, const int32_t* pattern) {
    return contend_delay_at(ULA_48, t, pattern);
}
constexpr int spectrum_contend_delay_65432100(int t) {
    return contend_delay_common(t, contention_pattern_65432100) & 0xFF;
}

// The delays by T-state of the frame: one table for cycles with a memory request (fetches,
// reads, writes) and for those without one (internal cycles with an address on the bus,
// port cycles); the ULA delays both alike. Longer than a frame: the last instruction of a
// frame may start past its end.
constexpr int CONTENTION_TABLE_SIZE = 80000;
struct ContentionTable {
    uint8_t delay[CONTENTION_TABLE_SIZE];
    constexpr uint8_t operator[](int t) const { return delay[t]; }
};
// Only the 192 x 128 window is visited: the rest stays zero.
constexpr ContentionTable contention_table(const UlaTiming& u) {
    ContentionTable table{};
    for (int line = 0; line < 192; line++)
        for (int t = u.first_contended + u.line * line; t < u.first_contended + u.line * line + 128;
             t++)
            table.delay[t] =
                static_cast<uint8_t>(contend_delay_at(u, t, contention_pattern_65432100));
    return table;
}
inline constexpr ContentionTable ula_contention = contention_table(ULA_48);
inline constexpr ContentionTable ula128_contention = contention_table(ULA_128);

// A lookup past the end of the table (possible only after a long tape block has pushed
// tstates several frames ahead) gives no delay and never reads beyond the table.
// M128 picks the 128K's tables at compile time.
template <bool M128 = false> Z80_INLINE int contention_at(int32_t t) {
    const ContentionTable& table = M128 ? ula128_contention : ula_contention;
    return static_cast<uint32_t>(t) < CONTENTION_TABLE_SIZE ? table[t] : 0;
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
extern const ContendedRun ula128_contended_run2, ula128_contended_run4, ula128_contended_run5,
    ula128_contended_run7;

// The T-states of n such cycles starting at T-state t (n is known where the CPU calls it).
template <bool M128 = false> Z80_INLINE int contended_cycles(int32_t t, int n) {
    if (static_cast<uint32_t>(t) >= CONTENTION_TABLE_SIZE) return n;
    switch (n) {
    case 1: return contention_at<M128>(t) + 1;
    case 2: return 2 + (M128 ? ula128_contended_run2 : ula_contended_run2).extra[t];
    case 4: return 4 + (M128 ? ula128_contended_run4 : ula_contended_run4).extra[t];
    case 5: return 5 + (M128 ? ula128_contended_run5 : ula_contended_run5).extra[t];
    case 7: return 7 + (M128 ? ula128_contended_run7 : ula_contended_run7).extra[t];
    default: {
        int32_t end = t;
        for (int i = 0; i < n; i++) end += contention_at<M128>(end) + 1;
        return end - t;
    }
    }
}

// The 48K: slot 1 (0x4000-0x7FFF) is the contended one. (The 128K contends by bank, wherever
// banks 1, 3, 5 and 7 are mapped: spectrum/bus128.h.)
Z80_INLINE bool is_contended(uint16_t addr) { return (addr >> 14) == 1; }

// The flag tables, the contention tables and the reset.
#include "z80/memory.h"
#include "z80/z80.h"

Z80 z80;
uint8_t opcode;
int32_t tstates0;
int32_t tstatesd;
uint8_t pending_EI;
uint64_t z80_steps;
int32_t interrupt_end = INTERRUPT_END;

uint8_t sz53_table[256];
uint8_t parity_table[256];
uint8_t sz53p_table[256];

// Indexed by bits 3 (or 7, or 11, 15) of the first operand, the second operand and the
// result, in that order from bit 0.
const uint8_t halfcarry_add_table[8] = {0, FLAG_H, FLAG_H, FLAG_H, 0, 0, 0, FLAG_H};
const uint8_t halfcarry_sub_table[8] = {0, 0, FLAG_H, 0, FLAG_H, 0, FLAG_H, FLAG_H};
const uint8_t overflow_add_table[8] = {0, 0, 0, FLAG_V, FLAG_V, 0, 0, 0};
const uint8_t overflow_sub_table[8] = {0, FLAG_V, 0, 0, 0, 0, FLAG_V, 0};

uint8_t ula_contention[CONTENTION_TABLE_SIZE];
uint8_t ula_contention_no_mreq[CONTENTION_TABLE_SIZE];

// Indexed by the column within the line (counted from T-state 8936) mod 8: the first
// contended column, 23, waits 6.
const int32_t contention_pattern_65432100[8] = {5, 4, 3, 2, 1, 0, 0, 6};

// The 48K ULA reads the screen in lines 24 to 215 of 224 T-states, columns 23 to 150; a
// memory cycle that starts inside that window waits for the ULA's pair of fetches to end.
int contend_delay_common(int t, const int32_t* pattern) {
    const int line = (t - 8944) / 224;
    if (line <= 23 || line > 215) return 0;
    const int column = (t - 8936) % 224;
    if (column <= 22 || column > 150) return 0;
    return pattern[column % 8] & 0xFF;
}

int spectrum_contend_delay_65432100(int t) {
    return contend_delay_common(t, contention_pattern_65432100) & 0xFF;
}

void z80_init_tables() {
    for (int i = 0; i < 256; i++) {
        sz53_table[i] = i & (FLAG_S | FLAG_5 | FLAG_3);
        int parity = 0;
        for (int b = 0; b < 8; b++) parity ^= (i >> b) & 1;
        parity_table[i] = parity ? 0 : FLAG_P;
        sz53p_table[i] = sz53_table[i] | parity_table[i];
    }
    sz53_table[0] |= FLAG_Z;
    sz53p_table[0] |= FLAG_Z;

    for (int t = 0; t < CONTENTION_TABLE_SIZE; t++)
        ula_contention[t] = ula_contention_no_mreq[t] =
            static_cast<uint8_t>(spectrum_contend_delay_65432100(t));
}

void reset_Z80() {
    z80.AF = z80.BC = z80.DE = z80.HL = 0;
    z80.AF_ = z80.BC_ = z80.DE_ = z80.HL_ = 0;
    z80.IX = z80.IY = z80.SP = z80.PC = z80.MEMPTR = 0;
    z80.IFF1 = z80.IFF2 = z80.IM = 0;
    z80.halted = 0;
    pending_EI = 0;
}

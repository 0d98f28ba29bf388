// Arithmetic, logic, rotates and their flags.
//
// S, Z, 5, 3 (and P for logic, rotates and shifts) come from the tables by the result; H and
// V of additions and subtractions through a lookup byte of bit 3 (H) and bit 7 (V) of the
// accumulator, the operand and the result. Bits 3 and 5 are copied from the result, except
// CP (from the operand), 16-bit ADD (high byte of the result), and CPL, SCF, CCF and the
// accumulator rotates (from A after the operation).
#pragma once

#include "z80/cpu.h"

Z80_INLINE uint8_t add_lookup(uint8_t a, uint8_t v, unsigned result) {
    return static_cast<uint8_t>(((a & 0x88) >> 3) | ((v & 0x88) >> 2) | ((result & 0x88) >> 1));
}

Z80_INLINE void alu_add(Z80& c, uint8_t v, unsigned carry) {
    const uint8_t a = c.A();
    const unsigned result = a + v + carry;
    const uint8_t lookup = add_lookup(a, v, result);
    c.setA(static_cast<uint8_t>(result));
    c.setF(static_cast<uint8_t>(((result & 0x100) ? FLAG_C : 0) | halfcarry_add_table[lookup & 7] |
                                overflow_add_table[lookup >> 4] | sz53_table[result & 0xFF]));
}

Z80_INLINE void alu_sub(Z80& c, uint8_t v, unsigned carry) {
    const uint8_t a = c.A();
    const unsigned result = a - v - carry;
    const uint8_t lookup = add_lookup(a, v, result);
    c.setA(static_cast<uint8_t>(result));
    c.setF(static_cast<uint8_t>(((result & 0x100) ? FLAG_C : 0) | FLAG_N |
                                halfcarry_sub_table[lookup & 7] | overflow_sub_table[lookup >> 4] |
                                sz53_table[result & 0xFF]));
}

// CP: a subtraction that keeps A, with bits 3 and 5 from the operand.
Z80_INLINE void alu_cp(Z80& c, uint8_t v) {
    const uint8_t a = c.A();
    const unsigned result = a - v;
    const uint8_t lookup = add_lookup(a, v, result);
    c.setF(static_cast<uint8_t>(((result & 0x100) ? FLAG_C : 0) | ((result & 0xFF) ? 0 : FLAG_Z) |
                                FLAG_N | halfcarry_sub_table[lookup & 7] |
                                overflow_sub_table[lookup >> 4] | (v & (FLAG_3 | FLAG_5)) |
                                (result & FLAG_S)));
}

// ALU y: ADD, ADC, SUB, SBC, AND, XOR, OR, CP.
template <int Y> Z80_INLINE void alu(Z80& c, uint8_t v) {
    if constexpr (Y == 0) alu_add(c, v, 0);
    else if constexpr (Y == 1) alu_add(c, v, c.F() & FLAG_C);
    else if constexpr (Y == 2) alu_sub(c, v, 0);
    else if constexpr (Y == 3) alu_sub(c, v, c.F() & FLAG_C);
    else if constexpr (Y == 4) {
        const uint8_t a = c.A() & v;
        c.AF = static_cast<uint16_t>((a << 8) | FLAG_H | sz53p_table[a]);
    } else if constexpr (Y == 5) {
        const uint8_t a = c.A() ^ v;
        c.AF = static_cast<uint16_t>((a << 8) | sz53p_table[a]);
    } else if constexpr (Y == 6) {
        const uint8_t a = c.A() | v;
        c.AF = static_cast<uint16_t>((a << 8) | sz53p_table[a]);
    } else {
        alu_cp(c, v);
    }
}

Z80_INLINE uint8_t alu_inc(Z80& c, uint8_t v) {
    const uint8_t r = static_cast<uint8_t>(v + 1);
    c.setF(static_cast<uint8_t>((c.F() & FLAG_C) | (r == 0x80 ? FLAG_V : 0) |
                                ((r & 0x0F) ? 0 : FLAG_H) | sz53_table[r]));
    return r;
}

Z80_INLINE uint8_t alu_dec(Z80& c, uint8_t v) {
    const uint8_t r = static_cast<uint8_t>(v - 1);
    c.setF(static_cast<uint8_t>((c.F() & FLAG_C) | ((v & 0x0F) ? 0 : FLAG_H) | FLAG_N |
                                (v == 0x80 ? FLAG_V : 0) | sz53_table[r]));
    return r;
}

// ADD HL,rr (and IX, IY): S, Z, P/V kept; 5 and 3 from the high byte of the sum; H from
// bit 11. The caller charges IR:1x7 and sets MEMPTR.
Z80_INLINE uint16_t alu_add16(Z80& c, uint16_t a, uint16_t v) {
    const unsigned result = a + v;
    const uint8_t lookup = static_cast<uint8_t>(((a & 0x0800) >> 11) | ((v & 0x0800) >> 10) |
                                                ((result & 0x0800) >> 9));
    c.setF(static_cast<uint8_t>((c.F() & (FLAG_V | FLAG_Z | FLAG_S)) |
                                ((result & 0x10000) ? FLAG_C : 0) |
                                ((result >> 8) & (FLAG_3 | FLAG_5)) | halfcarry_add_table[lookup]));
    return static_cast<uint16_t>(result);
}

Z80_INLINE uint8_t lookup16(uint16_t a, uint16_t v, unsigned result) {
    return static_cast<uint8_t>(((a & 0x8800) >> 11) | ((v & 0x8800) >> 10) |
                                ((result & 0x8800) >> 9));
}

Z80_INLINE void alu_adc16(Z80& c, uint16_t v) {
    const uint16_t hl = c.HL;
    const unsigned result = hl + v + (c.F() & FLAG_C);
    const uint8_t lookup = lookup16(hl, v, result);
    c.MEMPTR = static_cast<uint16_t>(hl + 1);
    c.HL = static_cast<uint16_t>(result);
    c.setF(static_cast<uint8_t>(((result & 0x10000) ? FLAG_C : 0) |
                                overflow_add_table[lookup >> 4] |
                                (hi(c.HL) & (FLAG_3 | FLAG_5 | FLAG_S)) |
                                halfcarry_add_table[lookup & 7] | (c.HL ? 0 : FLAG_Z)));
}

Z80_INLINE void alu_sbc16(Z80& c, uint16_t v) {
    const uint16_t hl = c.HL;
    const unsigned result = hl - v - (c.F() & FLAG_C);
    const uint8_t lookup = lookup16(hl, v, result);
    c.MEMPTR = static_cast<uint16_t>(hl + 1);
    c.HL = static_cast<uint16_t>(result);
    c.setF(static_cast<uint8_t>(((result & 0x10000) ? FLAG_C : 0) | FLAG_N |
                                overflow_sub_table[lookup >> 4] |
                                (hi(c.HL) & (FLAG_3 | FLAG_5 | FLAG_S)) |
                                halfcarry_sub_table[lookup & 7] | (c.HL ? 0 : FLAG_Z)));
}

// CB rotates and shifts y: RLC, RRC, RL, RR, SLA, SRA, SLL, SRL. F = carry out | SZ53P.
template <int Y> Z80_INLINE uint8_t rot(Z80& c, uint8_t v) {
    uint8_t r, carry;
    if constexpr (Y == 0) r = static_cast<uint8_t>((v << 1) | (v >> 7)), carry = v >> 7;
    else if constexpr (Y == 1) r = static_cast<uint8_t>((v >> 1) | (v << 7)), carry = v & 1;
    else if constexpr (Y == 2)
        r = static_cast<uint8_t>((v << 1) | (c.F() & FLAG_C)), carry = v >> 7;
    else if constexpr (Y == 3) r = static_cast<uint8_t>((v >> 1) | (c.F() << 7)), carry = v & 1;
    else if constexpr (Y == 4) r = static_cast<uint8_t>(v << 1), carry = v >> 7;
    else if constexpr (Y == 5) r = static_cast<uint8_t>((v & 0x80) | (v >> 1)), carry = v & 1;
    else if constexpr (Y == 6) r = static_cast<uint8_t>((v << 1) | 1), carry = v >> 7;
    else r = v >> 1, carry = v & 1;
    c.setF(static_cast<uint8_t>(carry | sz53p_table[r]));
    return r;
}

// BIT b: H set, C kept, Z and P/V when the bit is 0, S for bit 7 set; bits 3 and 5 from
// `xy` (the tested register, or the high byte of MEMPTR or of the indexed address).
template <int B> Z80_INLINE void alu_bit(Z80& c, uint8_t v, uint8_t xy) {
    uint8_t f = static_cast<uint8_t>((c.F() & FLAG_C) | FLAG_H | (xy & (FLAG_3 | FLAG_5)));
    if (!(v & (1 << B))) f |= FLAG_P | FLAG_Z;
    if constexpr (B == 7)
        if (v & 0x80) f |= FLAG_S;
    c.setF(f);
}

Z80_INLINE void alu_daa(Z80& c) {
    const uint8_t a = c.A(), f = c.F();
    uint8_t carry = f & FLAG_C, d = 0;
    if ((f & FLAG_H) || (a & 0x0F) > 9) d = 6;
    if (carry || a > 0x99) d |= 0x60;
    if (a > 0x99) carry = FLAG_C;
    if (f & FLAG_N) alu_sub(c, d, 0);
    else alu_add(c, d, 0);
    c.setF(static_cast<uint8_t>((c.F() & ~(FLAG_C | FLAG_P)) | carry | parity_table[c.A()]));
}

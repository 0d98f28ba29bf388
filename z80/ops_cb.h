// CB instructions (rotates, shifts, BIT, RES, SET) and their DDCB/FDCB forms on (IX+d).
#pragma once

#include "z80/alu.h"
#include "z80/cpu.h"
#include "z80/ops_main.h"

// x = 0 rotate/shift y, 1 BIT y, 2 RES y, 3 SET y; z the register (6: the memory operand).
template <int X, int Y> Z80_INLINE uint8_t cb_modify(Z80& c, uint8_t v) {
    if constexpr (X == 0) return rot<Y>(c, v);
    else if constexpr (X == 2) return static_cast<uint8_t>(v & ~(1 << Y));
    else return static_cast<uint8_t>(v | (1 << Y));
}

// After pc:4 (CB) and pc+1:4 (the opcode).
template <uint8_t OP, class B> Z80_INLINE void op_cb(Cpu<B>& c) {
    constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
    if constexpr (z == 6) {
        const uint16_t addr = c.HL;
        const uint8_t v = rd(c, addr);
        internal(c, addr, 1);
        if constexpr (x == 1) alu_bit<y>(c, v, hi(c.MEMPTR)); // hl:3, hl:1
        else wr(c, addr, cb_modify<x, y>(c, v));              // hl:3, hl:1, hl:3
    } else {
        const uint8_t v = get_r<z>(c, c.HL);
        if constexpr (x == 1) alu_bit<y>(c, v, v);
        else set_r<z>(c, c.HL, cb_modify<x, y>(c, v));
    }
}

// DDCB d op, after the displacement and the opcode (pc+2:3, pc+3:3, pc+3:1x2): ea:3, ea:1
// and, but for BIT, ea:3. Rotates, shifts, RES and SET also copy the result into the
// register z names (the real H and L), unless z is 6.
template <uint8_t OP, class B> Z80_INLINE void op_ddcb(Cpu<B>& c, uint16_t ea) {
    constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7;
    const uint8_t v = rd(c, ea);
    internal(c, ea, 1);
    if constexpr (x == 1) {
        alu_bit<y>(c, v, hi(ea));
    } else {
        const uint8_t r = cb_modify<x, y>(c, v);
        wr(c, ea, r);
        if constexpr (z != 6) set_r<z>(c, c.HL, r);
    }
}

// ED instructions: 16-bit arithmetic with carry, 16-bit loads, NEG, RETN/RETI, IM, the I
// and R transfers, RRD/RLD, port I/O through C and the block instructions. Every code
// outside 0x40-0x7F and the block rows is no instruction: the two fetches and nothing else.
#pragma once

#include "z80/alu.h"
#include "z80/cpu.h"
#include "z80/ops_main.h"

// The Zilog part: a block instruction that repeats spends its last five T-states jumping
// back to its own address (PC, now moved back onto it), and F's bits 5 and 3 come from bits
// 13 and 11 of that address.
template <class B> Z80_INLINE void repeat_flags(Cpu<B>& c) {
    c.setF(static_cast<uint8_t>((c.F() & ~(FLAG_5 | FLAG_3)) | (hi(c.PC) & (FLAG_5 | FLAG_3))));
}

// The Zilog part, INIR/INDR/OTIR/OTDR repeating: the jump back also sets MEMPTR to the
// address + 1, and B (already decremented) goes through the ALU once more. With C set it is
// counted on by one, down when N is set and up when not: H is that count's half carry, and
// P/V flips when the count's low three bits hold an odd number of ones. With C clear H stays
// and P/V flips by B's own low three bits.
template <class B> Z80_INLINE void io_repeat_flags(Cpu<B>& c) {
    uint8_t f = c.F();
    const uint8_t b = hi(c.BC);
    uint8_t count = b;
    if (f & FLAG_C) {
        const bool down = f & FLAG_N;
        count = static_cast<uint8_t>(down ? b - 1 : b + 1);
        const bool half = down ? (b & 0x0F) == 0x00 : (b & 0x0F) == 0x0F;
        f = static_cast<uint8_t>((f & ~FLAG_H) | (half ? FLAG_H : 0));
    }
    c.setF(static_cast<uint8_t>(f ^ parity_table[count & 7] ^ FLAG_P));
    repeat_flags(c);
    c.MEMPTR = static_cast<uint16_t>(c.PC + 1);
}

// LDI/LDD/LDIR/LDDR (DIR +1 or -1). pc:4, pc+1:4, hl:3, de:3, de:1x2 [, de:1x5].
template <int DIR, bool REPEAT, class B> Z80_INLINE void op_ld_block(Cpu<B>& c) {
    if (REPEAT && c.BC != 1) c.MEMPTR = static_cast<uint16_t>(c.PC - 1);
    const uint8_t v = rd(c, c.HL);
    wr(c, c.DE, v);
    internal(c, c.DE, 2);
    c.BC--;
    const uint8_t n = static_cast<uint8_t>(v + c.A());
    c.setF(static_cast<uint8_t>((c.F() & (FLAG_S | FLAG_Z | FLAG_C)) | (n & FLAG_3) |
                                ((n & 0x02) ? FLAG_5 : 0) | (c.BC ? FLAG_V : 0)));
    if (REPEAT && c.BC) {
        internal(c, c.DE, 5);
        c.PC -= 2;
        if constexpr (is_zilog_nmos<B>) repeat_flags(c);
    }
    c.HL = static_cast<uint16_t>(c.HL + DIR);
    c.DE = static_cast<uint16_t>(c.DE + DIR);
}

// CPI/CPD/CPIR/CPDR. pc:4, pc+1:4, hl:3, hl:1x5 [, hl:1x5].
template <int DIR, bool REPEAT, class B> Z80_INLINE void op_cp_block(Cpu<B>& c) {
    const uint8_t v = rd(c, c.HL);
    const uint8_t a = c.A();
    const uint8_t result = static_cast<uint8_t>(a - v);
    const uint8_t lookup =
        static_cast<uint8_t>(((a & 0x08) >> 3) | ((v & 0x08) >> 2) | ((result & 0x08) >> 1));
    if (REPEAT && !(c.BC == 1 || a == v)) c.MEMPTR = static_cast<uint16_t>(c.PC - 1);
    else c.MEMPTR = static_cast<uint16_t>(c.MEMPTR + DIR);
    internal(c, c.HL, 5);
    if (!REPEAT) c.HL = static_cast<uint16_t>(c.HL + DIR);
    c.BC--;
    uint8_t f =
        static_cast<uint8_t>((c.F() & FLAG_C) | FLAG_N | halfcarry_sub_table[lookup] |
                             (c.BC ? FLAG_V : 0) | (result & FLAG_S) | (result ? 0 : FLAG_Z));
    const uint8_t n = static_cast<uint8_t>((f & FLAG_H) ? result - 1 : result);
    f |= (n & FLAG_3) | ((n & 0x02) ? FLAG_5 : 0);
    c.setF(f);
    if (REPEAT) {
        if ((f & (FLAG_V | FLAG_Z)) == FLAG_V) {
            internal(c, c.HL, 5);
            c.PC -= 2;
            if constexpr (is_zilog_nmos<B>) repeat_flags(c);
        }
        c.HL = static_cast<uint16_t>(c.HL + DIR);
    }
}

// The flags of INI/IND/OUTI/OUTD and their repeats, from the byte moved and k.
Z80_INLINE void io_block_flags(Z80& c, uint8_t v, unsigned k) {
    const uint8_t b = hi(c.BC);
    c.setF(static_cast<uint8_t>(((v & 0x80) ? FLAG_N : 0) | (k > 255 ? (FLAG_H | FLAG_C) : 0) |
                                sz53_table[b] | (parity_table[(k & 7) ^ b] ? FLAG_V : 0)));
}

// INI/IND/INIR/INDR. pc:4, pc+1:4, IR:1, io, hl:3 [, hl:1x5].
template <int DIR, bool REPEAT, class B> Z80_INLINE void op_in_block(Cpu<B>& c) {
    internal_ir(c, 1);
    const uint8_t v = port_in(c, c.BC);
    wr(c, c.HL, v);
    c.MEMPTR = static_cast<uint16_t>(c.BC + DIR);
    set_hi(c.BC, static_cast<uint8_t>(hi(c.BC) - 1));
    if (!REPEAT) c.HL = static_cast<uint16_t>(c.HL + DIR);
    io_block_flags(c, v, v + static_cast<uint8_t>(lo(c.BC) + DIR));
    if (REPEAT) {
        if (hi(c.BC)) {
            internal(c, c.HL, 5);
            c.PC -= 2;
            if constexpr (is_zilog_nmos<B>) io_repeat_flags(c);
        }
        c.HL = static_cast<uint16_t>(c.HL + DIR);
    }
}

// OUTI/OUTD/OTIR/OTDR. pc:4, pc+1:4, IR:1, hl:3, io [, bc:1x5 with B decremented].
template <int DIR, bool REPEAT, class B> Z80_INLINE void op_out_block(Cpu<B>& c) {
    internal_ir(c, 1);
    const uint8_t v = rd(c, c.HL);
    set_hi(c.BC, static_cast<uint8_t>(hi(c.BC) - 1));
    port_out(c, c.BC, v);
    c.MEMPTR = static_cast<uint16_t>(c.BC + DIR);
    c.HL = static_cast<uint16_t>(c.HL + DIR);
    io_block_flags(c, v, v + lo(c.HL));
    if (REPEAT && hi(c.BC)) {
        internal(c, c.BC, 5);
        c.PC -= 2;
        if constexpr (is_zilog_nmos<B>) io_repeat_flags(c);
    }
}

// A repeating block instruction that has moved PC back onto itself is the next step. Where
// the run would take that step as a quick one (z80/run.h), before the quick steps end, it
// is taken here at once: its two fetches charged as the step charges them (contention, 4
// T-states each, R + 2), without the dispatch. Only if both opcode bytes are still there:
// the instruction may have overwritten them, and then the step runs what it finds.
template <uint8_t OP, class B> Z80_INLINE bool runs_again_at_once(Cpu<B>& c, uint16_t start) {
    if (c.PC != start || c.t >= c.quick_end) return false;
    int32_t t = c.t;
    if (c.bus.fetch(t, start) != 0xED) return false;
    if (c.bus.fetch(t, static_cast<uint16_t>(start + 1)) != OP) return false;
    c.t = t;
    c.PC = static_cast<uint16_t>(start + 2);
    c.R = static_cast<uint16_t>(c.R + 2);
    if constexpr (is_zilog_nmos<B>) c.Q = writes_flags_ed(OP) ? c.F() : 0; // as a step's end
    return true;
}

// After pc:4 (ED) and pc+1:4 (the opcode).
template <uint8_t OP, class B> Z80_INLINE void op_ed(Cpu<B>& c) {
    constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;
    if constexpr (x == 1) {
        if constexpr (z == 0) { // IN r,(C) (ED 70: flags only): io
            const uint8_t v = port_in(c, c.BC);
            c.MEMPTR = static_cast<uint16_t>(c.BC + 1);
            if constexpr (y != 6) set_r<y>(c, c.HL, v);
            c.setF(static_cast<uint8_t>((c.F() & FLAG_C) | sz53p_table[v]));
        } else if constexpr (z == 1) { // OUT (C),r (ED 71: OUT (C),0): io
            uint8_t v = 0;
            if constexpr (y != 6) v = get_r<y>(c, c.HL);
            port_out(c, c.BC, v);
            c.MEMPTR = static_cast<uint16_t>(c.BC + 1);
        } else if constexpr (z == 2) { // SBC HL,rr; ADC HL,rr: IR:1x7
            internal_ir(c, 7);
            const uint16_t v = rp<p>(c, c.HL);
            if constexpr (q == 0) alu_sbc16(c, v);
            else alu_adc16(c, v);
        } else if constexpr (z == 3) { // LD (nn),rr; LD rr,(nn): pc+2:3, pc+3:3, nn:3, nn+1:3
            const uint16_t nn = rd_pc16(c);
            c.MEMPTR = static_cast<uint16_t>(nn + 1);
            if constexpr (q == 0) {
                const uint16_t v = rp<p>(c, c.HL);
                wr(c, nn, lo(v));
                wr(c, c.MEMPTR, hi(v));
            } else {
                const uint8_t low = rd(c, nn);
                rp<p>(c, c.HL) = static_cast<uint16_t>(low | (rd(c, c.MEMPTR) << 8));
            }
        } else if constexpr (z == 4) { // NEG
            const uint8_t a = c.A();
            c.setA(0);
            alu_sub(c, a, 0);
        } else if constexpr (z == 5) { // RETN, RETI: sp:3, sp+1:3
            c.IFF1 = c.IFF2;
            c.PC = pop16(c);
            c.MEMPTR = c.PC;
        } else if constexpr (z == 6) { // IM 0, 0, 1, 2 for y & 3 = 0, 1, 2, 3
            constexpr uint8_t MODES[4] = {0, 0, 1, 2};
            c.IM = MODES[y & 3];
        } else if constexpr (y == 0) { // LD I,A: IR:1 (with I as it was)
            internal_ir(c, 1);
            c.I = c.A();
        } else if constexpr (y == 1) { // LD R,A: IR:1
            internal_ir(c, 1);
            c.R = c.A();
            c.R7 = c.A();
        } else if constexpr (y == 2 || y == 3) { // LD A,I; LD A,R: IR:1
            internal_ir(c, 1);
            const uint8_t v = y == 2 ? c.I : static_cast<uint8_t>((c.R & 0x7F) | (c.R7 & 0x80));
            c.setA(v);
            c.setF(static_cast<uint8_t>((c.F() & FLAG_C) | sz53_table[v] | (c.IFF2 ? FLAG_V : 0)));
            if constexpr (is_zilog_nmos<B>) c.after_ld_a_ir = 1;
        } else if constexpr (y == 4 || y == 5) { // RRD; RLD: hl:3, hl:1x4, hl:3
            const uint8_t v = rd(c, c.HL);
            internal(c, c.HL, 4);
            const uint8_t a = c.A();
            if constexpr (y == 4) {
                wr(c, c.HL, static_cast<uint8_t>((a << 4) | (v >> 4)));
                c.setA(static_cast<uint8_t>((a & 0xF0) | (v & 0x0F)));
            } else {
                wr(c, c.HL, static_cast<uint8_t>((v << 4) | (a & 0x0F)));
                c.setA(static_cast<uint8_t>((a & 0xF0) | (v >> 4)));
            }
            c.setF(static_cast<uint8_t>((c.F() & FLAG_C) | sz53p_table[c.A()]));
            c.MEMPTR = static_cast<uint16_t>(c.HL + 1);
        }
        // ED 77 and ED 7F: no instruction
    } else if constexpr (x == 2 && z <= 3 && y >= 4) {
        constexpr int DIR = (y & 1) ? -1 : 1;
        constexpr bool REPEAT = y >= 6;
        const uint16_t start = static_cast<uint16_t>(c.PC - 2); // where ED lies
        do {
            if constexpr (z == 0) op_ld_block<DIR, REPEAT>(c);
            else if constexpr (z == 1) op_cp_block<DIR, REPEAT>(c);
            else if constexpr (z == 2) op_in_block<DIR, REPEAT>(c);
            else op_out_block<DIR, REPEAT>(c);
        } while (REPEAT && runs_again_at_once<OP>(c, start));
    }
    // everything else: no instruction
}

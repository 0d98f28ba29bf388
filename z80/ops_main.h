// The unprefixed instructions, and their DD/FD forms.
//
// Decoded by the opcode's fields: x = bits 7-6, y = bits 5-3, z = bits 2-0, p = y >> 1,
// q = y & 1. One template serves each family; the dispatcher instantiates it for all 256
// codes, so every case is specialised at compile time.
//
// IDX is 0 for the unprefixed table, 1 for DD (IX), 2 for FD (IY). `xy` is the register
// that HL means: HL itself when IDX is 0, IX or IY otherwise. In the register-only index
// forms H and L mean the halves of `xy` (LD B,IXH); where (IX+d) is an operand, the other
// register is the real H or L (LD H,(IX+d)).
#pragma once

#include "z80/alu.h"
#include "z80/cpu.h"

// Whether DD/FD gives this code an index form: every instruction that names HL, H, L or
// (HL), except EX DE,HL. Everything else runs as the unprefixed instruction, the prefix
// having cost one M1.
constexpr bool has_index_form(uint8_t op) {
    // clang-format off
    switch (op) {
    case 0x09: case 0x19: case 0x29: case 0x39: // ADD HL,rr
    case 0x21: case 0x22: case 0x2A:            // LD HL,nn; LD (nn),HL; LD HL,(nn)
    case 0x23: case 0x2B:                       // INC HL; DEC HL
    case 0x24: case 0x25: case 0x26:            // INC H; DEC H; LD H,n
    case 0x2C: case 0x2D: case 0x2E:            // INC L; DEC L; LD L,n
    case 0x34: case 0x35: case 0x36:            // INC (HL); DEC (HL); LD (HL),n
    case 0xE1: case 0xE3: case 0xE5:            // POP HL; EX (SP),HL; PUSH HL
    case 0xE9: case 0xF9:                       // JP (HL); LD SP,HL
        return true;
    case 0x76: // HALT
        return false;
    default: break;
    }
    // clang-format on
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (x == 1) return y >= 4 && y <= 6 ? true : (z >= 4 && z <= 6);
    if (x == 2) return z >= 4 && z <= 6;
    return false;
}

// r[z]: B, C, D, E, H, L, -, A. H and L are the halves of `xy`.
template <int Z> Z80_INLINE uint8_t get_r(const Z80& c, uint16_t xy) {
    if constexpr (Z == 0) return hi(c.BC);
    else if constexpr (Z == 1) return lo(c.BC);
    else if constexpr (Z == 2) return hi(c.DE);
    else if constexpr (Z == 3) return lo(c.DE);
    else if constexpr (Z == 4) return hi(xy);
    else if constexpr (Z == 5) return lo(xy);
    else {
        static_assert(Z == 7, "r[6] is the memory operand");
        return c.A();
    }
}

template <int Z> Z80_INLINE void set_r(Z80& c, uint16_t& xy, uint8_t v) {
    if constexpr (Z == 0) set_hi(c.BC, v);
    else if constexpr (Z == 1) set_lo(c.BC, v);
    else if constexpr (Z == 2) set_hi(c.DE, v);
    else if constexpr (Z == 3) set_lo(c.DE, v);
    else if constexpr (Z == 4) set_hi(xy, v);
    else if constexpr (Z == 5) set_lo(xy, v);
    else {
        static_assert(Z == 7, "r[6] is the memory operand");
        c.setA(v);
    }
}

// rp[p]: BC, DE, HL, SP; rp2[p]: BC, DE, HL, AF.
template <int P> Z80_INLINE uint16_t& rp(Z80& c, uint16_t& xy) {
    if constexpr (P == 0) return c.BC;
    else if constexpr (P == 1) return c.DE;
    else if constexpr (P == 2) return xy;
    else return c.SP;
}
template <int P> Z80_INLINE uint16_t& rp2(Z80& c, uint16_t& xy) {
    if constexpr (P == 3) return c.AF;
    else return rp<P>(c, xy);
}

// cc[y]: NZ, Z, NC, C, PO, PE, P, M.
template <int Y> Z80_INLINE bool cond(const Z80& c) {
    constexpr uint8_t MASKS[4] = {FLAG_Z, FLAG_C, FLAG_P, FLAG_S};
    const bool set = c.F() & MASKS[Y >> 1];
    return (Y & 1) ? set : !set;
}

// The address of the memory operand: (HL), or (IX+d) with the displacement read at PC and
// five internal cycles on its address (pc+2:3, pc+2:1x5); MEMPTR = IX+d.
template <int IDX, class B> Z80_INLINE uint16_t hl_operand(Cpu<B>& c, uint16_t xy) {
    if constexpr (IDX == 0) {
        return c.HL;
    } else {
        const uint16_t dpc = c.PC++;
        const int8_t d = static_cast<int8_t>(rd(c, dpc));
        internal(c, dpc, 5);
        c.MEMPTR = static_cast<uint16_t>(xy + d);
        return c.MEMPTR;
    }
}

// JR e and the taken JR cc / DJNZ: pc+1:3, pc+1:1x5.
template <class B> Z80_INLINE void jr_taken(Cpu<B>& c) {
    const uint16_t dpc = c.PC;
    const int8_t d = static_cast<int8_t>(rd(c, dpc));
    internal(c, dpc, 5);
    c.PC = static_cast<uint16_t>(dpc + 1 + d);
    c.MEMPTR = c.PC;
}
// A JR cc or DJNZ not taken still reads its displacement: pc+1:3.
template <class B> Z80_INLINE void jr_not_taken(Cpu<B>& c) {
    rd(c, c.PC);
    c.PC++;
}

// CALL nn and the taken CALL cc: pc+2:1, sp-1:3, sp-2:3 after the operand reads.
template <class B> Z80_INLINE void call_taken(Cpu<B>& c, uint16_t nn) {
    internal(c, static_cast<uint16_t>(c.PC - 1), 1);
    push16(c, c.PC);
    c.PC = nn;
}

template <int IDX, class B> Z80_INLINE void op_ex_sp(Cpu<B>& c, uint16_t& xy) {
    // sp:3, sp+1:3, sp+1:1, sp+1:3 (write high), sp:3 (write low), sp:1x2
    const uint16_t sp = c.SP, sp1 = static_cast<uint16_t>(c.SP + 1);
    const uint8_t low = rd(c, sp);
    const uint8_t high = rd(c, sp1);
    internal(c, sp1, 1);
    wr(c, sp1, hi(xy));
    wr(c, sp, lo(xy));
    internal(c, sp, 2);
    xy = static_cast<uint16_t>(low | (high << 8));
    c.MEMPTR = xy;
}

// x = 0, z = 7: RLCA, RRCA, RLA, RRA, DAA, CPL, SCF, CCF. SCF and CCF take bits 3 and 5
// from A, or on the Zilog part (NMOS) from A OR (F XOR Q): F's own bits show through unless
// the instruction before wrote them.
template <int Y, bool NMOS> Z80_INLINE void op_acc(Z80& c) {
    const uint8_t a = c.A(), f = c.F();
    constexpr uint8_t KEEP = FLAG_S | FLAG_Z | FLAG_P;
    if constexpr (Y == 0) {
        const uint8_t r = static_cast<uint8_t>((a << 1) | (a >> 7));
        c.AF = static_cast<uint16_t>((r << 8) | (f & KEEP) | (r & (FLAG_3 | FLAG_5 | FLAG_C)));
    } else if constexpr (Y == 1) {
        const uint8_t r = static_cast<uint8_t>((a >> 1) | (a << 7));
        c.AF =
            static_cast<uint16_t>((r << 8) | (f & KEEP) | (r & (FLAG_3 | FLAG_5)) | (a & FLAG_C));
    } else if constexpr (Y == 2) {
        const uint8_t r = static_cast<uint8_t>((a << 1) | (f & FLAG_C));
        c.AF = static_cast<uint16_t>((r << 8) | (f & KEEP) | (r & (FLAG_3 | FLAG_5)) | (a >> 7));
    } else if constexpr (Y == 3) {
        const uint8_t r = static_cast<uint8_t>((a >> 1) | (f << 7));
        c.AF =
            static_cast<uint16_t>((r << 8) | (f & KEEP) | (r & (FLAG_3 | FLAG_5)) | (a & FLAG_C));
    } else if constexpr (Y == 4) {
        alu_daa(c);
    } else if constexpr (Y == 5) {
        const uint8_t r = static_cast<uint8_t>(~a);
        c.AF = static_cast<uint16_t>((r << 8) | (f & (KEEP | FLAG_C)) | (r & (FLAG_3 | FLAG_5)) |
                                     FLAG_H | FLAG_N);
    } else {
        uint8_t bits53 = a & (FLAG_3 | FLAG_5);
        if constexpr (NMOS) bits53 = static_cast<uint8_t>((a | (f ^ c.Q)) & (FLAG_3 | FLAG_5));
        if constexpr (Y == 6) c.setF(static_cast<uint8_t>((f & KEEP) | bits53 | FLAG_C));
        else c.setF(static_cast<uint8_t>((f & KEEP) | bits53 | ((f & FLAG_C) ? FLAG_H : FLAG_C)));
    }
}

template <uint8_t OP, int IDX, class B> Z80_INLINE void op_main(Cpu<B>& c, uint16_t& xy) {
    constexpr int x = OP >> 6, y = (OP >> 3) & 7, z = OP & 7, p = y >> 1, q = y & 1;

    // The hook comes once the fetch cycle has ended; RET cc's is five T-states long.
    if constexpr (IDX == 0 && OP != 0xC0 && !(x == 3 && z == 0))
        if (fetch_hooked<OP>(c)) return;

    if constexpr (IDX != 0 && !has_index_form(OP)) {
        op_main<OP, 0>(c, c.HL); // the prefix only cost its M1
    } else if constexpr (x == 0) {
        if constexpr (z == 0) {
            if constexpr (y == 0) {
                // NOP
            } else if constexpr (y == 1) { // EX AF,AF'
                const uint16_t t = c.AF;
                c.AF = c.AF_;
                c.AF_ = t;
            } else if constexpr (y == 2) { // DJNZ e: pc:4, IR:1, pc+1:3 [, pc+1:1x5]
                internal_ir(c, 1);
                set_hi(c.BC, static_cast<uint8_t>(hi(c.BC) - 1));
                if (hi(c.BC)) jr_taken(c);
                else jr_not_taken(c);
            } else if constexpr (y == 3) { // JR e
                jr_taken(c);
            } else { // JR cc,e
                if (cond<y - 4>(c)) jr_taken(c);
                else jr_not_taken(c);
            }
        } else if constexpr (z == 1) {
            if constexpr (q == 0) { // LD rr,nn
                rp<p>(c, xy) = rd_pc16(c);
            } else { // ADD HL,rr: pc:4, IR:1x7
                internal_ir(c, 7);
                c.MEMPTR = static_cast<uint16_t>(xy + 1);
                xy = alu_add16(c, xy, rp<p>(c, xy));
            }
        } else if constexpr (z == 2) {
            if constexpr (OP == 0x02 || OP == 0x12) { // LD (BC),A; LD (DE),A
                const uint16_t addr = rp<p>(c, xy);
                wr(c, addr, c.A());
                c.MEMPTR = static_cast<uint16_t>(((addr + 1) & 0xFF) | (c.A() << 8));
            } else if constexpr (OP == 0x0A || OP == 0x1A) { // LD A,(BC); LD A,(DE)
                const uint16_t addr = rp<p>(c, xy);
                c.setA(rd(c, addr));
                c.MEMPTR = static_cast<uint16_t>(addr + 1);
            } else if constexpr (OP == 0x22) { // LD (nn),HL
                const uint16_t nn = rd_pc16(c);
                wr(c, nn, lo(xy));
                c.MEMPTR = static_cast<uint16_t>(nn + 1);
                wr(c, c.MEMPTR, hi(xy));
            } else if constexpr (OP == 0x2A) { // LD HL,(nn)
                const uint16_t nn = rd_pc16(c);
                const uint8_t low = rd(c, nn);
                c.MEMPTR = static_cast<uint16_t>(nn + 1);
                xy = static_cast<uint16_t>(low | (rd(c, c.MEMPTR) << 8));
            } else if constexpr (OP == 0x32) { // LD (nn),A
                const uint16_t nn = rd_pc16(c);
                wr(c, nn, c.A());
                c.MEMPTR = static_cast<uint16_t>(((nn + 1) & 0xFF) | (c.A() << 8));
            } else { // LD A,(nn)
                const uint16_t nn = rd_pc16(c);
                c.setA(rd(c, nn));
                c.MEMPTR = static_cast<uint16_t>(nn + 1);
            }
        } else if constexpr (z == 3) { // INC rr; DEC rr: pc:4, IR:1x2
            internal_ir(c, 2);
            rp<p>(c, xy) = static_cast<uint16_t>(rp<p>(c, xy) + (q == 0 ? 1 : -1));
        } else if constexpr (z == 4 || z == 5) { // INC r; DEC r
            if constexpr (y == 6) {              // (HL): hl:3, hl:1, hl:3
                const uint16_t addr = hl_operand<IDX>(c, xy);
                const uint8_t v = rd(c, addr);
                internal(c, addr, 1);
                wr(c, addr, z == 4 ? alu_inc(c, v) : alu_dec(c, v));
            } else {
                const uint8_t v = get_r<y>(c, xy);
                set_r<y>(c, xy, z == 4 ? alu_inc(c, v) : alu_dec(c, v));
            }
        } else if constexpr (z == 6) {          // LD r,n
            if constexpr (y == 6 && IDX != 0) { // LD (IX+d),n: pc+2:3, pc+3:3, pc+3:1x2, ea:3
                const int8_t d = static_cast<int8_t>(rd_pc(c));
                const uint16_t npc = c.PC++;
                const uint8_t n = rd(c, npc);
                internal(c, npc, 2);
                c.MEMPTR = static_cast<uint16_t>(xy + d);
                wr(c, c.MEMPTR, n);
            } else if constexpr (y == 6) { // LD (HL),n: pc+1:3, hl:3
                const uint8_t n = rd_pc(c);
                wr(c, c.HL, n);
            } else {
                set_r<y>(c, xy, rd_pc(c));
            }
        } else {
            op_acc<y, is_zilog_nmos<B>>(c);
        }
    } else if constexpr (x == 1) {
        if constexpr (OP == 0x76) { // HALT: fetched again at every step until an interrupt
            c.halted = 1;
            c.PC--;
            // The quick steps that would follow (z80/run.h) are each this HALT fetched again:
            // the fetch's T-states (after any contention) and R + 1. They are taken here, in a
            // loop without the decode, up to where the quick steps would have ended. R is
            // counted apart and added once: kept in memory, it would make every pass of the
            // loop wait for the last one's store.
            uint32_t fetches = 0;
            while (c.t < c.quick_end) {
                c.bus.fetch(c.t, c.PC);
                fetches++;
            }
            c.R = static_cast<uint16_t>(c.R + fetches);
        } else if constexpr (y == 6) { // LD (HL),r
            const uint16_t addr = hl_operand<IDX>(c, xy);
            wr(c, addr, get_r<z>(c, c.HL));
        } else if constexpr (z == 6) { // LD r,(HL)
            const uint16_t addr = hl_operand<IDX>(c, xy);
            set_r<y>(c, c.HL, rd(c, addr));
        } else { // LD r,r'
            set_r<y>(c, xy, get_r<z>(c, xy));
        }
    } else if constexpr (x == 2) { // ALU A,r
        if constexpr (z == 6) alu<y>(c, rd(c, hl_operand<IDX>(c, xy)));
        else alu<y>(c, get_r<z>(c, xy));
    } else {
        if constexpr (z == 0) { // RET cc: pc:4, IR:1 [, sp:3, sp+1:3]
            internal_ir(c, 1);
            if (fetch_hooked<OP>(c)) return;
            if (cond<y>(c)) {
                c.PC = pop16(c);
                c.MEMPTR = c.PC;
            }
        } else if constexpr (z == 1) {
            if constexpr (q == 0) { // POP rr
                rp2<p>(c, xy) = pop16(c);
            } else if constexpr (p == 0) { // RET
                c.PC = pop16(c);
                c.MEMPTR = c.PC;
            } else if constexpr (p == 1) { // EXX
                uint16_t t = c.BC;
                c.BC = c.BC_, c.BC_ = t;
                t = c.DE;
                c.DE = c.DE_, c.DE_ = t;
                t = c.HL;
                c.HL = c.HL_, c.HL_ = t;
            } else if constexpr (p == 2) { // JP (HL)
                c.PC = xy;
            } else { // LD SP,HL: pc:4, IR:1x2
                internal_ir(c, 2);
                c.SP = xy;
            }
        } else if constexpr (z == 2) { // JP cc,nn: the operand is read taken or not
            const uint16_t nn = rd_pc16(c);
            c.MEMPTR = nn;
            if (cond<y>(c)) c.PC = nn;
        } else if constexpr (z == 3) {
            if constexpr (y == 0) { // JP nn
                c.MEMPTR = c.PC = rd_pc16(c);
            } else if constexpr (y == 2) { // OUT (n),A: pc:4, pc+1:3, io
                const uint8_t n = rd_pc(c);
                port_out(c, static_cast<uint16_t>((c.A() << 8) | n), c.A());
                c.MEMPTR = static_cast<uint16_t>(((n + 1) & 0xFF) | (c.A() << 8));
            } else if constexpr (y == 3) { // IN A,(n): no flags change
                const uint16_t port = static_cast<uint16_t>((c.A() << 8) | rd_pc(c));
                c.MEMPTR = static_cast<uint16_t>(port + 1);
                c.setA(port_in(c, port));
            } else if constexpr (y == 4) { // EX (SP),HL
                op_ex_sp<IDX>(c, xy);
            } else if constexpr (y == 5) { // EX DE,HL (never the index register)
                const uint16_t t = c.DE;
                c.DE = c.HL;
                c.HL = t;
            } else if constexpr (y == 6) { // DI: also cancels an EI still waiting
                c.IFF1 = c.IFF2 = 0;
                c.pending_EI = 0;
            } else if constexpr (y == 7) { // EI: interrupts on after the next instruction
                c.pending_EI = 2;
                c.ei_tstates = c.t;
                c.quick_end = INT32_MIN; // the steps after it are the careful ones
            } else {
                static_assert(y != 1, "CB is a prefix");
            }
        } else if constexpr (z == 4) { // CALL cc,nn
            const uint16_t nn = rd_pc16(c);
            c.MEMPTR = nn;
            if (cond<y>(c)) call_taken(c, nn);
        } else if constexpr (z == 5) {
            if constexpr (q == 0) { // PUSH rr: pc:4, IR:1, sp-1:3, sp-2:3
                internal_ir(c, 1);
                push16(c, rp2<p>(c, xy));
            } else { // CALL nn
                static_assert(p == 0, "DD, ED and FD are prefixes");
                const uint16_t nn = rd_pc16(c);
                c.MEMPTR = nn;
                call_taken(c, nn);
            }
        } else if constexpr (z == 6) { // ALU A,n
            alu<y>(c, rd_pc(c));
        } else { // RST p: pc:4, IR:1, sp-1:3, sp-2:3
            internal_ir(c, 1);
            push16(c, c.PC);
            c.PC = c.MEMPTR = y * 8;
        }
    }
}

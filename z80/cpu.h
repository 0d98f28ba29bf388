// The CPU's working copy of its state and the bus cycles every instruction is made of.
// Internal to the step: the rest of the system sees the global record z80 and tstates.
//
// The step runs on a local copy of the registers and of tstates, taken when a run starts
// and written back when it ends (and around every call out of the CPU: port decode, tape
// traps). A local copy can live in host registers; the globals could not, because every
// byte the emulated program writes to memory might, as far as the compiler knows, alias
// them.
#pragma once

#include <cstdint>

#include "core/machine.h"
#include "z80/memory.h"
#include "z80/z80.h"

struct Cpu {
    uint16_t AF, BC, DE, HL;
    uint16_t AF_, BC_, DE_, HL_;
    uint16_t IX, IY, SP, PC, MEMPTR;
    uint16_t R;
    uint8_t I, R7, IM, IFF1, IFF2;
    uint8_t ei; // pending_EI
    uint8_t op; // opcode
    int32_t ei_tstates, halted;
    int32_t t; // tstates

    Z80_INLINE void load() {
        AF = z80.AF, BC = z80.BC, DE = z80.DE, HL = z80.HL;
        AF_ = z80.AF_, BC_ = z80.BC_, DE_ = z80.DE_, HL_ = z80.HL_;
        IX = z80.IX, IY = z80.IY, SP = z80.SP, PC = z80.PC, MEMPTR = z80.MEMPTR;
        R = z80.R, I = z80.I, R7 = z80.R7, IM = z80.IM, IFF1 = z80.IFF1, IFF2 = z80.IFF2;
        ei_tstates = z80.ei_tstates, halted = z80.halted;
        ei = pending_EI, op = opcode;
        t = tstates;
    }
    Z80_INLINE void store() const {
        z80.AF = AF, z80.BC = BC, z80.DE = DE, z80.HL = HL;
        z80.AF_ = AF_, z80.BC_ = BC_, z80.DE_ = DE_, z80.HL_ = HL_;
        z80.IX = IX, z80.IY = IY, z80.SP = SP, z80.PC = PC, z80.MEMPTR = MEMPTR;
        z80.R = R, z80.I = I, z80.R7 = R7, z80.IM = IM, z80.IFF1 = IFF1, z80.IFF2 = IFF2;
        z80.ei_tstates = ei_tstates, z80.halted = halted;
        pending_EI = ei, opcode = op;
        tstates = t;
    }

    Z80_INLINE uint8_t A() const { return AF >> 8; }
    Z80_INLINE uint8_t F() const { return AF & 0xFF; }
    Z80_INLINE void setA(uint8_t v) { AF = static_cast<uint16_t>((AF & 0x00FF) | (v << 8)); }
    Z80_INLINE void setF(uint8_t v) { AF = static_cast<uint16_t>((AF & 0xFF00) | v); }
};

// The halves of a register pair.
Z80_INLINE uint8_t hi(uint16_t rr) { return rr >> 8; }
Z80_INLINE uint8_t lo(uint16_t rr) { return rr & 0xFF; }
Z80_INLINE void set_hi(uint16_t& rr, uint8_t v) { rr = static_cast<uint16_t>((rr & 0x00FF) | (v << 8)); }
Z80_INLINE void set_lo(uint16_t& rr, uint8_t v) { rr = static_cast<uint16_t>((rr & 0xFF00) | v); }

// pc:4 — an opcode fetch (M1): contention, 4 T-states, the byte, R + 1.
Z80_INLINE uint8_t fetch_m1(Cpu& c) {
    if (is_contended(c.PC)) c.t += contention_at(ula_contention, c.t);
    c.t += 4;
    const uint8_t op = readbyte_internal(c.PC);
    c.PC++;
    c.R++;
    return op;
}

// a:3 — a memory read or write.
Z80_INLINE uint8_t rd(Cpu& c, uint16_t a) { return mem_read(c.t, a); }
Z80_INLINE void wr(Cpu& c, uint16_t a, uint8_t v) { mem_write(c.t, a, v); }

// pc+n:3 — an operand byte or word.
Z80_INLINE uint8_t rd_pc(Cpu& c) { return rd(c, c.PC++); }
Z80_INLINE uint16_t rd_pc16(Cpu& c) {
    const uint8_t low = rd_pc(c);
    return static_cast<uint16_t>(low | (rd_pc(c) << 8));
}

// a:1xn — internal T-states with a on the bus.
Z80_INLINE void internal(Cpu& c, uint16_t a, int n) { mem_internal(c.t, a, n); }

// IR:1xn. Only bits 14 and 15 of the address decide contention, and those come from I.
Z80_INLINE void internal_ir(Cpu& c, int n) { internal(c, static_cast<uint16_t>(c.I << 8), n); }

// sp-1:3, sp-2:3 and sp:3, sp+1:3.
Z80_INLINE void push16(Cpu& c, uint16_t v) {
    wr(c, --c.SP, hi(v));
    wr(c, --c.SP, lo(v));
}
Z80_INLINE uint16_t pop16(Cpu& c) {
    const uint8_t low = rd(c, c.SP++);
    return static_cast<uint16_t>(low | (rd(c, c.SP++) << 8));
}

// Calls out of the CPU see and change the global state.
template <typename F> Z80_INLINE auto call_out(Cpu& c, F f) {
    c.store();
    const auto result = f();
    c.load();
    return result;
}

// The CPU's working copy of its state and the bus cycles every instruction is made of.
// Internal to the step.
//
// The step runs on a local copy of the register record and of the T-state counter, taken
// when a run starts and written back when it ends (and around every call out of the CPU
// that may look at them: the bus's hooks). A local copy can live in host registers; the
// record could not, because every byte the emulated program writes to memory might, as far
// as the compiler knows, alias it.
//
// A bus type B offers the cycles, each charging its own T-states on the counter it is given
// (contention first, then the T-states, then the access):
//   uint8_t fetch(int32_t& t, uint16_t a)            an opcode fetch (M1): pc:4
//   uint8_t read(int32_t& t, uint16_t a)             a memory read: a:3
//   void write(int32_t& t, uint16_t a, uint8_t v)    a memory write: a:3
//   void internal(int32_t& t, uint16_t a, int n)     n internal T-states, a on the bus: a:1xn
//   uint8_t in(int32_t& t, uint16_t port)            a whole I/O cycle, read
//   void out(int32_t& t, uint16_t port, uint8_t v)   a whole I/O cycle, write
// the interrupt line:
//   static constexpr int32_t interrupt_end()   the last T-state of the frame at which the
//                                   maskable interrupt is requested (from 0); -1 for none
// and the hooks on chosen fetches:
//   static constexpr bool hook_opcode(uint8_t op)   unprefixed opcodes that may be hooked
//   bool hook_at(uint8_t op, uint16_t pc)  whether such an opcode, fetched with PC now at pc
//                                   (one past it), is hooked: a quick test, inline
//   bool fetch_hook(uint8_t op)     called once a hooked opcode's fetch cycle has ended, with
//                                   the record and the counter up to date; true when the
//                                   hook did the instruction's work (nothing else then runs)
// and, to run the CPU as the Zilog NMOS part, static constexpr bool zilog_nmos = true
// (z80/model.h; ZilogNmos<B> adds it to any bus); a bus that only holds references to
// another says static constexpr bool bus_view = true, and is held by value (z80/model.h).
// A bus that checks every step (a debugger's) says static constexpr bool checks_steps = true
// and offers:
//   bool step_at(uint16_t pc)   a step starts with PC at pc (an interrupt's acceptance, or
//                               an instruction): whether the bus must look at the machine
//                               before the instruction; a quick test, inline
//   bool stops_before()         then, with the record and the counter up to date: true ends
//                               the run before the instruction
//   bool stopped() const        after each instruction and each accepted interrupt: true
//                               ends the run there
#pragma once

#include <cstdint>

#include "z80/model.h"
#include "z80/z80.h"

// The record's fields one by one, not as one block: a block copy keeps the working copy in
// memory, where every register access of the step is a load or a store (measured: ZEXDOC
// 9% slower); copied field by field, each register lives in a host register.
Z80_INLINE void copy_registers(Z80& to, const Z80& from) {
    to.AF = from.AF, to.BC = from.BC, to.DE = from.DE, to.HL = from.HL;
    to.AF_ = from.AF_, to.BC_ = from.BC_, to.DE_ = from.DE_, to.HL_ = from.HL_;
    to.IX = from.IX, to.IY = from.IY, to.SP = from.SP, to.PC = from.PC, to.MEMPTR = from.MEMPTR;
    to.I = from.I, to.R = from.R, to.R7 = from.R7, to.IM = from.IM;
    to.IFF1 = from.IFF1, to.IFF2 = from.IFF2;
    to.ei_tstates = from.ei_tstates, to.halted = from.halted;
    to.pending_EI = from.pending_EI, to.opcode = from.opcode;
}

template <class B> struct Cpu : Z80 {
    BusHeld<B> bus;
    Z80& home;       // where the record lives between runs
    int32_t& home_t; // and the T-state counter
    int32_t t;
    // The run's quick steps go on while t is below this (z80/run.h); an EI, or a hook that
    // may have changed anything, ends them by setting it to INT32_MIN.
    int32_t quick_end = INT32_MIN;

    Cpu(B& b, Z80& record, int32_t& tstates) : bus(b), home(record), home_t(tstates) { load(); }
    Z80_INLINE void load() {
        copy_registers(*this, home);
        if constexpr (is_zilog_nmos<B>) Q = home.Q, after_ld_a_ir = home.after_ld_a_ir;
        t = home_t;
    }
    Z80_INLINE void store() const {
        copy_registers(home, *this);
        if constexpr (is_zilog_nmos<B>) home.Q = Q, home.after_ld_a_ir = after_ld_a_ir;
        home_t = t;
    }
};

// The halves of a register pair.
Z80_INLINE uint8_t hi(uint16_t rr) { return rr >> 8; }
Z80_INLINE uint8_t lo(uint16_t rr) { return rr & 0xFF; }
Z80_INLINE void set_hi(uint16_t& rr, uint8_t v) {
    rr = static_cast<uint16_t>((rr & 0x00FF) | (v << 8));
}
Z80_INLINE void set_lo(uint16_t& rr, uint8_t v) { rr = static_cast<uint16_t>((rr & 0xFF00) | v); }

// pc:4 — an opcode fetch (M1): the byte, R + 1.
template <class B> Z80_INLINE uint8_t fetch_m1(Cpu<B>& c) {
    const uint8_t op = c.bus.fetch(c.t, c.PC);
    c.PC++;
    c.R++;
    return op;
}

// a:3 — a memory read or write.
template <class B> Z80_INLINE uint8_t rd(Cpu<B>& c, uint16_t a) { return c.bus.read(c.t, a); }
template <class B> Z80_INLINE void wr(Cpu<B>& c, uint16_t a, uint8_t v) { c.bus.write(c.t, a, v); }

// pc+n:3 — an operand byte or word.
template <class B> Z80_INLINE uint8_t rd_pc(Cpu<B>& c) { return rd(c, c.PC++); }
template <class B> Z80_INLINE uint16_t rd_pc16(Cpu<B>& c) {
    const uint8_t low = rd_pc(c);
    return static_cast<uint16_t>(low | (rd_pc(c) << 8));
}

// a:1xn — internal T-states with a on the bus.
template <class B> Z80_INLINE void internal(Cpu<B>& c, uint16_t a, int n) {
    c.bus.internal(c.t, a, n);
}

// IR:1xn. Only the high byte of the address can matter to a bus, and that is I.
template <class B> Z80_INLINE void internal_ir(Cpu<B>& c, int n) {
    internal(c, static_cast<uint16_t>(c.I << 8), n);
}

// io — a port cycle.
template <class B> Z80_INLINE uint8_t port_in(Cpu<B>& c, uint16_t port) {
    return c.bus.in(c.t, port);
}
template <class B> Z80_INLINE void port_out(Cpu<B>& c, uint16_t port, uint8_t v) {
    c.bus.out(c.t, port, v);
}

// sp-1:3, sp-2:3 and sp:3, sp+1:3.
template <class B> Z80_INLINE void push16(Cpu<B>& c, uint16_t v) {
    wr(c, --c.SP, hi(v));
    wr(c, --c.SP, lo(v));
}
template <class B> Z80_INLINE uint16_t pop16(Cpu<B>& c) {
    const uint8_t low = rd(c, c.SP++);
    return static_cast<uint16_t>(low | (rd(c, c.SP++) << 8));
}

// The bus's hook on the fetch of OP, for the opcodes the bus names: it sees and may change
// the record, so the working copy is written back around it.
template <uint8_t OP, class B> Z80_INLINE bool fetch_hooked(Cpu<B>& c) {
    if constexpr (B::hook_opcode(OP)) {
        if (!c.bus.hook_at(OP, c.PC)) return false;
        c.store();
        const bool done = c.bus.fetch_hook(OP);
        c.load();
        c.quick_end = INT32_MIN;
        c.opcode = OP; // a hook may take the step past the run's end: it may be the last
        return done;
    } else {
        return false;
    }
}

// The CPU step over a bus: interrupt acceptance, fetch, decode through the seven opcode
// spaces, and the EI epilogue; and the run loop that repeats it. A machine instantiates
// z80_run and z80_interrupt for its bus type in one source file of its own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "z80/cpu.h"
#include "z80/ops_cb.h"
#include "z80/ops_ed.h"
#include "z80/ops_main.h"
#include "z80/z80.h"

// All 256 codes of an opcode space, as a 16 x 16 grid: F(0x00) ... F(0xFF).
// clang-format off
#define Z80_ROW(GEN, row)                                                                              \
    GEN(0x##row##0) GEN(0x##row##1) GEN(0x##row##2) GEN(0x##row##3) GEN(0x##row##4) GEN(0x##row##5) GEN(0x##row##6)            \
    GEN(0x##row##7) GEN(0x##row##8) GEN(0x##row##9) GEN(0x##row##A) GEN(0x##row##B) GEN(0x##row##C) GEN(0x##row##D)            \
    GEN(0x##row##E) GEN(0x##row##F)
#define Z80_ALL(GEN)                                                                                 \
    Z80_ROW(GEN, 0) Z80_ROW(GEN, 1) Z80_ROW(GEN, 2) Z80_ROW(GEN, 3) Z80_ROW(GEN, 4) Z80_ROW(GEN, 5)            \
    Z80_ROW(GEN, 6) Z80_ROW(GEN, 7) Z80_ROW(GEN, 8) Z80_ROW(GEN, 9) Z80_ROW(GEN, A) Z80_ROW(GEN, B)            \
    Z80_ROW(GEN, C) Z80_ROW(GEN, D) Z80_ROW(GEN, E) Z80_ROW(GEN, F)
// clang-format on

namespace z80_detail {

// The Zilog part's Q once an instruction has run: F if it wrote the flags, else 0.
template <bool WRITES, class B> Z80_INLINE void latch_q(Cpu<B>& c) {
    if constexpr (is_zilog_nmos<B>) c.Q = WRITES ? c.F() : 0;
}

template <int IDX> Z80_INLINE uint16_t& index_register(Z80& c) {
    if constexpr (IDX == 0) return c.HL;
    else if constexpr (IDX == 1) return c.IX;
    else return c.IY;
}

// CB op: after pc:4 (CB), the opcode's M1 at pc+1.
template <class B> Z80_INLINE void exec_cb(Cpu<B>& c) {
    switch (fetch_m1(c)) {
#define CB_CASE(n)                                                                                 \
    case n:                                                                                        \
        op_cb<n>(c);                                                                               \
        latch_q<writes_flags_cb(n)>(c);                                                            \
        break;
        Z80_ALL(CB_CASE)
#undef CB_CASE
    }
}

// ED op: after pc:4 (ED), the opcode's M1 at pc+1.
template <class B> Z80_INLINE void exec_ed(Cpu<B>& c) {
    switch (fetch_m1(c)) {
#define ED_CASE(n)                                                                                 \
    case n:                                                                                        \
        op_ed<n>(c);                                                                               \
        latch_q<writes_flags_ed(n)>(c);                                                            \
        break;
        Z80_ALL(ED_CASE)
#undef ED_CASE
    }
}

// DD CB d op: after pc:4 (DD) and pc+1:4 (CB). The displacement and the opcode are read
// (pc+2:3, pc+3:3; no M1, no R increment), then two internal cycles on the opcode's address.
template <int IDX, class B> Z80_INLINE void exec_index_cb(Cpu<B>& c) {
    const uint16_t ea =
        static_cast<uint16_t>(index_register<IDX>(c) + static_cast<int8_t>(rd_pc(c)));
    c.MEMPTR = ea;
    const uint16_t opc = c.PC++;
    const uint8_t op = rd(c, opc);
    internal(c, opc, 2);
    switch (op) {
#define DDCB_CASE(n)                                                                               \
    case n:                                                                                        \
        op_ddcb<n>(c, ea);                                                                         \
        latch_q<writes_flags_cb(n)>(c);                                                            \
        break;
        Z80_ALL(DDCB_CASE)
#undef DDCB_CASE
    }
}

template <class B> Z80_INLINE void exec_index_chain(Cpu<B>& c, uint8_t prefix);

template <uint8_t OP, int IDX, class B> Z80_INLINE void dispatch(Cpu<B>& c, uint16_t& xy) {
    if constexpr (OP == 0xCB) {
        if constexpr (IDX == 0) exec_cb(c);
        else exec_index_cb<IDX>(c);
    } else if constexpr (OP == 0xED) {
        exec_ed(c); // DD ED is a plain ED instruction
    } else if constexpr (OP == 0xDD || OP == 0xFD) {
        if constexpr (IDX == 0) exec_index_chain(c, OP);
        // after DD or FD the chain loop has consumed every further prefix
    } else {
        op_main<OP, IDX>(c, xy);
        latch_q<writes_flags_main(OP)>(c);
    }
}

// Executes opcode `op`, already fetched, in the unprefixed (IDX 0) or an index table.
template <int IDX, class B> Z80_INLINE void exec_table(Cpu<B>& c, uint8_t op) {
    uint16_t& xy = index_register<IDX>(c);
    switch (op) {
#define MAIN_CASE(n)                                                                               \
    case n: dispatch<n, IDX, B>(c, xy); break;
        Z80_ALL(MAIN_CASE)
#undef MAIN_CASE
    }
}

// A run of DD and FD prefixes is consumed one M1 at a time within one step; the last one
// decides which index register the instruction uses.
template <class B> Z80_INLINE void exec_index_chain(Cpu<B>& c, uint8_t prefix) {
    const uint8_t first = prefix;
    uint8_t op = fetch_m1(c);
    while (op == 0xDD || op == 0xFD) {
        // A chain can make a step of any length, so the run's last: its first opcode.
        c.opcode = first;
        prefix = op;
        op = fetch_m1(c);
    }
    if (prefix == 0xDD) exec_table<1, B>(c, op);
    else exec_table<2, B>(c, op);
}

// Maskable interrupt acceptance. IM 0 executes the bus value 0xFF, which is RST 38h.
// Without contention IM 0/1 take 13 T-states, IM 2 19. On the Zilog part an interrupt
// accepted right after LD A,I or LD A,R clears the P/V flag they set, and the acknowledge,
// writing no flags, clears Q.
template <class B> Z80_INLINE void accept_interrupt(Cpu<B>& c) {
    if constexpr (is_zilog_nmos<B>) {
        if (c.after_ld_a_ir) c.setF(static_cast<uint8_t>(c.F() & ~FLAG_P));
        c.after_ld_a_ir = 0;
        c.Q = 0;
    }
    if (c.halted) {
        c.PC++;
        c.halted = 0;
    }
    c.IFF1 = c.IFF2 = 0;
    push16(c, c.PC);
    c.R++;
    if (c.IM <= 1) {
        c.PC = 0x0038;
        c.t += 7;
    } else if (c.IM == 2) {
        const uint16_t vector = static_cast<uint16_t>((c.I << 8) | 0xFF);
        const uint8_t low = rd(c, vector);
        c.PC = static_cast<uint16_t>(low | (rd(c, static_cast<uint16_t>(vector + 1)) << 8));
        c.t += 7;
    }
    c.MEMPTR = c.PC;
}

} // namespace z80_detail

// Accepts a maskable interrupt now (pushes PC, jumps by IM), whatever IFF1 says.
template <class B> void z80_interrupt(B& bus, Z80& z80, int32_t& tstates) {
    Cpu<B> c(bus, z80, tstates);
    z80_detail::accept_interrupt(c);
    c.store();
}

// The longest step that can start a quick step's successor: any instruction with at most
// one DD or FD prefix, every cycle of it contended (DD CB d and the repeating I/O blocks:
// 23 T-states and 13 cycles at most, each waiting 6 at most, stay under 128). Longer steps
// are a chain of prefixes or a hook, which note themselves.
constexpr int32_t Z80_LONGEST_STEP = 256;

// Runs steps while tstates < limit: at each, the frame interrupt is accepted if IFF1 is set,
// tstates <= bus.interrupt_end() and the last instruction was not an EI; one instruction runs
// (a whole prefix chain, or one iteration of a repeating block instruction); a pending EI
// completes. Returns the T-state at which the last step began, or `limit` when no step ran.
// Over a checking bus (z80/cpu.h) the run also ends where the bus says stop: before an
// instruction, or after the instruction or interrupt whose cycles it stopped on.
//
// A careful step does all of the above. It is followed by quick steps, which do none of it,
// for as long as none of it can matter: past the interrupt window, with no EI pending, and
// so far from the limit that a step cannot be the run's last (so the opcode the last step
// dispatched on need not be noted). An EI, or a hook, makes the next step a careful one.
template <class B> int32_t z80_run(B& bus, Z80& z80, int32_t& tstates, int32_t limit) {
    using namespace z80_detail;
    Cpu<B> c(bus, z80, tstates);
    constexpr int32_t int_end = B::interrupt_end();
    const int32_t quick_end =
        static_cast<int32_t>(std::max<int64_t>(INT32_MIN, int64_t{limit} - Z80_LONGEST_STEP));
    // Only the last step's start is needed after the run: kept in memory, it costs one store
    // a step and no register.
    volatile int32_t t0 = limit;
    while (c.t < limit) {
        t0 = c.t;
        // A checking bus sees every step, so it runs none of them quickly.
        c.quick_end = !checks_steps<B> && c.t > int_end && !c.pending_EI ? quick_end : INT32_MIN;
        // The interrupt line is held during T-states 0 to int_end of the frame. None is
        // accepted at the end of an EI, whenever that is (a run, or a frame, may end there).
        if (c.t <= int_end && c.IFF1 && !c.pending_EI) {
            if constexpr (checks_steps<B>) c.bus.step_at(c.PC);
            accept_interrupt(c);
            if constexpr (checks_steps<B>)
                if (c.bus.stopped()) break;
        }
        if constexpr (checks_steps<B>) {
            if (c.bus.step_at(c.PC)) {
                c.store();
                if (c.bus.stops_before()) break;
            }
        }
        if constexpr (is_zilog_nmos<B>) c.after_ld_a_ir = 0;
        uint8_t op = fetch_m1(c);
        c.opcode = op;
        for (;;) {
            exec_table<0, B>(c, op);
            if (c.t >= c.quick_end) break;
            // A quick step.
            t0 = c.t;
            if constexpr (is_zilog_nmos<B>) c.after_ld_a_ir = 0;
            op = fetch_m1(c);
        }
        // EI set pending_EI to 2 and its own end takes it to 1; the end of the instruction
        // after it, which ran with interrupts still off, enables them.
        if (c.pending_EI && --c.pending_EI == 0) c.IFF1 = c.IFF2 = 1;
        if constexpr (checks_steps<B>)
            if (c.bus.stopped()) break;
    }
    c.store();
    return t0;
}

// The same two on the Zilog NMOS part (z80/model.h).
template <class B> int32_t z80_run_zilog(B& bus, Z80& z80, int32_t& tstates, int32_t limit) {
    ZilogNmos<B> nmos{bus};
    return z80_run(nmos, z80, tstates, limit);
}
template <class B> void z80_interrupt_zilog(B& bus, Z80& z80, int32_t& tstates) {
    ZilogNmos<B> nmos{bus};
    z80_interrupt(nmos, z80, tstates);
}

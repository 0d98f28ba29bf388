// The machine's bus (the 48K's, or the 128K's Bus128) with every data access and port cycle
// shown to the debugger after it happened, and every step to its breakpoints before it runs.
// Timing, contention, memory and the traps are the bus's own, and the interrupt is accepted
// by the CPU's own run: a run over it takes exactly the cycles a run over the machine takes.
#pragma once

#include <cstdint>

#include "frontend/debugger.h"
#include "spectrum/machine.h"
#include "z80/z80.h"

template <class Inner> struct DebugBus {
    BusHeld<Inner> inner;
    Debugger& d;
    Spectrum& m;
    static constexpr bool bus_view = true;
    static constexpr bool checks_steps = true;

    // PC is checked before every instruction inside the CPU's own run, so a run with
    // breakpoints is the CPU's loop with a table lookup a step, not a run a step.
    Z80_INLINE bool step_at(uint16_t pc) { return d.step_at(pc); }
    Z80_INLINE bool stops_before() { return d.before_instruction(m); }
    Z80_INLINE bool stopped() const { return d.stopped(); }

    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t a) { return inner.fetch(t, a); }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t a) {
        const uint8_t value = inner.read(t, a);
        if (d.watching_memory) d.accessed(Breakpoint::Kind::read, a, value);
        return value;
    }
    Z80_INLINE void write(int32_t& t, uint16_t a, uint8_t v) {
        inner.write(t, a, v);
        if (d.watching_memory) d.accessed(Breakpoint::Kind::write, a, v);
    }
    Z80_INLINE void internal(int32_t& t, uint16_t a, int n) { inner.internal(t, a, n); }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) {
        const uint8_t value = inner.in(t, port);
        if (d.watching_ports) d.accessed(Breakpoint::Kind::port_in, port, value);
        return value;
    }
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t value) {
        inner.out(t, port, value);
        if (d.watching_ports) d.accessed(Breakpoint::Kind::port_out, port, value);
    }
    static constexpr int32_t interrupt_end() { return Inner::interrupt_end(); }
    static constexpr bool hook_opcode(uint8_t op) { return Inner::hook_opcode(op); }
    Z80_INLINE bool hook_at(uint8_t op, uint16_t pc) { return Inner::hook_at(op, pc); }
    Z80_INLINE bool fetch_hook(uint8_t op) { return inner.fetch_hook(op); }
};

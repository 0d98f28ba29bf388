// The machine's bus (the 48K's, or the 128K's Bus128) with every data access and port cycle
// shown to the debugger after it happened. Timing, contention, memory and the traps are the
// bus's own: a run over it takes exactly the cycles a run over the machine takes.
#pragma once

#include <cstdint>

#include "frontend/debugger.h"
#include "spectrum/machine.h"
#include "z80/run.h"
#include "z80/z80.h"

template <class Inner> struct DebugBus {
    Inner& inner;
    Debugger& d;

    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t a) { return inner.fetch(t, a); }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t a) {
        const uint8_t value = inner.read(t, a);
        if (d.watching_memory) d.memory_read(a, value);
        return value;
    }
    Z80_INLINE void write(int32_t& t, uint16_t a, uint8_t v) {
        inner.write(t, a, v);
        if (d.watching_memory) d.memory_write(a, v);
    }
    Z80_INLINE void internal(int32_t& t, uint16_t a, int n) { inner.internal(t, a, n); }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) {
        const uint8_t value = inner.in(t, port);
        if (d.watching_ports) d.port_read(port, value);
        return value;
    }
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t value) {
        inner.out(t, port, value);
        if (d.watching_ports) d.port_write(port, value);
    }
    static constexpr int32_t interrupt_end() { return Inner::interrupt_end(); }
    static constexpr bool hook_opcode(uint8_t op) { return Inner::hook_opcode(op); }
    Z80_INLINE bool hook_at(uint8_t op, uint16_t pc) { return Inner::hook_at(op, pc); }
    bool fetch_hook(uint8_t op) { return inner.fetch_hook(op); }
};

// The interrupt is accepted as a step of its own (the machine's own acceptance), so that a
// breakpoint at its handler stops before the handler's first instruction; each instruction
// is then a run of one step over the checking bus.
template <class Bus> bool Debugger::run_over(Spectrum& m, Bus& bus, int32_t limit) {
    const int32_t int_end = Bus::interrupt_end();
    const bool zilog = m.cpu_model == CpuModel::zilog;
    while (m.tstates < limit) {
        if (m.tstates <= int_end && m.z80.IFF1 && !m.z80.pending_EI) m.Z80INT();
        if (at_address[m.z80.PC] && stops_before(m)) return true;
        if (before_step) before_step(m);
        instruction_pc = m.z80.PC;
        const int32_t t0 = zilog ? z80_run_zilog(bus, m.z80, m.tstates, m.tstates + 1)
                                 : z80_run(bus, m.z80, m.tstates, m.tstates + 1);
        m.tstatesd = m.tstates - t0;
        if (!reason.empty()) {
            stop_pc = m.z80.PC;
            stop_t = m.tstates;
            return true;
        }
    }
    return false;
}

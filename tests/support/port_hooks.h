// The machine's bus with its ports in a test's hands: a port read returns port_read_hook(port)
// instead of the machine's decode, and every port write is shown to port_write_hook before
// the machine takes it. Memory, contention, the traps and every cycle's timing are the
// machine's own. The machine's bus carries no such test: the step is compiled for this bus
// apart (port_hooks.cpp, and port_hooks_zilog.cpp for the Zilog model).
#pragma once

#include <cstdint>

#include "spectrum/machine.h"
#include "z80/z80.h"

struct PortHooks {
    Spectrum& m;
    uint8_t (*port_read_hook)(uint16_t port) = nullptr;
    void (*port_write_hook)(uint16_t port, uint8_t value) = nullptr;

    // Spectrum::z80_step and Spectrum::Z80INT over this bus, in the machine's CPU model.
    void z80_step();
    void Z80INT();

    // --- The bus --------------------------------------------------------------------------
    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t a) { return m.fetch(t, a); }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t a) { return m.read(t, a); }
    Z80_INLINE void write(int32_t& t, uint16_t a, uint8_t v) { m.write(t, a, v); }
    Z80_INLINE void internal(int32_t& t, uint16_t a, int n) { m.internal(t, a, n); }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) {
        if (!port_read_hook) return m.in(t, port);
        Spectrum::port_early(t, port);
        Spectrum::port_late(t, port);
        m.tstates = t;
        const uint8_t value = port_read_hook(port);
        t += 1;
        return value;
    }
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t value) {
        if (port_write_hook) {
            int32_t at = t;
            Spectrum::port_early(at, port);
            const int32_t now = m.tstates;
            m.tstates = at;
            port_write_hook(port, value);
            m.tstates = now;
        }
        m.out(t, port, value);
    }
    static constexpr int32_t interrupt_end() { return Spectrum::interrupt_end(); }
    static constexpr bool hook_opcode(uint8_t op) { return Spectrum::hook_opcode(op); }
    Z80_INLINE bool hook_at(uint8_t op, uint16_t pc) { return Spectrum::hook_at(op, pc); }
    bool fetch_hook(uint8_t op) { return m.fetch_hook(op); }
};

// The Zilog model's run and interrupt over PortHooks (a source file of their own: each
// instantiation of the step takes a minute to compile).
int32_t port_hooks_run_zilog(PortHooks& bus, int32_t limit);
void port_hooks_interrupt_zilog(PortHooks& bus);

// The 128K's bus: the same machine, with the 128K ULA's timings and its contention by bank.
// A separate bus type, so that the 48K's step (Spectrum itself as the bus) does none of
// this work: banks 1, 3, 5 and 7 are contended wherever they are mapped (slot 3 included),
// the others never; ports whose high byte falls in a contended slot are contended as the
// 48K's 0x40-0x7F are; a write is captured for the picture when it lands in the bank the
// ULA shows, through whichever slot.
#pragma once

#include <cstdint>

#include "spectrum/capture.h"
#include "spectrum/contention.h"
#include "spectrum/machine.h"
#include "z80/z80.h"

struct Bus128 {
    Spectrum& m;
    // The two facts of the paging that every cycle looks at, copied from the machine's
    // caches: the CPU holds this bus by value, so they stay in host registers. Only a port
    // write (0x7FFD) or a hook can change the paging, and each copies them again.
    uint8_t contended_slots = m.CONTENDED_SLOTS;
    uintptr_t screen_at = m.SCREEN_AT;
    static constexpr bool bus_view = true;

    Z80_INLINE bool contended(uint16_t addr) const { return (contended_slots >> (addr >> 14)) & 1; }
    Z80_INLINE void paging_changed() {
        contended_slots = m.CONTENDED_SLOTS;
        screen_at = m.SCREEN_AT;
    }

    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t addr) {
        if (contended(addr)) t += contention_at<true>(t);
        t += 4;
        return *reinterpret_cast<const uint8_t*>(m.SLTRD_AT[addr >> 14] + addr);
    }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t addr) {
        if (contended(addr)) t += contention_at<true>(t);
        t += 3;
        return *reinterpret_cast<const uint8_t*>(m.SLTRD_AT[addr >> 14] + addr);
    }
    Z80_INLINE void write(int32_t& t, uint16_t addr, uint8_t value) {
        if (contended(addr)) t += contention_at<true>(t);
        t += 3;
        const uintptr_t at = m.SLTWR_AT[addr >> 14] + addr;
        *reinterpret_cast<uint8_t*>(at) = value;
        const uintptr_t off = at - screen_at;
        if (off < 6912 && addr2t_table_128[off] > t) m.RTFB[off] = value;
    }
    Z80_INLINE void internal(int32_t& t, uint16_t addr, int n) {
        t += contended(addr) ? contended_cycles<true>(t, n) : n;
    }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) {
        port_early(t, port);
        port_late(t, port);
        m.tstates = t;
        const uint8_t value = m.readport_internal(port);
        t += 1;
        return value;
    }
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t value) {
        port_early(t, port);
        m.tstates = t;
        m.writeport_internal(port, value);
        paging_changed();
        port_late(t, port);
        t += 1;
    }
    static constexpr int32_t interrupt_end() { return ULA_128.interrupt_end; }
    static constexpr bool hook_opcode(uint8_t op) { return Spectrum::hook_opcode(op); }
    Z80_INLINE static bool hook_at(uint8_t op, uint16_t pc) { return Spectrum::hook_at(op, pc); }
    Z80_INLINE bool fetch_hook(uint8_t op) {
        const bool done = m.fetch_hook(op);
        paging_changed();
        return done;
    }

    // The I/O cycle's timing as Spectrum::port_late describes it, with "contended" the
    // 128K's.
    Z80_INLINE void port_early(int32_t& t, uint16_t port) const {
        if (contended(port)) t += contention_at<true>(t);
        t += 1;
    }
    Z80_INLINE void port_late(int32_t& t, uint16_t port) const {
        if (!(port & 1)) {
            t += contention_at<true>(t);
            t += 2;
        } else if (contended(port)) {
            t += contention_at<true>(t);
            t += 1;
            t += contention_at<true>(t);
            t += 1;
            t += contention_at<true>(t);
        } else {
            t += 2;
        }
    }
};

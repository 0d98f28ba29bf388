// The timing of an I/O cycle, on a T-state counter of the caller's choice (the global for
// readport/writeport, a register copy inside the CPU's run loop).
//
//   port                         pattern (C = contention step)   value formed / write done
//   high 0x40-0x7F, bit 0 = 0    C 1, C 3                        read after C 1, C 2; write after C 1
//   high 0x40-0x7F, bit 0 = 1    C 1, C 1, C 1, C 1              read after C 1, C 1, C 1, C; write after C 1
//   other high,     bit 0 = 0    1, C 3                          read after 1, C 2; write after 1
//   other high,     bit 0 = 1    4                               read after 3; write after 1
#pragma once

#include <cstdint>

#include "core/machine.h"
#include "ula/ula.h"
#include "z80/memory.h"

Z80_INLINE void port_contention_step(int32_t& t) { t += contention_at(ula_contention_no_mreq, t); }

Z80_INLINE void port_early(int32_t& t, uint16_t port) {
    if (is_contended(port)) port_contention_step(t);
    t += 1;
}

Z80_INLINE void port_late(int32_t& t, uint16_t port) {
    if (!(port & 1)) {
        port_contention_step(t);
        t += 2;
    } else if (is_contended(port)) {
        port_contention_step(t);
        t += 1;
        port_contention_step(t);
        t += 1;
        port_contention_step(t);
    } else {
        t += 2;
    }
}

// The decode looks at the global tstates (floating bus), so it is brought up to date first.
Z80_INLINE uint8_t port_in(int32_t& t, uint16_t port) {
    port_early(t, port);
    port_late(t, port);
    tstates = t;
    const uint8_t value = readport_internal(port);
    t += 1;
    return value;
}

// The write happens after the first T-state, which is the time stamp of a speaker event.
Z80_INLINE void port_out(int32_t& t, uint16_t port, uint8_t value) {
    port_early(t, port);
    tstates = t;
    writeport_internal(port, value);
    port_late(t, port);
    t += 1;
}

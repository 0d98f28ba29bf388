// The raster capture: which screen writes the beam still shows in the current frame.
#pragma once

#include <array>
#include <cstdint>

#include "z80/z80.h"

// For every screen offset, addr2t(0x4000 + offset): one load instead of the search over the
// 192 line addresses. The 128K's ULA fetches each line at its own timings.
extern const std::array<int32_t, 6912> addr2t_table;
extern const std::array<int32_t, 6912> addr2t_table_128;

// The T-state at which the 48K's ULA begins fetching the line that shows screen byte a; 0
// outside 0x4000-0x5AFF.
int32_t addr2t(uint16_t a);

// Offered every CPU write after its T-states are charged: the byte shows in the frame's
// capture RTFB (6144 bitmap bytes, then 768 attribute bytes) only if the beam has not yet
// begun the line that holds it.
Z80_INLINE void raster_capture(uint8_t* RTFB, uint16_t addr, uint8_t value, int32_t t) {
    const uint32_t off = static_cast<uint16_t>(addr - 0x4000);
    if (off < 6912 && addr2t_table[off] > t) RTFB[off] = value;
}

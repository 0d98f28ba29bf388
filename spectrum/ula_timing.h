// The ULA's timings, one record per model: every number the contention, the raster capture,
// the floating bus, the picture and the interrupt are made from.
#pragma once

#include <cstdint>

struct UlaTiming {
    int32_t line;            // T-states a line
    int32_t lines;           // lines a frame
    int32_t first_contended; // the first memory cycle that waits (6 T-states) starts here
    int32_t interrupt_end;   // the last T-state at which the interrupt is still requested
    uint32_t clock_hz;       // the CPU's clock

    constexpr int32_t frame() const { return line * lines; }
    // The ULA fetches paper line 0 from the T-state after the first contended one: the
    // bytes of each 8-T-state group are on its bus at phases 2 to 5 from there.
    constexpr int32_t fetch() const { return first_contended + 1; }
    // The top-left pixel of the 352 x 288 picture: 48 lines and 48 pixels (24 T-states)
    // before the paper's first.
    constexpr int32_t picture_top_left() const { return fetch() - 48 * line - 24; }
};

// The 48K: 224 T-states a line, 312 lines, the interrupt requested for 32 T-states.
inline constexpr UlaTiming ULA_48{224, 312, 14335, 31, 3500000};
// The 128K (and +2): 228 T-states a line, 311 lines, a faster clock, and the interrupt
// requested for 36 T-states.
inline constexpr UlaTiming ULA_128{228, 311, 14361, 35, 3546900};

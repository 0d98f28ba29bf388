// One logical frame of a machine on its own (frontend/run_ahead.h), in the main loop's order.
#include "frontend/run_ahead.h"

#include <cstring>

void run_logical_frame(Spectrum& m, const FrameTarget& target) {
    while (m.tstates < m.tpf) {
        m.z80_run(m.tpf, m.tpfh);
        if (m.tstatesh >= m.tpfh) m.end_physical_frame();
    }
    uint8_t levels[SAMPLES_PER_FRAME];
    m.beeper_frame_end(levels);
    if (m.tape_deck.attached()) m.tape_frame_end(target.tape_heard ? levels : nullptr);
    float left[SAMPLES_PER_FRAME], right[SAMPLES_PER_FRAME];
    m.ay_frame_end(left, right);
    if (target.surface)
        m.rasterize_ULA(target.surface, target.screen_mode, target.paint_border, target.painted);
    else std::memcpy(m.RTFB, m.screen_bank(), sizeof m.RTFB);
    m.end_logical_frame();
}

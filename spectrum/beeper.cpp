// The beeper: each logical frame's speaker changes become 960 samples.
#include <algorithm>
#include <cstring>

#include "spectrum/machine.h"

// Sample k of the frame covers T-states k * tpf / 960 onwards and carries the level after
// every change that falls on or before it. Changes on the same sample cancel; a change
// stamped at or past tpf (the instruction that crossed the frame end) fills nothing more
// here and only sets the level the next frame starts with.
void Spectrum::beeper_frame_end(uint8_t* slot) {
    int32_t i = 0;
    for (int32_t j = 0; j < OUTSTK.size(); j++) {
        // 64-bit product: a change stamped millions of T-states late (after a long tape
        // block) must still land at the end of the slot, not wrap round to a negative one.
        int64_t e = static_cast<int64_t>(OUTSTK[j]) * SAMPLES_PER_FRAME / tpf;
        if (e > SAMPLES_PER_FRAME) e = SAMPLES_PER_FRAME;
        if (e > i) {
            std::memset(slot + i, OUTAGE, static_cast<size_t>(e - i));
            i = static_cast<int32_t>(e);
        }
        OUTAGE = static_cast<uint8_t>(~OUTAGE);
    }
    std::memset(slot + i, OUTAGE, static_cast<size_t>(SAMPLES_PER_FRAME - i));
    OUTSTK.clear();
}

void Spectrum::ay_frame_end(float* left, float* right) {
    if (!ay_present()) {
        std::fill(left, left + SAMPLES_PER_FRAME, 0.0f);
        std::fill(right, right + SAMPLES_PER_FRAME, 0.0f);
        return;
    }
    ay.frame_tpf = tpf;
    ay.end_frame(SAMPLES_PER_FRAME, left, right);
}

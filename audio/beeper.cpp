// Beeper sampling: each logical frame's speaker changes become 960 samples of the ring, and
// the audio thread plays the ring.
#include "audio/beeper.h"

#include <cstring>

#include "core/machine.h"
#include "ula/ula.h"

uint8_t OUTAGE;
uint8_t AUDBUF[AUDBUF_SIZE];
std::atomic<int32_t> AUDPOSW;
std::atomic<int32_t> AUDPOSR;
std::atomic<uint8_t> AUDDAT;
int32_t enable_audio;

void audio_defaults() {
    OUTAGE = 0;
    std::memset(AUDBUF, 0, sizeof AUDBUF);
    AUDPOSW = 0;
    AUDPOSR = 0;
    AUDDAT = 0;
    enable_audio = 0;
}

// Sample k of the frame covers T-states k * tpf / 960 onwards and carries the level after
// every change that falls on or before it. Changes on the same sample cancel; a change
// stamped at or past tpf (the instruction that crossed the frame end) fills nothing more
// here and only sets the level the next frame starts with.
void beeper_frame_end() {
    const int32_t base = pulldown * SAMPLES_PER_FRAME;
    uint8_t* slot = AUDBUF + base;
    int32_t i = 0;
    for (int32_t j = 0; j < OUTSP; j++) {
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
    OUTSP = 0;
    // The samples and the level are stored before the write end moves: the audio thread
    // that sees the new AUDPOSW sees them too.
    AUDDAT.store(OUTAGE, std::memory_order_release);
    AUDPOSW.store(base + SAMPLES_PER_FRAME, std::memory_order_release);
}

void audio_fill(uint8_t* stream, int length) {
    int32_t r = AUDPOSR.load(std::memory_order_acquire);
    if (file_requester_mode.load(std::memory_order_acquire) ||
        still_frame.load(std::memory_order_acquire)) {
        // Stopped machine: silence, but the read position keeps moving through the ring.
        for (int n = 0; n < length; n++) {
            if (r == AUDBUF_SIZE) r = 0;
            stream[n] = 0x00;
            r++;
        }
        AUDPOSR.store(r, std::memory_order_release);
        return;
    }
    for (int n = 0; n < length; n++) {
        if (r == AUDBUF_SIZE) r = 0;
        // A write end of 4800 is the same place as a read position of 0.
        if (r == AUDPOSW.load(std::memory_order_acquire) % AUDBUF_SIZE) {
            // Caught up with the writer: hold the last frame's final level, so an underrun
            // is heard as silence rather than a click, and wait here for the next slot.
            std::memset(stream + n, AUDDAT.load(std::memory_order_acquire),
                        static_cast<size_t>(length - n));
            break;
        }
        stream[n] = AUDBUF[r++];
    }
    AUDPOSR.store(r, std::memory_order_release);
}

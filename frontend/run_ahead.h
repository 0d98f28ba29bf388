// Run-ahead: the machine shown some frames ahead of where it stands, so that a key pressed
// shows that much sooner. The frames ahead run on a copy, recomputed each time from the
// machine's own state with the newest input; the machine itself (and its sound) goes on
// along its own timeline, untouched.
#pragma once

#include <cstdint>

#include "spectrum/machine.h"

// What one logical frame of a machine on its own makes, and where it goes.
struct FrameTarget {
    // The picture (ULA_SURFACE_W x ULA_SURFACE_H), painted as the main loop paints it; null:
    // nothing painted, the screen the beam fetches next frame reloaded all the same.
    uint8_t* surface = nullptr;
    int32_t screen_mode = SCREEN_COLOUR;
    bool paint_border = true;
    PaintedFrom* painted = nullptr;
    // As the session's choice: whether the tape's signal is mixed into the beeper's sound.
    // The deck keeps that frame's edges for the mix only then, so a copy that is to stay
    // equal to the machine's own next frames makes the same choice.
    bool tape_heard = true;
};

// Runs `m` to the end of its logical frame and ends it as the main loop does: the physical
// frames that end on the way, the beeper, the tape, the sound chip (their sound made and
// dropped), the picture and the frame's counters.
void run_logical_frame(Spectrum& m, const FrameTarget& target);

// Makes `ahead` a copy of `m` run `frames` logical frames on: run_frame(ahead, last) runs
// one, `last` set for the last (where the caller paints its picture). `m` is only read.
template <class RunFrame>
void run_ahead(const Spectrum& m, Spectrum& ahead, int frames, RunFrame&& run_frame) {
    ahead = m;
    for (int f = 0; f < frames; f++) run_frame(ahead, f == frames - 1);
}

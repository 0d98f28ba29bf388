// Figures of a run for tests and measurements, printed on standard error at exit when the
// environment has MARROWGLEAM_STATS=1: frames run, real and CPU time, what each displayed
// frame cost, the displayed frames skipped (skipped_frames), the times the sound ran dry
// (audio_underruns) and the times the frame grid was started anew (grid_restarts).
#pragma once

#include <cstdint>

class Session;

namespace run_stats {
// Whether MARROWGLEAM_STATS asks for them (read once).
bool enabled();

// The main loop starts. Real and CPU time are counted from the program's start, where the
// machine's clock starts too.
void begin();

// One displayed frame: seconds spent composing, in the buffer swap, and held by the clock.
void frame(double compose, double swap, double hold);

// A displayed frame skipped because it was already late.
void skipped();

// Prints the line "marrowgleam stats: name=value ..." on standard error.
void report(const Session& session, uint64_t grid_restarts);
} // namespace run_stats

// The beeper: the frame's speaker events turned into 960 samples of the 4800-sample ring,
// and the body of the audio callback that plays the ring.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int AUDIO_RATE = 48000;
constexpr int SAMPLES_PER_FRAME = 960;
constexpr int AUDBUF_SIZE = 4800; // five slots

extern uint8_t OUTAGE; // speaker level of the conversion (0x00 or 0xFF)
extern uint8_t AUDBUF[AUDBUF_SIZE];
// Shared with the audio thread: the writer publishes with release, the callback reads with
// acquire, so it never sees a write end before the samples behind it.
extern std::atomic<int32_t> AUDPOSW; // end of the slot filled last: 960..4800, 0 after a reset
extern std::atomic<int32_t> AUDPOSR; // next sample the callback plays
extern std::atomic<uint8_t> AUDDAT;  // the level at the end of the last converted frame
extern int32_t enable_audio;

// Step 2 of render_logical_frame: fills slot `pulldown` from OUTSTK, empties OUTSTK, sets
// AUDPOSW to the end of the slot and AUDDAT to the level.
void beeper_frame_end();

// The audio callback's body: fills `length` bytes of unsigned 8-bit mono at 48 kHz from the
// ring at AUDPOSR (4800 reads as 0). Plays 0x00 while the machine is paused or the requester
// is open, still moving AUDPOSR; on reaching the write end it plays AUDDAT for the rest.
void audio_fill(uint8_t* stream, int length);

void audio_defaults();

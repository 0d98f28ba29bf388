// The sound ring: each logical frame's samples (beeper, tape signal, sound chip), mixed on
// the emulation thread and played by the host's audio callback on its own thread, with the
// lead the device starts with and the gap an underrun leaves.
#pragma once

#include <atomic>
#include <cstdint>

#include "frontend/sound_mix.h"
#include "spectrum/machine.h"

// The audio ring: eight slots of one logical frame's samples (160 ms).
constexpr int AUDBUF_SIZE = 8 * SAMPLES_PER_FRAME;
// What the ring holds before the device starts after a reset: three frames (60 ms). The
// emulation thread may then stall for about 30 ms (a slow buffer swap) without the device
// running dry. Each underrun adds a frame to the lead the device resumes with, up to six
// (120 ms): a computer whose stalls are longer gets a longer delay rather than more gaps.
constexpr int AUDIO_LEAD = 3 * SAMPLES_PER_FRAME;
constexpr int AUDIO_LEAD_MOST = 6 * SAMPLES_PER_FRAME;
// An underrun holds the last level for one frame's samples, then fades towards silence (0,
// which a stopped machine plays) by AUDIO_FADE a sample: a time constant
// of 10 ms, slow enough to be heard as no click. Playback after a faded gap starts from where
// the fade had got to and glides back to the ring's own level the same way.
constexpr int AUDIO_HOLD = SAMPLES_PER_FRAME;
constexpr float AUDIO_FADE = 0.997919f; // exp(-1 / 480)

// A sample packed into one word (left in the low half), for an atomic.
constexpr uint32_t pack_sample(StereoSample s) {
    return static_cast<uint16_t>(s.left) | static_cast<uint32_t>(static_cast<uint16_t>(s.right))
                                               << 16;
}
constexpr StereoSample unpack_sample(uint32_t w) {
    return {static_cast<int16_t>(w & 0xFFFF), static_cast<int16_t>(w >> 16)};
}

class SoundRing {
  public:
    // A single-producer, single-consumer ring shared with the audio thread. The emulation
    // thread writes a slot, then publishes its end in AUDPOSW (release); the callback
    // acquires AUDPOSW, plays up to it and publishes how far it got in AUDPOSR (release);
    // the emulation thread acquires AUDPOSR and writes only a slot the callback cannot be
    // reading. The callback never moves past the write end.
    StereoSample AUDBUF[AUDBUF_SIZE] = {};
    std::atomic<int32_t> AUDPOSW{0}; // end of the slot filled last: 960..7680, 0 after a reset
    std::atomic<int32_t> AUDPOSR{0}; // next sample the callback plays
    std::atomic<uint32_t> AUDDAT{pack_sample(SILENCE)}; // the last frame's last sample
    // 2 just after a reset, 1 a physical frame later, 0 once the device has started.
    int32_t enable_audio = 0;
    // The last logical frame's 960 samples, whether or not the ring took them (the
    // emulation thread's own; the headless runner writes its WAV from here).
    StereoSample FRAME_SAMPLES[SAMPLES_PER_FRAME] = {};
    SoundMix mix;
    // The sound's level at the frame's end, which an underrun holds (set by mix_frame).
    StereoSample frame_end_sample = SILENCE;
    // Underruns since the program started: the callback reached the write end while the
    // machine ran, counted once for each gap (the callback writes it; statistics, tests).
    std::atomic<uint64_t> audio_underruns{0};
    // The callback's own state across an underrun (only the callback touches it, and
    // clear() with the device locked out).
    struct AudioGap {
        int32_t length = 0;                   // samples of the current gap played; 0 while playing
        int32_t lead = AUDIO_LEAD;            // what the ring must hold for playing to resume
        float held[2] = {};                   // the level the gap began at (AUDDAT then)
        float level[2] = {};                  // the gap's output now: held, then fading
        float offset[2] = {};                 // added to the ring's samples after a faded gap
        StereoSample next();                  // the gap's next sample
        StereoSample play(StereoSample ring); // a ring sample, past a gap
    };
    AudioGap audio_gap;

    // Whether the slot at `base` may be written: it follows on from the write end, and the
    // callback's unread span and it fit in the ring together with room to spare (seven
    // slots unread at most).
    bool audio_slot_free(int32_t base) const;
    // Samples written to the ring and not yet played.
    int32_t audio_unread() const;
    // The audio callback's body: fills `count` samples (16-bit stereo at 48 kHz) from the
    // ring at AUDPOSR (AUDBUF_SIZE reads as 0). Plays silence while the machine `stopped`
    // (paused, or the requester open), leaving AUDPOSR where it is; on reaching the write
    // end (an underrun) it plays AUDDAT for the rest, fading after AUDIO_HOLD samples.
    void audio_fill(StereoSample* stream, int count, bool stopped);
    // The machine's sound of the frame just ended into FRAME_SAMPLES: the beeper's levels,
    // the tape's signal (heard with `tape_sound`, else muted while the tape plays) and the
    // sound chip's output, mixed by `mix`.
    void mix_frame(Spectrum& machine, bool tape_sound);
    // FRAME_SAMPLES into the slot after the write end, when the callback cannot be reading
    // it; AUDDAT either way.
    void publish_frame();
    // Empties the ring and forgets a gap (the device locked out by the caller).
    void clear();
};

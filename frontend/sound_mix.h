// The machine's sound as it leaves the computer: the beeper (with the tape's signal) and the
// sound chip's three channels added on one scale centred on 0, the volume, and the output
// coupling, whose capacitor lets no steady level through. The audio device and the
// runner's WAV both play what this makes.
#pragma once

#include <cstdint>

// A sample as the audio device plays it: signed 16-bit, left and right.
struct StereoSample {
    int16_t left = 0;
    int16_t right = 0;
    bool operator==(const StereoSample&) const = default;
};

// What a silent or stopped machine plays, and where the coupling brings any steady level.
constexpr StereoSample SILENCE{};

// The beeper's level as the machine gives it (0x00 or 0xFF; the tape's signal adds 0x7F and
// 0x80) on the mix's scale before the coupling, at full volume: a straight line through 0
// between the two, BEEPER_HALF_STEP a half-step of the 8-bit scale, so the tape keeps its
// level against the beeper's.
constexpr int32_t BEEPER_HALF_STEP = 43;
constexpr int32_t beeper_input(uint8_t level) { return (2 * level - 255) * BEEPER_HALF_STEP; }
constexpr StereoSample beeper_sample(uint8_t level) {
    const auto v = static_cast<int16_t>(beeper_input(level));
    return {v, v};
}
// One sound chip channel at full volume wholly on one side, on the same scale: against the
// beeper as it always was (a sixth of the beeper's swing).
constexpr float AY_FULL = 3669.0f;

// The scale leaves room for everything at once: the beeper swings 21,930, one side of the
// chip at most 1.5 channels, which the band-limited steps' ringing can stretch to at most
// 1.84 times (the kernel's taps summed as magnitudes) about its middle, 10,139. A high-pass
// moves its output by no more than its input's swing, so 32,069 is the widest the output
// can ever be, short of both rails.

// One side's output coupling: a first-order high-pass of 5 Hz at 48 kHz, y = x - s with s
// following x at 1 - exp(-2 pi 5 / 48000) of the difference a sample. In integers (s with
// 32 bits below the point), so the same input gives the same samples on any computer.
class OutputCoupling {
  public:
    static constexpr int64_t COEFF = 2810130; // 2^32 (1 - exp(-2 pi 5 / 48000))

    // The capacitor charged to `x`: that input now plays as 0.
    void settle(int32_t x) { charge_ = static_cast<int64_t>(x) * (int64_t{1} << 32); }
    // The output for input `x` now, without moving on.
    int32_t peek(int32_t x) const { return x - held(); }
    // One sample: the output for `x`, and the capacitor's charge moves on.
    int32_t step(int32_t x) {
        const int32_t y = peek(x);
        charge_ += y * COEFF;
        return y;
    }

  private:
    int32_t held() const { return static_cast<int32_t>((charge_ + (int64_t{1} << 31)) >> 32); }
    int64_t charge_ = 0;
};

class SoundMix {
  public:
    SoundMix() { set_volume(100); }

    // 0..100 percent of the full scale; the coupling starts again from a silent machine's
    // level, so silence plays as 0 from the first sample.
    void set_volume(int percent);
    int volume() const { return volume_; }
    // Off, the output is the mix's own levels (tests that look for the beeper's levels).
    bool coupling = true;

    // One side's input: the beeper's level and the chip's output (1.0 a channel at full
    // volume), scaled by the volume.
    int32_t input(uint8_t level, float chip) const;

    // A frame of `n` samples into `out` from the beeper's levels and the chip's two sides,
    // and into `end` the sample that the level after the frame (`end_level`, the speaker
    // after every change of the frame) plays next. Muted, the frame and `end` are silence
    // and the coupling settles where the sound stands, so it comes back without a click.
    void frame(const uint8_t* levels, const float* left, const float* right, int n,
               uint8_t end_level, bool mute, StereoSample* out, StereoSample& end);

  private:
    int16_t output(OutputCoupling& side, int32_t x, bool advance) const;

    int volume_ = 100;
    OutputCoupling side_[2];
};

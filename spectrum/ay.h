// The AY-3-8912 sound chip: sixteen registers, three square-wave tone generators, a 17-bit
// noise generator, the envelope generator with its sixteen shapes, the mixer and the
// logarithmic volume steps; and the band-limited synthesis that turns its output into
// samples at 48 kHz.
//
// The chip is clocked at half the CPU's clock (1.75 MHz on the 48K's 3.5 MHz, 1.7734 MHz on
// the 128K's 3.5469 MHz), so its time is the machine's T-states: one tone step is 8 chip
// clocks, 16 T-states. Register writes carry the T-state of the write, like the beeper's
// changes; the chip runs up to that T-state before the write takes effect. Every change of a
// channel's output becomes a band-limited step at its exact position between two samples,
// so square waves of any pitch play without aliasing.
#pragma once

#include <array>
#include <cstdint>

// The stereo placement of channels A, B and C.
enum class AyStereo : uint8_t { ABC, ACB, MONO };

// Band-limited steps summed into a frame of samples. A step of height h at fractional
// sample position x adds h times a windowed-sinc step (cut off at 15 kHz, gone by 20 kHz)
// centred KERNEL_DELAY samples after x. The sum goes on across frames.
class BandLimitedSteps {
  public:
    static constexpr int TAPS = 40;
    static constexpr int PHASES = 64;
    static constexpr int KERNEL_DELAY = TAPS / 2;
    static constexpr int MAX_FRAME = 1024;

    // A step of `height` at sample position `x` (0 <= x < the frame's sample count).
    void add_step(double x, float height);
    // The frame's `n` samples (n <= MAX_FRAME): the running level, into out[0..n-1]; the
    // steps' tails that reach past the frame carry into the next.
    void end_frame(float* out, int n);
    // Silence: no pending steps, level 0.
    void clear();

    bool operator==(const BandLimitedSteps&) const = default;

  private:
    std::array<float, MAX_FRAME + 2 * TAPS> pending_{}; // impulse sums not yet integrated
    double level_ = 0.0;
};

struct AyChip {
    static constexpr int32_t TSTATES_PER_TICK = 16; // one tone step: 8 chip clocks

    // --- Registers ----------------------------------------------------------------------
    std::array<uint8_t, 16> regs{};
    uint8_t selected = 0; // the address latch; 16 or more deselects the chip

    // --- Generators ---------------------------------------------------------------------
    std::array<uint16_t, 3> tone_count{};
    std::array<uint8_t, 3> tone_out{};
    uint16_t noise_count = 0;
    uint32_t noise_lfsr = 1;
    uint8_t noise_out = 0;
    uint16_t env_count = 0;
    uint8_t env_step = 0; // 0..15 within the current ramp
    bool env_attack = false;
    bool env_holding = false;
    bool half_tick = false; // noise and envelope step on every other tone step

    // --- Output -------------------------------------------------------------------------
    int32_t next_tick = 0;            // T-state of the next tone step in this frame
    std::array<float, 3> amplitude{}; // each channel's output now, 0..1
    AyStereo stereo = AyStereo::ABC;
    int32_t frame_tpf = 69888; // T-states of a frame (set with the model)
    int frame_samples = 960;   // samples of a frame
    BandLimitedSteps left, right;

    // Power-on: registers 0, the generators at rest, silence.
    void reset();

    // Port 0xFFFD written: selects a register.
    void select(uint8_t value) { selected = value; }
    // Port 0xBFFD written at T-state `t` of the frame: runs the chip to t, then writes the
    // selected register (masked to its width). Register 13 restarts the envelope.
    void write(int32_t t, uint8_t value);
    // Port 0xFFFD read: the selected register as the chip reads it back; 0xFF when
    // deselected. Register 14, the I/O port, reads its input (nothing attached: 0xFF)
    // while bit 6 of register 7 makes it an input.
    uint8_t read() const;

    // Runs the chip up to T-state t of the frame.
    void run_to(int32_t t);
    // The frame ends (at frame_tpf T-states): runs to its end, writes its `n` samples of
    // each side as floats (one channel at full volume placed wholly on a side is 1.0) into
    // left_out and right_out, and starts the next frame's T-states at 0.
    void end_frame(int n, float* left_out, float* right_out);

    // The envelope's volume step now, 0..15.
    uint8_t envelope_level() const { return env_attack ? env_step : 15 - env_step; }
    // Channel c's volume step (0..15) from its volume register or the envelope.
    uint8_t volume_step(int c) const {
        return (regs[8 + c] & 0x10) ? envelope_level() : regs[8 + c] & 0x0F;
    }

    // One tone step (and every other one, a noise and an envelope step); public for tests.
    void tick();
    // Exactly what `n` calls of tick() do, without stepping where nothing is heard: the
    // counters jump, the noise register and a running envelope take their own steps.
    void advance(int32_t n);

    bool operator==(const AyChip&) const = default;

  private:
    void place(int32_t t);
    void envelope_step();
    // Tone steps from now to the first one after which a channel's output may change: a
    // tone that is heard turning over, heard noise stepping, or the envelope moving while a
    // channel plays it.
    int32_t steps_to_heard_change() const;
};

// The chip's sixteen volume steps as amplitudes: 0 for step 0, then 3 dB a step up to 1.0.
extern const std::array<float, 16> AY_VOLUME;
// The width of each register: the bits the chip keeps.
extern const std::array<uint8_t, 16> AY_REGISTER_MASK;

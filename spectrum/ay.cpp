// The AY-3-8912 and its band-limited output.
#include "spectrum/ay.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

// The datasheet's volume curve: logarithmic, about 3 dB a step; step 0 is silence.
const std::array<float, 16> AY_VOLUME = [] {
    std::array<float, 16> v{};
    for (int i = 1; i < 16; i++) v[i] = static_cast<float>(std::pow(2.0, (i - 15) / 2.0));
    return v;
}();

const std::array<uint8_t, 16> AY_REGISTER_MASK = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                                  0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};

namespace {

// The band-limited impulse for each sub-sample phase: a Blackman-windowed sinc with its
// cut-off at 15 kHz, each phase's taps summing to exactly 1 so that a step settles at its
// full height.
struct Kernel {
    std::array<std::array<float, BandLimitedSteps::TAPS>, BandLimitedSteps::PHASES> taps{};
    Kernel() {
        constexpr int N = BandLimitedSteps::TAPS;
        constexpr double cutoff = 15000.0 / 48000.0; // cycles a sample
        for (int p = 0; p < BandLimitedSteps::PHASES; p++) {
            const double frac = static_cast<double>(p) / BandLimitedSteps::PHASES;
            double sum = 0.0;
            std::array<double, N> k{};
            for (int j = 0; j < N; j++) {
                const double x = j - frac - N / 2.0; // distance from the impulse's centre
                const double w = x / N + 0.5;        // window position 0..1
                const double win = (w <= 0.0 || w >= 1.0)
                                       ? 0.0
                                       : 0.42 - 0.5 * std::cos(2 * std::numbers::pi * w) +
                                             0.08 * std::cos(4 * std::numbers::pi * w);
                const double sinc =
                    x == 0.0 ? 2 * cutoff
                             : std::sin(2 * std::numbers::pi * cutoff * x) / (std::numbers::pi * x);
                k[j] = sinc * win;
                sum += k[j];
            }
            for (int j = 0; j < N; j++) taps[p][j] = static_cast<float>(k[j] / sum);
        }
    }
};

const Kernel& kernel() {
    static const Kernel k;
    return k;
}

} // namespace

void BandLimitedSteps::add_step(double x, float height) {
    if (height == 0.0f) return;
    x = std::clamp(x, 0.0, static_cast<double>(MAX_FRAME - 1));
    const int i = static_cast<int>(x);
    const int phase = std::min(PHASES - 1, static_cast<int>((x - i) * PHASES));
    const auto& k = kernel().taps[phase];
    float* p = pending_.data() + i;
    for (int j = 0; j < TAPS; j++) p[j] += height * k[j];
}

void BandLimitedSteps::end_frame(float* out, int n) {
    n = std::clamp(n, 0, MAX_FRAME);
    // A chip that is silent, or holds its levels, leaves nothing pending: the frame is its
    // level throughout, and the sums stay as they are (all zero).
    // Looked at eight bytes at a time: the sums' bits, so a -0.0 counts as something.
    static_assert(sizeof(pending_) % sizeof(uint64_t) == 0);
    uint64_t any = 0;
#pragma GCC unroll 8
    for (size_t i = 0; i < pending_.size(); i += 2) {
        uint64_t pair = 0;
        std::memcpy(&pair, &pending_[i], sizeof pair);
        any |= pair;
    }
    if (any == 0) {
        // A silent chip's level is 0.0, all bits clear.
        if (std::bit_cast<uint64_t>(level_) == 0) std::memset(out, 0, n * sizeof(float));
        else std::fill(out, out + n, static_cast<float>(level_));
        return;
    }
    for (int i = 0; i < n; i++) {
        level_ += pending_[i];
        out[i] = static_cast<float>(level_);
    }
    // The tails reaching past the frame move to its start.
    std::copy(pending_.begin() + n, pending_.begin() + n + 2 * TAPS, pending_.begin());
    std::fill(pending_.begin() + 2 * TAPS, pending_.end(), 0.0f);
}

void BandLimitedSteps::clear() {
    pending_.fill(0.0f);
    level_ = 0.0;
}

void AyChip::reset() {
    const AyStereo keep_stereo = stereo;
    const int32_t keep_tpf = frame_tpf;
    const int keep_samples = frame_samples;
    *this = AyChip{};
    stereo = keep_stereo;
    frame_tpf = keep_tpf;
    frame_samples = keep_samples;
}

void AyChip::write(int32_t t, uint8_t value) {
    if (selected >= 16) return;
    run_to(t);
    regs[selected] = value & AY_REGISTER_MASK[selected];
    if (selected == 13) {
        env_count = 0;
        env_step = 0;
        env_attack = (regs[13] & 0x04) != 0;
        env_holding = false;
    }
    place(t); // a volume or mixer change is heard at once
}

uint8_t AyChip::read() const {
    if (selected >= 16) return 0xFF;
    if (selected == 14 && !(regs[7] & 0x40)) return 0xFF;
    return regs[selected];
}

void AyChip::tick() {
    for (int c = 0; c < 3; c++) {
        const uint16_t period =
            std::max<uint16_t>(1, static_cast<uint16_t>(regs[2 * c] | (regs[2 * c + 1] << 8)));
        if (++tone_count[c] >= period) {
            tone_count[c] = 0;
            tone_out[c] ^= 1;
        }
    }
    half_tick = !half_tick;
    if (half_tick) return;
    // Noise: a 17-bit shift register fed back from bits 0 and 3.
    const uint16_t noise_period = std::max<uint16_t>(1, regs[6]);
    if (++noise_count >= noise_period) {
        noise_count = 0;
        const uint32_t bit = (noise_lfsr ^ (noise_lfsr >> 3)) & 1;
        noise_lfsr = (noise_lfsr >> 1) | (bit << 16);
        noise_out = noise_lfsr & 1;
    }
    // Envelope: sixteen steps a ramp; then CONTINUE, ATTACK, ALTERNATE and HOLD (bits 3-0
    // of register 13) decide what follows.
    const uint16_t env_period =
        std::max<uint16_t>(1, static_cast<uint16_t>(regs[11] | (regs[12] << 8)));
    if (++env_count >= env_period) {
        env_count = 0;
        envelope_step();
    }
}

void AyChip::envelope_step() {
    if (env_holding || ++env_step <= 15) return;
    const uint8_t shape = regs[13];
    env_step = 15;
    if (!(shape & 0x08)) { // no CONTINUE: down to 0 and stay
        env_attack = false;
        env_holding = true;
    } else if (shape & 0x01) { // HOLD: stay at the ramp's end, or its opposite
        if (shape & 0x02) env_attack = !env_attack;
        env_holding = true;
    } else { // repeat, turning round with ALTERNATE
        env_step = 0;
        if (shape & 0x02) env_attack = !env_attack;
    }
}

namespace {
// A counter that counts `n` steps, turning over to 0 each time it reaches `period` (it turns
// over at the first step when it already stands at or past it): how many times it turned.
uint32_t count_steps(uint16_t& count, uint16_t period, uint32_t n) {
    const uint32_t first = count + 1u >= period ? 1u : static_cast<uint32_t>(period - count);
    if (n < first) {
        count = static_cast<uint16_t>(count + n);
        return 0;
    }
    count = static_cast<uint16_t>((n - first) % period);
    return 1 + (n - first) / period;
}

// The noise register after `n` shifts. Each shift feeds bit 0 ^ bit 3 in at bit 16; the bits
// fed in by up to 14 shifts all come from the register as it stood, so 14 are done at once.
uint32_t shift_noise(uint32_t lfsr, uint32_t n) {
    while (n) {
        const uint32_t j = std::min<uint32_t>(n, 14);
        const uint32_t fed = (lfsr ^ (lfsr >> 3)) & ((1u << j) - 1);
        lfsr = (lfsr >> j) | (fed << (17 - j));
        n -= j;
    }
    return lfsr;
}

// Steps of a counter until it next turns over (at least 1).
uint32_t steps_to_turn(uint16_t count, uint16_t period) {
    return count + 1u >= period ? 1u : static_cast<uint32_t>(period - count);
}
} // namespace

void AyChip::advance(int32_t n) {
    if (n <= 0) return;
    const uint32_t steps = static_cast<uint32_t>(n);
    for (int c = 0; c < 3; c++) {
        const uint16_t period =
            std::max<uint16_t>(1, static_cast<uint16_t>(regs[2 * c] | (regs[2 * c + 1] << 8)));
        tone_out[c] ^= count_steps(tone_count[c], period, steps) & 1;
    }
    // Noise and envelope step at every other tone step: at the first when half_tick is set.
    const uint32_t slow = half_tick ? (steps + 1) / 2 : steps / 2;
    half_tick = half_tick != ((steps & 1) != 0);
    if (slow == 0) return;
    const uint32_t shifts = count_steps(noise_count, std::max<uint16_t>(1, regs[6]), slow);
    if (shifts) {
        noise_lfsr = shift_noise(noise_lfsr, shifts);
        noise_out = noise_lfsr & 1;
    }
    const uint16_t env_period =
        std::max<uint16_t>(1, static_cast<uint16_t>(regs[11] | (regs[12] << 8)));
    uint32_t k = count_steps(env_count, env_period, slow);
    // A shape that repeats without holding comes back to where it stood after one ramp, or
    // after two when it alternates.
    if ((regs[13] & 0x09) == 0x08) k %= (regs[13] & 0x02) ? 32 : 16;
    for (; k && !env_holding; k--) envelope_step();
}

int32_t AyChip::steps_to_heard_change() const {
    uint32_t nearest = UINT32_MAX;
    bool noise_heard = false, envelope_heard = false;
    for (int c = 0; c < 3; c++) {
        // An output not yet placed (registers set by a loader, not written) is placed at
        // the next step.
        const bool tone = tone_out[c] || (regs[7] & (1 << c));
        const bool noise = noise_out || (regs[7] & (8 << c));
        if (((tone && noise) ? AY_VOLUME[volume_step(c)] : 0.0f) != amplitude[c]) return 1;
        if (!(regs[8 + c] & 0x1F)) continue; // volume 0, not the envelope's: silent
        if (regs[8 + c] & 0x10) envelope_heard = true;
        if (!(regs[7] & (8 << c))) noise_heard = true;
        if (regs[7] & (1 << c)) continue; // the tone is not mixed in
        const uint16_t period =
            std::max<uint16_t>(1, static_cast<uint16_t>(regs[2 * c] | (regs[2 * c + 1] << 8)));
        nearest = std::min(nearest, steps_to_turn(tone_count[c], period));
    }
    // The n-th slow step comes at tone step 2n - 1 when half_tick is set, else 2n.
    const auto slow_to_steps = [this](uint32_t n) { return 2 * n - (half_tick ? 1 : 0); };
    if (noise_heard)
        nearest = std::min(
            nearest, slow_to_steps(steps_to_turn(noise_count, std::max<uint16_t>(1, regs[6]))));
    if (envelope_heard && !env_holding) {
        const uint16_t env_period =
            std::max<uint16_t>(1, static_cast<uint16_t>(regs[11] | (regs[12] << 8)));
        nearest = std::min(nearest, slow_to_steps(steps_to_turn(env_count, env_period)));
    }
    return static_cast<int32_t>(std::min<uint32_t>(nearest, INT32_MAX));
}

// Each channel's output now, and a band-limited step for every one that changed.
void AyChip::place(int32_t t) {
    static constexpr float GAIN[3][3][2] = {
        // ABC: A left, B centre, C right
        {{1.0f, 0.0f}, {0.5f, 0.5f}, {0.0f, 1.0f}},
        // ACB: A left, C centre, B right
        {{1.0f, 0.0f}, {0.0f, 1.0f}, {0.5f, 0.5f}},
        // mono: all three in the middle
        {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}},
    };
    const auto& gain = GAIN[static_cast<int>(stereo)];
    const double x = static_cast<double>(t) * frame_samples / frame_tpf;
    for (int c = 0; c < 3; c++) {
        const bool tone = tone_out[c] || (regs[7] & (1 << c));
        const bool noise = noise_out || (regs[7] & (8 << c));
        const float a = (tone && noise) ? AY_VOLUME[volume_step(c)] : 0.0f;
        const float d = a - amplitude[c];
        if (d == 0.0f) continue;
        amplitude[c] = a;
        left.add_step(x, d * gain[c][0]);
        right.add_step(x, d * gain[c][1]);
    }
}

// Steps where no output can change are jumped over: a chip that is silent, or plays slow
// tones, costs a few steps a frame instead of one every 16 T-states.
void AyChip::run_to(int32_t t) {
    while (next_tick <= t) {
        const int32_t due = (t - next_tick) / TSTATES_PER_TICK + 1; // steps up to t
        const int32_t quiet = steps_to_heard_change() - 1;          // steps nothing is heard at
        if (quiet >= due) {
            advance(due);
            next_tick += due * TSTATES_PER_TICK;
            return;
        }
        advance(quiet);
        next_tick += quiet * TSTATES_PER_TICK;
        tick();
        place(next_tick);
        next_tick += TSTATES_PER_TICK;
    }
}

void AyChip::end_frame(int n, float* left_out, float* right_out) {
    run_to(frame_tpf - 1);
    next_tick -= frame_tpf;
    left.end_frame(left_out, n);
    right.end_frame(right_out, n);
}

// The AY-3-8912: each generator against the chip's documented behaviour, and the
// band-limited output measured as sound.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "spectrum/ay.h"
#include "spectrum/machine.h"
#include "tests/support/sound.h"
#include "tests/support/support.h"

namespace {

void set(AyChip& ay, int reg, uint8_t value, int32_t t = 0) {
    ay.select(static_cast<uint8_t>(reg));
    ay.write(t, value);
}

// Frames of the chip's output at 48 kHz: the left side, and the right one into *right.
std::vector<float> render(AyChip& ay, int frames, std::vector<float>* right = nullptr) {
    std::vector<float> out;
    float l[1024], r[1024];
    for (int f = 0; f < frames; f++) {
        ay.end_frame(ay.frame_samples, l, r);
        out.insert(out.end(), l, l + ay.frame_samples);
        if (right) right->insert(right->end(), r, r + ay.frame_samples);
    }
    return out;
}

} // namespace

TEST(Ay, RegistersReadBackThroughTheirMasks) {
    AyChip ay;
    set(ay, 7, 0x40); // port A an output, so register 14 reads back as written
    for (int r = 0; r < 16; r++) {
        if (r == 7) continue;
        set(ay, r, 0xFF);
        EXPECT_EQ(ay.read(), r == 13 ? 0x0F : AY_REGISTER_MASK[r]) << "register " << r;
    }
    const uint8_t widths[16] = {8, 4, 8, 4, 8, 4, 5, 8, 5, 5, 5, 8, 8, 4, 8, 8};
    for (int r = 0; r < 16; r++) EXPECT_EQ(AY_REGISTER_MASK[r], (1 << widths[r]) - 1) << r;
    // Port A as an input reads what is attached: nothing.
    set(ay, 7, 0x00);
    set(ay, 14, 0x12);
    ay.select(14);
    EXPECT_EQ(ay.read(), 0xFF);
    // An address of 16 or more deselects the chip: reads float high, writes are lost.
    ay.select(0x10);
    EXPECT_EQ(ay.read(), 0xFF);
    ay.write(0, 0x55);
    ay.select(0);
    EXPECT_EQ(ay.read(), 0xFF) << "the write to a deselected chip reached register 0";
}

TEST(Ay, TonePeriodCountsToneStepsAndZeroActsAsOne) {
    auto toggles = [](uint16_t period, int ticks) {
        AyChip ay;
        set(ay, 0, period & 0xFF);
        set(ay, 1, static_cast<uint8_t>(period >> 8));
        int n = 0;
        uint8_t last = ay.tone_out[0];
        for (int i = 0; i < ticks; i++) {
            ay.tick();
            if (ay.tone_out[0] != last) n++;
            last = ay.tone_out[0];
        }
        return n;
    };
    EXPECT_EQ(toggles(0, 1000), 1000);
    EXPECT_EQ(toggles(1, 1000), 1000);
    EXPECT_EQ(toggles(2, 1000), 500);
    EXPECT_EQ(toggles(100, 1000), 10);
    EXPECT_EQ(toggles(0xFFF, 0x1FFE), 2) << "the 12-bit period";
}

TEST(Ay, NoiseIsA17BitMaximalSequenceSteppedAtHalfTheToneRate) {
    AyChip ay;
    const uint32_t start = ay.noise_lfsr;
    // Period 1: one shift every two tone steps.
    ay.regs[6] = 1;
    ay.tick();
    EXPECT_EQ(ay.noise_lfsr, start);
    ay.tick();
    EXPECT_NE(ay.noise_lfsr, start);
    // The register runs through all 2^17 - 1 non-zero states before it repeats.
    uint32_t steps = 1;
    int ones = ay.noise_out;
    while (ay.noise_lfsr != start && steps < (1u << 18)) {
        ay.tick();
        ay.tick();
        steps++;
        ones += ay.noise_out;
        ASSERT_LT(ay.noise_lfsr, 1u << 17);
    }
    EXPECT_EQ(steps, (1u << 17) - 1);
    EXPECT_EQ(ones, 1 << 16) << "a maximal sequence has one more 1 than 0s";
    // Period 0 acts as 1; period 31 shifts every 62 tone steps.
    for (int period : {0, 31}) {
        AyChip a;
        a.regs[6] = static_cast<uint8_t>(period);
        int shifts = 0;
        uint32_t last = a.noise_lfsr;
        for (int i = 0; i < 620; i++) {
            a.tick();
            if (a.noise_lfsr != last) shifts++;
            last = a.noise_lfsr;
        }
        EXPECT_EQ(shifts, period == 0 ? 310 : 10) << "period " << period;
    }
}

// The sixteen shapes as the datasheet draws them, over two cycles of 16 steps: '\' a ramp
// from 15 down to 0, '/' a ramp up, '_' 16 steps at 0, '^' 16 steps at 15.
TEST(Ay, AllSixteenEnvelopeShapesOverTwoCycles) {
    const char* drawn[16] = {"\\_",  "\\_", "\\_", "\\_", "/_", "/_", "/_",  "/_",
                             "\\\\", "\\_", "\\/", "\\^", "//", "/^", "/\\", "/_"};
    for (int shape = 0; shape < 16; shape++) {
        std::vector<int> want;
        std::string d = drawn[shape];
        if (d.size() == 2 && (d[1] == '_' || d[1] == '^')) d += d[1];
        else d += d;
        for (char seg : d.substr(0, 3))
            for (int i = 0; i < 16; i++)
                want.push_back(seg == '\\' ? 15 - i : seg == '/' ? i : seg == '_' ? 0 : 15);
        want.resize(32);

        AyChip ay;
        set(ay, 11, 1); // one envelope step every two tone steps
        set(ay, 12, 0);
        set(ay, 13, static_cast<uint8_t>(shape));
        std::vector<int> got;
        for (int step = 0; step < 32; step++) {
            got.push_back(ay.envelope_level());
            ay.tick();
            ay.tick();
        }
        EXPECT_EQ(got, want) << "shape " << shape << " drawn " << drawn[shape];
    }
}

TEST(Ay, EnvelopePeriodZeroActsAsOneAndRegister13Restarts) {
    AyChip ay;
    set(ay, 13, 0x0C); // ////
    for (int i = 0; i < 10; i++) ay.tick();
    EXPECT_EQ(ay.envelope_level(), 5);
    set(ay, 13, 0x0C);
    EXPECT_EQ(ay.envelope_level(), 0) << "a write to register 13 restarts the envelope";
    set(ay, 8, 0x10); // channel A follows the envelope
    EXPECT_EQ(ay.volume_step(0), 0);
    ay.tick();
    ay.tick();
    EXPECT_EQ(ay.volume_step(0), 1);
}

TEST(Ay, VolumeStepsAreLogarithmicAndHeardAsSteadyLevels) {
    EXPECT_EQ(AY_VOLUME[0], 0.0f);
    EXPECT_FLOAT_EQ(AY_VOLUME[15], 1.0f);
    for (int i = 2; i < 16; i++)
        EXPECT_NEAR(20 * std::log10(AY_VOLUME[i] / AY_VOLUME[i - 1]), 3.01, 0.01) << i;
    // Tone and noise both off: the channel outputs its volume as a level (the way programs
    // play samples).
    for (int v : {15, 8, 1}) {
        AyChip ay;
        set(ay, 7, 0x3F);
        set(ay, 8, static_cast<uint8_t>(v));
        const auto s = render(ay, 3);
        EXPECT_NEAR(s.back(), AY_VOLUME[v], 1e-4) << "volume " << v;
    }
}

TEST(Ay, ToneFrequencyAndStereoPlacement) {
    // 48K time base: 69,888 T-states in 1/50 s, the chip at half that rate.
    const double chip_hz = 69888.0 * 50 / 2;
    for (int c = 0; c < 3; c++) {
        for (AyStereo placement : {AyStereo::ABC, AyStereo::ACB, AyStereo::MONO}) {
            AyChip ay;
            ay.stereo = placement;
            const uint16_t period = static_cast<uint16_t>(100 + 150 * c);
            set(ay, 2 * c, period & 0xFF);
            set(ay, 2 * c + 1, static_cast<uint8_t>(period >> 8));
            set(ay, 7, static_cast<uint8_t>(0x3F & ~(1 << c))); // this channel's tone alone
            set(ay, 8 + c, 15);
            std::vector<float> r;
            const auto l = render(ay, 25, &r);
            const double want = chip_hz / (16.0 * period);
            const auto& louder = sound_energy(l) >= sound_energy(r) ? l : r;
            EXPECT_NEAR(sound_frequency(louder, 48000) / want, 1.0, 0.003) << "channel " << c;
            // Where the channel sits: the share of its energy on the left.
            const double share = sound_energy(l) / (sound_energy(l) + sound_energy(r));
            const char name = static_cast<char>('A' + c);
            double expected = 0.5;
            if (placement == AyStereo::ABC) expected = name == 'A' ? 1.0 : name == 'C' ? 0.0 : 0.5;
            if (placement == AyStereo::ACB) expected = name == 'A' ? 1.0 : name == 'B' ? 0.0 : 0.5;
            EXPECT_NEAR(share, expected, 0.01)
                << "channel " << name << " placement " << static_cast<int>(placement);
        }
    }
}

// A square wave's harmonics reach far above 24 kHz; sampled naively they fold back into the
// audible band. Band-limited, the spectrum above 20 kHz is nearly empty and nothing appears
// between the harmonics.
TEST(Ay, HighTonesAreBandLimited) {
    AyChip ay;
    set(ay, 0, 13); // 1,747,200 / (16 * 13) = 8,400 Hz: harmonics 25.2, 42, 58.8 kHz ... fold
    set(ay, 7, 0x3E);
    set(ay, 8, 15);
    render(ay, 2);     // settle
    const int n = 960; // one frame: 50 Hz bins, 8,400 Hz falls on bin 168
    auto s = render(ay, 1);
    s.resize(n);
    double between = 0;
    const double above20k = sound_share_above(s, n, 48000, 20000, 168, &between);
    RecordProperty("above_20k", std::to_string(above20k));
    RecordProperty("off_harmonics", std::to_string(between));
    EXPECT_LT(above20k, 1e-4) << "energy above 20 kHz";
    EXPECT_LT(between, 1e-3) << "energy away from the fundamental (aliases)";
}

TEST(Ay, WritesTakeEffectAtTheirTState) {
    // Tone and noise off, volume switched from 0 to 15 at T-state 34,944, half a frame: the
    // step crosses half its height between samples 479 and 480 (plus the kernel's fixed
    // delay), and a write one sample (72.8 T-states) later crosses one sample later.
    for (int late = 0; late < 2; late++) {
        AyChip ay;
        set(ay, 7, 0x3F);
        set(ay, 8, 15, 34944 + 73 * late);
        const auto s = render(ay, 1);
        const int mid = 480 + late + BandLimitedSteps::KERNEL_DELAY;
        EXPECT_LT(s[mid - 1], 0.5f) << late;
        EXPECT_GT(s[mid], 0.5f) << late;
        EXPECT_LT(s[mid - 5], 0.05f) << late;
        EXPECT_GT(s[mid + 4], 0.95f) << late;
    }
}

// The chip on the machine's ports.

TEST(AyPorts, DecodedAs128KDecodesAndAbsentOnAPlain48K) {
    Spectrum& m = fresh_machine();
    m.model = 128;
    m.writeport(0xFFFD, 1);
    m.writeport(0xBFFD, 0xFF);
    EXPECT_EQ(m.readport(0xFFFD), 0x0F) << "register 1 keeps 4 bits";
    // Only A15, A14 and A1 are decoded.
    m.writeport(0xC001 & ~2, 0); // 0xC001 with A1 low: select register 0
    m.writeport(0x8000, 0xA5);   // write
    EXPECT_EQ(m.readport(0xC000), 0xA5);
    EXPECT_EQ(m.ay.regs[0], 0xA5);
    m.writeport(0xFFFF, 0); // A1 high: not the chip
    EXPECT_EQ(m.ay.selected, 0);

    // A 48K without the add-on: the ports reach nothing; with it, the chip.
    Spectrum& p = fresh_machine();
    p.writeport(0xFFFD, 8);
    p.writeport(0xBFFD, 15);
    EXPECT_EQ(p.ay.regs[8], 0);
    p.ay_on_48 = true;
    p.writeport(0xFFFD, 8);
    p.writeport(0xBFFD, 15);
    EXPECT_EQ(p.readport(0xFFFD), 15);
}

TEST(AyPorts, KempstonReadsItsBitsAndZeroWhenIdle) {
    Spectrum& m = fresh_machine();
    EXPECT_EQ(m.readport(0x001F), 0x00);
    m.kempston = 0x10 | 0x08 | 0x01; // fire, up, right
    EXPECT_EQ(m.readport(0x001F), 0x19);
    EXPECT_EQ(m.readport(0xFF1F), 0x19);
}

TEST(AyPorts, AWriteIsHeardAtTheTStateOfItsPortCycle) {
    // OUT (C),A at a known T-state: the chip's step lands on the sample of that T-state.
    Spectrum& m = fresh_machine();
    m.model = 128;
    m.tpf = TPF_128;
    m.writeport(0xFFFD, 7);
    m.writeport(0xBFFD, 0x3F);
    m.writeport(0xFFFD, 8);
    m.tstates = TPF_128 / 4;
    m.writeport(0xBFFD, 15);
    float l[SAMPLES_PER_FRAME], r[SAMPLES_PER_FRAME];
    m.ay_frame_end(l, r);
    const int mid = SAMPLES_PER_FRAME / 4 + BandLimitedSteps::KERNEL_DELAY;
    EXPECT_LT(l[mid - 1], 0.5f);
    EXPECT_GT(l[mid], 0.5f);
    EXPECT_NEAR(l[SAMPLES_PER_FRAME - 1], 1.0f, 1e-4) << "channel A wholly left in ABC";
    EXPECT_NEAR(r[SAMPLES_PER_FRAME - 1], 0.0f, 1e-4);
}

// Jumping over the steps where nothing is heard leaves the chip exactly where stepping every
// one would: for tones, noise and envelopes of many periods, each state after a jump of n
// steps equals the one after n calls of tick().
TEST(Ay, AJumpOfNStepsIsNSteps) {
    const uint8_t settings[][14] = {
        {0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0},                // all at zero: period 1
        {5, 0, 7, 0, 200, 1, 3, 0x38, 15, 0x10, 8, 3, 0, 0x0E},       // envelope repeating
        {1, 0, 2, 0, 3, 0, 31, 0x07, 15, 15, 15, 1, 0, 0x0D},         // noise on all, hold
        {0, 0x0F, 0xFF, 0x0F, 9, 0, 1, 0x00, 0x10, 0, 0, 0, 0, 0x08}, // long tones, fast envelope
    };
    for (const auto& regs : settings) {
        for (int n : {1, 2, 3, 7, 16, 33, 100, 1001, 4368}) {
            for (int before : {0, 1, 5}) {
                AyChip stepped, jumped;
                for (int r = 0; r < 14; r++)
                    stepped.selected = jumped.selected = r, stepped.write(0, regs[r]),
                    jumped.write(0, regs[r]);
                for (int i = 0; i < before; i++) stepped.tick(), jumped.tick();
                for (int i = 0; i < n; i++) stepped.tick();
                jumped.advance(n);
                EXPECT_EQ(stepped.tone_count, jumped.tone_count) << n;
                EXPECT_EQ(stepped.tone_out, jumped.tone_out) << n;
                EXPECT_EQ(stepped.noise_count, jumped.noise_count) << n;
                EXPECT_EQ(stepped.noise_lfsr, jumped.noise_lfsr) << n;
                EXPECT_EQ(stepped.noise_out, jumped.noise_out) << n;
                EXPECT_EQ(stepped.env_count, jumped.env_count) << n;
                EXPECT_EQ(stepped.env_step, jumped.env_step) << n;
                EXPECT_EQ(stepped.env_attack, jumped.env_attack) << n;
                EXPECT_EQ(stepped.env_holding, jumped.env_holding) << n;
                EXPECT_EQ(stepped.half_tick, jumped.half_tick) << n;
            }
        }
    }
}

// The output with steps jumped over is the output of a chip made to step at every tone step
// (a write to the unused port register at each one runs it a step at a time), sample for
// sample, over frames of tones, noise and envelopes, and after registers set by a loader.
TEST(Ay, JumpingOverQuietStepsChangesNoSample) {
    const uint8_t settings[][14] = {
        {0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0},
        {5, 0, 7, 0, 200, 1, 3, 0x38, 15, 0x10, 8, 3, 0, 0x0E},
        {1, 0, 2, 0, 3, 0, 31, 0x07, 15, 15, 15, 1, 0, 0x0D},
        {0, 0x0F, 0xFF, 0x0F, 9, 0, 1, 0x00, 0x10, 0, 0, 0, 0, 0x08},
        {0, 0, 0, 0, 0, 0, 0, 0x3F, 15, 9, 0, 0, 0, 0}, // levels only, as samples are played
    };
    for (bool loaded : {false, true}) {
        for (const auto& regs : settings) {
            AyChip jumped, stepped;
            for (int r = 0; r < 14; r++) {
                if (loaded) {
                    jumped.regs[r] = stepped.regs[r] = regs[r];
                } else {
                    jumped.selected = stepped.selected = static_cast<uint8_t>(r);
                    jumped.write(0, regs[r]), stepped.write(0, regs[r]);
                }
            }
            stepped.select(15);
            std::vector<float> a(960), b(960), c(960), d(960);
            for (int frame = 0; frame < 3; frame++) {
                for (int32_t t = stepped.next_tick; t < 69888; t += AyChip::TSTATES_PER_TICK)
                    stepped.write(t, 0);
                jumped.end_frame(960, a.data(), b.data());
                stepped.end_frame(960, c.data(), d.data());
                EXPECT_EQ(a, c) << "left, frame " << frame << (loaded ? ", loaded" : "");
                EXPECT_EQ(b, d) << "right, frame " << frame << (loaded ? ", loaded" : "");
            }
        }
    }
}

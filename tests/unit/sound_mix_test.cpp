// The sound as the device and the WAV get it: centred on 0, room for everything at full
// volume at once, no steady level let through, and the volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "frontend/session.h"
#include "tests/support/support.h"

namespace {
// Runs `frames` logical frames through the session's sound path, calling `each` before each
// frame ends; the left and right samples, one after the other.
template <typename Each> std::vector<int> run_sound(Session& s, int frames, Each each) {
    std::vector<int> out;
    for (int f = 0; f < frames; f++) {
        each(f);
        s.machine.tstates = s.machine.tpf;
        s.render_logical_frame();
        for (StereoSample x : s.FRAME_SAMPLES) {
            out.push_back(x.left);
            out.push_back(x.right);
        }
    }
    return out;
}

void chip(Spectrum& m, int reg, uint8_t value) {
    m.ay.select(static_cast<uint8_t>(reg));
    m.ay.write(0, value);
}

// The speaker toggled every `half` T-states through the frame.
void toggle_speaker(Spectrum& m, int32_t half) {
    for (int32_t t = 0; t < m.tpf; t += half) m.OUTSTK[m.OUTSP++] = t;
}
} // namespace

// A silent machine plays 0 (it played -32768, the beeper's low level, before the sound was
// centred), with or without the chip, at any volume, and so does the held end of a frame.
TEST(SoundMix, SilenceIsZero) {
    for (const bool with_chip : {false, true}) {
        for (const int volume : {100, 37}) {
            Session& s = fresh_session();
            s.machine.ay_on_48 = with_chip;
            s.sound_mix.set_volume(volume);
            const auto out = run_sound(s, 5, [](int) {});
            const std::string what =
                std::string(with_chip ? "chip" : "no chip") + ", volume " + std::to_string(volume);
            EXPECT_EQ(std::count(out.begin(), out.end(), 0), static_cast<long>(out.size())) << what;
            EXPECT_EQ(s.frame_end_sample, SILENCE) << what;
        }
    }
}

// The beeper toggling and all three channels at full volume on one side (each way the chip
// plays at volume 15: a tone, an envelope, a steady level), after a silent second: nothing
// reaches either rail, though the sound swings wider than the beeper alone does, and no
// steady level remains (the chip's levels all lay on the negative side before).
TEST(SoundMix, EverythingAtFullVolumeNeverClipsAndCarriesNoSteadyLevel) {
    struct Case {
        const char* name;
        uint8_t mixer, volume; // registers 7 and 8-10
        AyStereo stereo;
    };
    const Case cases[] = {{"tones", 0x38, 15, AyStereo::ABC},
                          {"tones, mono", 0x38, 15, AyStereo::MONO},
                          {"envelopes", 0x38, 0x10, AyStereo::ABC},
                          {"steady levels", 0x3F, 15, AyStereo::MONO}};
    for (const Case& c : cases) {
        Session& s = fresh_session();
        Spectrum& m = s.machine;
        m.ay_on_48 = true;
        m.ay.stereo = c.stereo;
        const auto out = run_sound(s, 150, [&](int frame) {
            if (frame < 50) return;
            if (frame == 50) {
                for (int ch = 0; ch < 3; ch++) {
                    chip(m, 2 * ch, static_cast<uint8_t>(40 + 30 * ch)); // 2.7 kHz and lower
                    chip(m, 8 + ch, c.volume);
                }
                chip(m, 11, 20);
                chip(m, 13, 0x0E); // up and down
                chip(m, 7, c.mixer);
            }
            toggle_speaker(m, frame < 100 ? 3496 : 700);
        });
        const auto [lo, hi] = std::minmax_element(out.begin(), out.end());
        EXPECT_GT(*lo, -32768) << c.name;
        EXPECT_LT(*hi, 32767) << c.name;
        EXPECT_GT(*hi - *lo, 2 * 255 * BEEPER_HALF_STEP) << c.name;
        double mean = 0;
        for (size_t i = out.size() - 2 * 48000; i < out.size(); i++) mean += out[i];
        EXPECT_NEAR(mean / (2 * 48000), 0, 200) << c.name;
    }
}

// --volume scales every sample: at 50 each is half what it is at 100 (to the rounding of the
// halved input); values outside 0..100 are refused.
TEST(SoundMix, VolumeScalesTheSound) {
    std::vector<int> at[2];
    for (int half = 0; half < 2; half++) {
        const char* argv[] = {"marrowgleam", "--volume", half ? "50" : "100"};
        ProgramOptions options;
        std::string error;
        ASSERT_TRUE(parse_program_options(3, argv, options, error)) << error;
        Session& s = fresh_session();
        options.apply(s);
        Spectrum& m = s.machine;
        m.ay_on_48 = true;
        at[half] = run_sound(s, 20, [&](int frame) {
            if (frame == 0) {
                chip(m, 0, 90);
                chip(m, 7, 0x3E);
                chip(m, 8, 15);
            }
            toggle_speaker(m, 2000);
        });
    }
    int far = 0;
    for (size_t i = 0; i < at[0].size(); i++) far += std::abs(2 * at[1][i] - at[0][i]) > 4;
    EXPECT_EQ(far, 0);
    EXPECT_GT(*std::max_element(at[0].begin(), at[0].end()), 10000);

    for (const char* bad : {"101", "-1", "", "50%", "loud"}) {
        const char* argv[] = {"marrowgleam", "--volume", bad};
        ProgramOptions options;
        std::string error;
        EXPECT_FALSE(parse_program_options(3, argv, options, error)) << bad;
        EXPECT_NE(error.find("--volume"), std::string::npos) << bad;
    }
}

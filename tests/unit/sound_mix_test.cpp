// The sound as the device and the WAV get it: silence 0, room for everything at full volume
// at once, no steady level let through; the volume option.
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
        for (StereoSample x : s.sound.FRAME_SAMPLES) {
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
    for (int32_t t = 0; t < m.tpf; t += half) m.OUTSTK.push(t);
}
} // namespace

// The beeper toggling and all three channels at full volume on one side (each way the chip
// plays at volume 15: a tone, an envelope, a steady level), after a silent second that
// plays 0 (-32768 before the sound was centred): nothing reaches either rail, though the sound
// swings wider than the beeper alone does, and no steady level remains (the chip's levels all lay
// on the negative side before).
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
        EXPECT_EQ(std::count(out.begin(), out.begin() + 2 * 48000, 0), 2 * 48000) << c.name;
        const auto [lo, hi] = std::minmax_element(out.begin(), out.end());
        EXPECT_GT(*lo, -32768) << c.name;
        EXPECT_LT(*hi, 32767) << c.name;
        EXPECT_GT(*hi - *lo, 2 * 255 * BEEPER_HALF_STEP) << c.name;
        double mean = 0;
        for (size_t i = out.size() - 2 * 48000; i < out.size(); i++) mean += out[i];
        EXPECT_NEAR(mean / (2 * 48000), 0, 200) << c.name;
    }
}

// --volume takes a percentage from 0 to 100 (the runner's tests hear what it does).
TEST(SoundMix, VolumeOutsideZeroToAHundredIsRefused) {
    for (const char* bad : {"101", "-1", "", "50%", "loud"}) {
        const char* argv[] = {"marrowgleam", "--volume", bad};
        ProgramOptions options;
        std::string error;
        EXPECT_FALSE(parse_program_options(3, argv, options, error)) << bad;
        EXPECT_NE(error.find("--volume"), std::string::npos) << bad;
    }
}

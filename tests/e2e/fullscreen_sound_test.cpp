// The full-screen program's sound: a BASIC BEEP typed on the keyboard, captured by SDL's
// disk audio driver, has the pitch asked for.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/e2e/fullscreen_fixture.h"

namespace fullscreen {
namespace {
// The disk driver writes what the device plays: signed 16-bit stereo at 48 kHz.
std::vector<int16_t> left_channel(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
    std::vector<int16_t> left;
    for (size_t i = 0; i + 3 < bytes.size(); i += 4)
        left.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) |
                                            static_cast<uint8_t>(bytes[i + 1]) << 8));
    return left;
}

struct Pitch {
    double hertz = 0;
    size_t periods = 0; // periods measured
};

// The tone's pitch from the distances between rising zero crossings: those within 10% of
// the most common distance (the tone's period; key clicks and gaps between device buffers
// make others) averaged.
Pitch measure_pitch(const std::vector<int16_t>& samples, double rate) {
    std::vector<double> periods;
    long last = -1;
    for (size_t i = 1; i < samples.size(); i++) {
        if (samples[i - 1] < 0 && samples[i] >= 0) {
            if (last >= 0) periods.push_back(static_cast<double>(i - last));
            last = static_cast<long>(i);
        }
    }
    if (periods.empty()) return {};
    std::vector<double> sorted = periods;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    double sum = 0;
    size_t n = 0;
    for (double p : periods)
        if (std::fabs(p - median) < 0.1 * median) sum += p, n++;
    return {n ? rate / (sum / n) : 0, n};
}

TEST_F(FullScreen, BeepTypedInBasicPlaysMiddleC) {
    launch({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=sound.raw"});
    wait_for_white_paper();
    // BEEP 1,0: one second of middle C. OpenSE BASIC takes keywords letter by letter; the
    // comma is SYMBOL SHIFT (Ctrl) and N. The ROM takes a key pressed again as new only
    // after it has been up for five of its frames, so the gaps leave room for a machine
    // slowed down by a busy computer.
    auto type = [&](const char* k) { x_.key(k, 200, 400); };
    for (const char* k : {"b", "e", "e", "p", "space", "1"}) type(k);
    x_.key_down("Control_L");
    type("n");
    x_.key_up("Control_L");
    for (const char* k : {"0", "Return"}) type(k);
    std::this_thread::sleep_for(3s);
    quit_with_escape(false);

    const std::vector<int16_t> sound = left_channel(program_.directory() + "/sound.raw");
    const Pitch pitch = measure_pitch(sound, 48000);
    // A second of tone is 261 periods. On a computer too busy to keep the machine at full
    // speed the device runs dry now and then and the tone comes in pieces, which loses the
    // periods across each gap but not the pitch: the ROM times the tone in T-states.
    EXPECT_GT(pitch.periods, 100u) << "no tone in the sound";
    EXPECT_NEAR(pitch.hertz, 261.63, 261.63 * 0.01);
    RecordProperty("hertz", std::to_string(pitch.hertz));
}
} // namespace
} // namespace fullscreen

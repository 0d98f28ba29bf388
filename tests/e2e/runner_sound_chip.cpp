// The sound chip and the joystick through the headless runner: a program sets the chip's
// registers and the WAV carries the tone; a program reads the joystick port.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files_images.h"
#include "tests/support/sound.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
class RunnerSoundChip : public testing::Test {
  protected:
    void SetUp() override {
        if (!file_exists(binary_path("marrowgleam-run")) || !file_exists(binary_path("1982.rom")))
            GTEST_SKIP() << "marrowgleam-run or its ROM is not built";
    }
};

// A 48K snapshot whose program writes (register, value) pairs to the chip and then loops
// with interrupts off:
//   8000 DI / LD HL,8100h / LD D,n
//   8006 loop: LD A,(HL) / LD BC,FFFDh / OUT (C),A / INC HL / LD A,(HL) / LD B,BFh /
//              OUT (C),A / INC HL / DEC D / JR NZ,loop
//   8016 JR $
std::vector<uint8_t> chip_snapshot(const std::vector<std::pair<uint8_t, uint8_t>>& writes) {
    std::vector<uint8_t> sna(27 + 49152, 0);
    sna[23] = 0x00; // SP 0xFF00, holding PC 0x8000
    sna[24] = 0xFF;
    sna[25] = 1;
    sna[26] = 7;
    auto at = [&](int address) -> uint8_t& { return sna[27 + address - 0x4000]; };
    const uint8_t code[] = {0xF3, 0x21, 0x00, 0x81, 0x16, static_cast<uint8_t>(writes.size()),
                            0x7E, 0x01, 0xFD, 0xFF, 0xED, 0x79,
                            0x23, 0x7E, 0x06, 0xBF, 0xED, 0x79,
                            0x23, 0x15, 0x20, 0xF0, 0x18, 0xFE};
    for (size_t i = 0; i < sizeof code; i++) at(0x8000 + static_cast<int>(i)) = code[i];
    for (size_t i = 0; i < writes.size(); i++) {
        at(0x8100 + 2 * static_cast<int>(i)) = writes[i].first;
        at(0x8101 + 2 * static_cast<int>(i)) = writes[i].second;
    }
    at(0xFF00) = 0x00;
    at(0xFF01) = 0x80;
    return sna;
}

struct Wav {
    std::vector<float> left, right;
};

// A 16-bit stereo WAV as the runner writes it, each side as floats (one channel at full
// volume on its side is about 1/9; about 1/3 before the sound was centred on 0).
Wav read_wav(const std::filesystem::path& path) {
    const std::vector<uint8_t> b = read_file(path);
    Wav w;
    for (size_t i = 44; i + 3 < b.size(); i += 4) {
        w.left.push_back(static_cast<int16_t>(b[i] | b[i + 1] << 8) / 32768.0f);
        w.right.push_back(static_cast<int16_t>(b[i + 2] | b[i + 3] << 8) / 32768.0f);
    }
    return w;
}
} // namespace

// Each channel playing a tone of known period alone: the pitch within 0.3% (the chip runs
// at half the CPU's clock: 3,494,400 / 2 / (16 x period)), the side it sits on as set, and
// no energy above 20 kHz to speak of.
TEST_F(RunnerSoundChip, EachChannelsToneHasItsPitchAndPlace) {
    TempDir dir;
    for (const char* stereo : {"abc", "acb"}) {
        for (int c = 0; c < 3; c++) {
            const int period = 200 + 70 * c;
            const auto sna = chip_snapshot({{static_cast<uint8_t>(2 * c), period & 0xFF},
                                            {static_cast<uint8_t>(2 * c + 1), period >> 8},
                                            {7, static_cast<uint8_t>(0x3F & ~(1 << c))},
                                            {static_cast<uint8_t>(8 + c), 15}});
            write_file(dir.path() / "tone.sna", sna);
            const std::string wav = (dir.path() / "tone.wav").string();
            const RunnerResult run =
                run_runner({"--ay", "--stereo", stereo, "--frames", "60", "--wav", wav, "--quiet",
                            (dir.path() / "tone.sna").string()});
            ASSERT_EQ(run.status, 0);
            Wav w = read_wav(wav);
            ASSERT_EQ(w.left.size(), 60u * 960);
            // The first frames hold the start-up; measure the last second.
            w.left.erase(w.left.begin(), w.left.begin() + 10 * 960);
            w.right.erase(w.right.begin(), w.right.begin() + 10 * 960);
            const double el = sound_energy(w.left), er = sound_energy(w.right);
            const double want = 3494400.0 / 2 / (16.0 * period);
            const auto& louder = el >= er ? w.left : w.right;
            EXPECT_NEAR(sound_frequency(louder, 48000) / want, 1.0, 0.003)
                << "channel " << c << " " << stereo;
            // Where it sits: A always left; B centre in ABC and right in ACB; C the other way.
            const double left_share = el / (el + er);
            const char name = static_cast<char>('A' + c);
            const bool acb = std::string(stereo) == "acb";
            const double expected = name == 'A' ? 1.0 : (name == 'B') == acb ? 0.0 : 0.5;
            EXPECT_NEAR(left_share, expected, 0.01) << "channel " << name << " " << stereo;
            EXPECT_LT(sound_share_above(louder, 960, 48000, 20000), 1e-4)
                << "energy above 20 kHz, channel " << name;
        }
    }
}

// Channel A's tone through the runner, the last second of it: centred on 0 (it lay near
// -30,000 before), its level one channel's (3,669 peak to peak, a sixth of the beeper's
// swing as ever) and its pitch the chip's own, 1,747,200 / (16 x 200) = 546 Hz; --volume 50
// halves it and 0 silences it.
TEST_F(RunnerSoundChip, AToneIsCentredAtItsLevelAndScaledByTheVolume) {
    TempDir dir;
    write_file(dir.path() / "tone.sna", chip_snapshot({{0, 200}, {7, 0x3E}, {8, 15}}));
    double rms_full = 0;
    for (const int volume : {100, 50, 0}) {
        const std::string wav = (dir.path() / "tone.wav").string();
        ASSERT_EQ(run_runner({"--ay", "--volume", std::to_string(volume), "--frames", "60", "--wav",
                              wav, "--quiet", (dir.path() / "tone.sna").string()})
                      .status,
                  0);
        Wav w = read_wav(wav);
        ASSERT_EQ(w.left.size(), 60u * 960);
        std::vector<float> s(w.left.end() - 48000, w.left.end());
        double sum = 0, square = 0;
        for (float v : s) sum += v * 32768, square += v * 32768.0 * v * 32768.0;
        const double mean = sum / s.size(), rms = std::sqrt(square / s.size());
        EXPECT_NEAR(mean, 0, 20) << "volume " << volume;
        if (volume == 100) {
            rms_full = rms;
            // A square wave's RMS is half its swing; band-limiting keeps almost all of it.
            EXPECT_NEAR(rms, 3669 / 2.0, 3669 * 0.01);
            EXPECT_NEAR(sound_frequency(s, 48000), 546.0, 546.0 * 0.0005);
        } else {
            EXPECT_NEAR(rms / rms_full, volume / 100.0, 0.005) << "volume " << volume;
        }
    }
}

// Without --ay a 48K has no chip: the same program is silent, both sides 0 (the beeper's low
// level, -32768, before the sound was centred).
TEST_F(RunnerSoundChip, APlain48KHasNoChip) {
    TempDir dir;
    write_file(dir.path() / "tone.sna", chip_snapshot({{0, 200}, {7, 0x3E}, {8, 15}}));
    const std::string wav = (dir.path() / "tone.wav").string();
    ASSERT_EQ(
        run_runner({"--frames", "30", "--wav", wav, "--quiet", (dir.path() / "tone.sna").string()})
            .status,
        0);
    const Wav w = read_wav(wav);
    ASSERT_EQ(w.left.size(), 30u * 960);
    EXPECT_EQ(std::count(w.left.begin(), w.left.end(), 0.0f), 30 * 960);
    EXPECT_EQ(w.left, w.right);
}

namespace {
// A 48K snapshot whose program copies port 0x1F to 0x9000 at every pass:
//   8000 DI / loop: IN A,(1Fh) / LD (9000h),A / JR loop
std::vector<uint8_t> joystick_snapshot() {
    std::vector<uint8_t> sna(27 + 49152, 0);
    sna[23] = 0x00;
    sna[24] = 0xFF;
    sna[25] = 1;
    auto at = [&](int address) -> uint8_t& { return sna[27 + address - 0x4000]; };
    const uint8_t code[] = {0xF3, 0xDB, 0x1F, 0x32, 0x00, 0x90, 0x18, 0xF9};
    for (size_t i = 0; i < sizeof code; i++) at(0x8000 + static_cast<int>(i)) = code[i];
    at(0x9000) = 0xAA; // overwritten at once
    at(0xFF00) = 0x00;
    at(0xFF01) = 0x80;
    return sna;
}
} // namespace

TEST_F(RunnerSoundChip, KempstonPortShowsEachDirectionAndFire) {
    TempDir dir;
    write_file(dir.path() / "joy.sna", joystick_snapshot());
    const std::pair<const char*, int> cases[] = {
        {"", 0x00},       {"joy_right", 0x01}, {"joy_left", 0x02},       {"joy_down", 0x04},
        {"joy_up", 0x08}, {"joy_fire", 0x10},  {"joy_up+joy_fire", 0x18}};
    for (const auto& [keys, want] : cases) {
        const std::string dump = (dir.path() / "port.bin").string();
        std::vector<std::string> args = {"--frames", "20", "--quiet", "--dump", "0x9000:1:" + dump};
        if (*keys) {
            args.push_back("--keys");
            args.push_back(std::string("5:press ") + keys);
        }
        args.push_back((dir.path() / "joy.sna").string());
        ASSERT_EQ(run_runner(args).status, 0);
        const std::vector<uint8_t> port = read_file(dump);
        ASSERT_EQ(port.size(), 1u);
        EXPECT_EQ(port[0], want) << (*keys ? keys : "nothing pressed");
    }
}

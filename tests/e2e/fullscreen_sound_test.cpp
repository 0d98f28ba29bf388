// The full-screen program's sound: a BASIC BEEP typed on the keyboard, captured by SDL's
// disk audio driver, has the pitch asked for and is centred on 0; on a computer whose every
// core is busy, the machine keeps its speed and a tone its pitch; without a sound device it
// runs silent.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/e2e/fullscreen_fixture.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"

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

TEST_F(FullScreenRealTime, BeepTypedInBasicPlaysMiddleC) {
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
    // The device plays the centred mix: silence (most of the run) is 0, and nothing reaches
    // a rail (silence was -32768 before).
    std::vector<int16_t> sorted = sound;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    EXPECT_EQ(sorted[sorted.size() / 2], 0);
    EXPECT_EQ(std::count_if(sound.begin(), sound.end(),
                            [](int16_t v) { return v == -32768 || v == 32767; }),
              0);
}

// Without a sound device that opens (here SDL is asked for a driver it does not have), the
// program runs silent: row 23 says " NO SOUND " and standard error why; it answers keys,
// its clock still holds the machine to 50 frames a second at most (a busy computer may give
// it fewer), and Escape ends it with status 0.
TEST_F(FullScreen, WithoutASoundDeviceItRunsSilent) {
    launch({"SDL_AUDIODRIVER=nosuchdriver", "MARROWGLEAM_STATS=1"});
    ASSERT_TRUE(program_.running()) << program_.standard_error();
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return message_shown(s, map_, 10);
    })) << "no NO SOUND on row 23";
    x_.key("F5"); // " APERTURE GRILLE OFF "
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return message_shown(s, map_, 21);
    })) << "F5 not answered";
    std::this_thread::sleep_for(2s);
    quit_with_escape(false);
    const std::string error = program_.standard_error();
    EXPECT_NE(error.find("no sound"), std::string::npos) << error;
    EXPECT_NE(error.find("nosuchdriver"), std::string::npos) << "SDL's reason: " << error;
    const double frames = stat_value(error, "logical_frames");
    const double seconds = stat_value(error, "seconds");
    EXPECT_GT(frames, 0) << error;
    EXPECT_LE(frames, 50 * seconds * 1.02) << error;
}

// A process that keeps one core busy (a shell's endless loop) for each core of the computer,
// for as long as the object lives.
class BusyCores {
  public:
    BusyCores() {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; i++) {
            const pid_t pid = fork();
            if (pid == 0) {
                execl("/bin/sh", "sh", "-c", "while :; do :; done", static_cast<char*>(nullptr));
                _exit(127);
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyCores() {
        for (pid_t pid : pids_) kill(pid, SIGKILL);
        for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;
    size_t count() const { return pids_.size(); }

  private:
    std::vector<pid_t> pids_;
};

// A 48K snapshot of tests/programs/tone.asm (middle C for ever, interrupts off): its PC,
// 0x8000, on the stack at 0xFF00, as the format keeps it.
std::vector<uint8_t> tone_snapshot() {
    constexpr size_t HEADER = 27;
    std::vector<uint8_t> sna(SNA_48K_SIZE, 0);
    sna[23] = 0x00; // SP 0xFF00
    sna[24] = 0xFF;
    sna[25] = 1; // IM 1
    const std::vector<uint8_t> code = read_file(binary_path("tests/programs/tone.bin"));
    std::copy(code.begin(), code.end(), sna.begin() + HEADER + (0x8000 - 0x4000));
    sna[HEADER + (0xFF00 - 0x4000)] = 0x00;
    sna[HEADER + (0xFF01 - 0x4000)] = 0x80;
    return sna;
}

// With every core kept busy by another process the machine still runs 50 frames a second
// (the host skips showing frames instead) and middle C keeps its pitch. The tone comes from
// a snapshot given on the command line rather than from typed keys, which a computer this
// busy may not deliver in time.
TEST_F(FullScreenRealTime, BusyComputerKeepsTheMachinesTimeAndPitch) {
    const auto snapshot = std::filesystem::temp_directory_path() /
                          ("marrowgleam-tone-" + std::to_string(getpid()) + ".sna");
    write_file(snapshot, tone_snapshot());
    const BusyCores busy;
    ASSERT_GT(busy.count(), 0u);
    launch({"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=sound.raw", "MARROWGLEAM_STATS=1"},
           {snapshot.string()});
    // Ten seconds, as long as the pacing tests: the frames still to be caught up when the
    // program ends (showing a frame took up to 60 ms here) are then well within 1%.
    std::this_thread::sleep_for(10s);
    x_.key("Escape");
    ASSERT_TRUE(program_.wait(15s)) << "Escape did not end the program";
    EXPECT_EQ(program_.status(), 0);
    std::filesystem::remove(snapshot);

    // The program's statistics count from its start to the Escape.
    const std::string stats = program_.standard_error();
    RecordProperty("stats", stats);
    const double frames = stat_value(stats, "logical_frames");
    const double seconds = stat_value(stats, "seconds");
    ASSERT_GT(frames, 0) << "no statistics: " << stats;
    EXPECT_NEAR(frames, 50 * seconds, 0.01 * 50 * seconds) << stats;

    // Gaps in the sound (a device that plays faster than the machine makes samples, or a
    // stall of the computer) lose the periods across them but not the pitch.
    const Pitch pitch = measure_pitch(left_channel(program_.directory() + "/sound.raw"), 48000);
    EXPECT_GT(pitch.periods, 1000u) << "no tone in the sound";
    EXPECT_NEAR(pitch.hertz, 261.63, 261.63 * 0.01);
    RecordProperty("hertz", std::to_string(pitch.hertz));
}
} // namespace
} // namespace fullscreen

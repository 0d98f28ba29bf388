// The session going back in time (Windows+R, a script's rewind) and showing the machine run
// ahead, driven through the main loop as the programs drive it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "tools/keyscript.h"

namespace {
// In the ROM: while SPACE is held, counts up the byte at 8100h and paints the top left
// attribute cell red; let go, the cell is white.
void key_program(Session& s) {
    const uint8_t code[] = {0xF3, 0x01, 0xFE, 0x7F, 0x21, 0x00, 0x81, 0xED, 0x78, 0x1F, 0x3E,
                            0x38, 0x38, 0x03, 0x34, 0x3E, 0x10, 0x32, 0x00, 0x58, 0x18, 0xF1};
    std::vector<uint8_t> rom(ROM_SIZE);
    std::memcpy(rom.data(), code, sizeof code);
    s.machine.install_roms(std::move(rom));
    s.start_machine();
}
} // namespace

// SPACE reaches the machine mid-frame 8, after the beam has fetched the cell: the machine's
// own picture shows it at frame 9, one run ahead by a frame at frame 8. The two machines
// stay equal throughout.
TEST(RunAhead, AKeyShowsAFrameSoonerOnTheSameTimeline) {
    constexpr int PRESS = 7;
    HeadlessHost hosts[2];
    std::unique_ptr<Session> s[2] = {std::make_unique<Session>(hosts[0]),
                                     std::make_unique<Session>(hosts[1])};
    std::vector<uint8_t> before[2];
    int changed[2] = {0, 0};
    for (int n = 0; n < 2; n++) {
        hosts[n].attach_keyboard(*s[n]);
        key_program(*s[n]);
        s[n]->run_ahead_frames = n;
    }
    for (int f = 1; f <= PRESS + 4; f++) {
        for (int n = 0; n < 2; n++) {
            hosts[n].keys[key::SPACE] = f > PRESS;
            s[n]->run_machine(s[n]->frame_clock() + 1);
            const uint8_t* p = s[n]->ULA_surface[s[n]->last_picture];
            const std::vector<uint8_t> shown(p, p + sizeof s[n]->ULA_surface[0]);
            if (f == PRESS) before[n] = shown;
            if (f > PRESS && !changed[n] && shown != before[n]) changed[n] = f;
        }
        ASSERT_TRUE(s[0]->machine == s[1]->machine) << "frame " << f;
    }
    EXPECT_EQ(changed[0], PRESS + 2);
    EXPECT_EQ(changed[1], PRESS + 1);
}

// A script goes 10 s back and plays the same keys again 500 frames later by its clock: the
// machine passes through the very states it first reached.
TEST(RewindSession, ScriptRewindReplaysToEqualMachines) {
    Session& s = fresh_session();
    key_program(s);
    std::vector<KeyEvent> events;
    std::string error;
    ASSERT_TRUE(parse_key_script(
        "300:press space;320:release space;600:rewind 10;800:press space;820:release space", 3,
        events, error));
    size_t next = 0;
    test_host().on_pump = [&] {
        next = apply_key_events(events, next, s.frame_clock(), test_host().keys, &s);
    };
    const uint64_t frames[] = {101, 310, 330, 400};
    std::vector<Spectrum> first;
    for (uint64_t f : frames) {
        ASSERT_TRUE(s.run_machine(f));
        first.push_back(s.machine);
    }
    ASSERT_NE(first[2].readbyte_internal(0x8100), first[0].readbyte_internal(0x8100));
    for (size_t i = 0; i < first.size(); i++) {
        ASSERT_TRUE(s.run_machine(frames[i] + 500));
        EXPECT_TRUE(s.machine == first[i]) << "frame " << frames[i];
    }
}

// Held, Windows+R goes back two frames in five display frames of six, saying so on row 23,
// down to the oldest state; let go, the machine goes on from there.
TEST(RewindSession, WindowsRGoesBackWhileHeld) {
    Session& s = fresh_session();
    use_code_charset();
    HeadlessHost& host = test_host();
    key_program(s);
    std::vector<Spectrum> states(1);
    for (int f = 1; f <= 40; f++) {
        host.keys[key::SPACE] = f > 10 && f <= 20;
        ASSERT_TRUE(s.run_machine(s.frame_clock() + 1));
        states.push_back(s.machine);
    }
    host.keys[key::SPACE] = 0;
    host.keys[key::LSUPER] = host.keys[key::letter('r')] = 1;
    ASSERT_TRUE(s.run_machine(s.frame_clock() + 6));
    EXPECT_TRUE(s.machine == states[30]);
    EXPECT_EQ(text_row(MESSAGE_ROW).substr(0, 8), " REWIND ");
    ASSERT_TRUE(s.run_machine(s.frame_clock() + 30));
    EXPECT_TRUE(s.machine == states[1]);
    EXPECT_EQ(text_row(MESSAGE_ROW).substr(0, 23), " REWIND: NOTHING OLDER ");

    host.keys[key::LSUPER] = host.keys[key::letter('r')] = 0;
    ASSERT_TRUE(s.run_machine(s.frame_clock() + 3)); // the display frame of the release first
    EXPECT_EQ(s.logical_frames, 42u);
    EXPECT_TRUE(s.machine == states[3]);
}

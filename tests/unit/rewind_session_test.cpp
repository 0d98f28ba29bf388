// The session going back in time (Windows+R, a script's rewind) and showing the machine run
// ahead, driven through the main loop as the programs drive it.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
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
void key_program(Spectrum& m) {
    const uint8_t code[] = {0xF3, 0x01, 0xFE, 0x7F, 0x21, 0x00, 0x81, 0xED, 0x78, 0x1F, 0x3E,
                            0x38, 0x38, 0x03, 0x34, 0x3E, 0x10, 0x32, 0x00, 0x58, 0x18, 0xF1};
    std::memcpy(m.ROM, code, sizeof code);
}

struct Player {
    HeadlessHost host;
    std::unique_ptr<Session> s = std::make_unique<Session>(host);
    explicit Player(int ahead) {
        host.attach_keyboard(*s);
        key_program(s->machine);
        s->start_machine();
        s->run_ahead_frames = ahead;
    }
    std::vector<uint8_t> shown() const {
        const uint8_t* p = s->ULA_surface[s->last_picture];
        return {p, p + sizeof s->ULA_surface[0]};
    }
};
} // namespace

// SPACE reaches the machine mid-frame 8, after the beam has fetched the cell: the machine's
// own picture shows it at frame 9, one run ahead by a frame at frame 8. The two machines
// stay equal throughout.
TEST(RunAhead, AKeyShowsAFrameSoonerOnTheSameTimeline) {
    constexpr int PRESS = 7, FRAMES = 14;
    Player plain(0), ahead(1);
    std::vector<std::vector<uint8_t>> pictures[2];
    for (int f = 1; f <= FRAMES; f++) {
        for (Player* r : {&plain, &ahead}) {
            r->host.keys[key::SPACE] = f > PRESS;
            r->s->run_machine(r->s->frame_clock() + 1);
        }
        ASSERT_TRUE(plain.s->machine == ahead.s->machine) << "frame " << f;
        pictures[0].push_back(plain.shown());
        pictures[1].push_back(ahead.shown());
    }
    int changed[2] = {0, 0};
    for (int n = 0; n < 2; n++)
        for (int f = PRESS + 1; f <= FRAMES && !changed[n]; f++)
            if (pictures[n][f - 1] != pictures[n][PRESS - 1]) changed[n] = f;
    EXPECT_EQ(changed[0], PRESS + 2);
    EXPECT_EQ(changed[1], PRESS + 1);
    EXPECT_EQ(pictures[1][FRAMES - 1], pictures[0][FRAMES - 1]) << "both settle on one picture";
}

// A script goes 10 s back and plays the same keys again 500 frames later by its clock: the
// machine passes through the very states it first reached.
TEST(RewindSession, ScriptRewindReplaysToEqualMachines) {
    Player run(0);
    Session& s = *run.s;
    std::vector<KeyEvent> events;
    std::string error;
    ASSERT_TRUE(parse_key_script("300:press space;320:release space;600:rewind 10;"
                                 "800:press space;820:release space",
                                 3, events, error))
        << error;
    size_t next = 0;
    run.host.on_pump = [&] {
        next = apply_key_events(events, next, s.frame_clock(), run.host.keys, &s);
    };
    std::map<uint64_t, std::unique_ptr<Spectrum>> first;
    for (uint64_t f : {101, 250, 310, 330, 400}) {
        ASSERT_TRUE(s.run_machine(f));
        first[f] = std::make_unique<Spectrum>(s.machine);
    }
    ASSERT_NE(first[330]->readbyte_internal(0x8100), first[250]->readbyte_internal(0x8100));
    ASSERT_TRUE(s.run_machine(601));
    EXPECT_TRUE(s.machine == *first[101]);
    for (uint64_t f : {250, 310, 330, 400}) {
        ASSERT_TRUE(s.run_machine(f + 500));
        EXPECT_TRUE(s.machine == *first[f]) << "frame " << f;
    }
}

// Held, Windows+R goes back two frames in five display frames of six, saying so on row 23, down to
// the oldest state; let go, the machine goes on from there.
TEST(RewindSession, WindowsRGoesBackWhileHeld) {
    Session& s = fresh_session();
    use_code_charset();
    HeadlessHost& host = test_host();
    key_program(s.machine);
    s.start_machine();
    std::vector<std::unique_ptr<Spectrum>> states(1);
    for (int f = 1; f <= 40; f++) {
        host.keys[key::SPACE] = f > 10 && f <= 20;
        ASSERT_TRUE(s.run_machine(s.frame_clock() + 1));
        states.push_back(std::make_unique<Spectrum>(s.machine));
    }
    host.keys[key::SPACE] = 0;
    host.keys[key::LSUPER] = host.keys[key::letter('r')] = 1;
    ASSERT_TRUE(s.run_machine(s.frame_clock() + 6));
    EXPECT_EQ(s.logical_frames, 40u);
    EXPECT_TRUE(s.machine == *states[30]);
    EXPECT_EQ(text_row(MESSAGE_ROW).substr(0, 8), " REWIND ");

    ASSERT_TRUE(s.run_machine(s.frame_clock() + 30));
    EXPECT_TRUE(s.machine == *states[1]);
    EXPECT_EQ(text_row(MESSAGE_ROW).substr(0, 23), " REWIND: NOTHING OLDER ");

    host.keys[key::LSUPER] = host.keys[key::letter('r')] = 0;
    ASSERT_TRUE(s.run_machine(s.frame_clock() + 3)); // the display frame of the release first
    EXPECT_EQ(s.logical_frames, 42u);
    EXPECT_TRUE(s.machine == *states[3]);
}

// The physical frame end's own keys (F7 pause, F8 single frame, Escape) and the requester's
// branch of the main loop, driven through the keyboard reads of the running loop.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
// What the loop had done when it read the keyboard the n-th time.
struct Sample {
    int64_t t; // T-states since the reset
    int32_t tstates, tstatesh;
    uint64_t logical, physical, presents;
    uint8_t still;
    int32_t overlay, overlay_old, overlay_timeout;
    std::string message;
};

// Key changes at given keyboard reads (counted from 1), and a sample of the machine at each.
class LoopKeys : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;

    void SetUp() override {
        use_code_charset();
        m.poke_rom(0, 0, 0x18); // JR $: 12 T-states a step, uncontended
        m.poke_rom(0, 1, 0xFE);
        s.start_machine(); // the title for 200 logical frames, the reset
        test_host().on_pump = [this] {
            const int read = static_cast<int>(samples_.size()) + 1;
            for (const auto& [k, down] : changes_[read]) test_host().keys[k] = down;
            std::string row = text_row(MESSAGE_ROW);
            row.erase(row.find_last_not_of(' ') + 1);
            samples_.push_back({static_cast<int64_t>(s.logical_frames) * m.tpf + m.tstates,
                                m.tstates, m.tstatesh, s.logical_frames, s.physical_frames,
                                test_host().stats.presents, s.still_frame, s.text.overlay,
                                s.text.overlay_old, s.text.overlay_timeout, row});
        };
    }
    void TearDown() override { test_host().on_pump = nullptr; }

    void press(int read, int k) { changes_[read].push_back({k, 1}); }
    void release(int read, int k) { changes_[read].push_back({k, 0}); }
    const Sample& at(int read) const { return samples_.at(read - 1); }
    size_t reads() const { return samples_.size(); }

  private:
    std::map<int, std::vector<std::pair<int, uint8_t>>> changes_;
    std::vector<Sample> samples_;
};
} // namespace

// F7 seen at one read takes effect at the next physical frame end. Pressed during the
// title, it restarts the timer at 200 and keeps the state the title will return to. While
// paused no T-state runs; F8 lets exactly one physical frame run.
TEST_F(LoopKeys, PauseStepAndResume) {
    press(2, key::F7);
    release(4, key::F7);
    press(6, key::F8);
    release(8, key::F8);
    press(10, key::F7);
    release(11, key::F7);
    ASSERT_TRUE(s.run_machine(20));

    const Sample& paused = at(3);
    EXPECT_EQ(paused.still, 1);
    EXPECT_EQ(paused.message, " PAUSE");
    EXPECT_EQ(paused.overlay, 1);
    EXPECT_EQ(paused.overlay_timeout, 200);
    EXPECT_EQ(paused.overlay_old, 0) << "the title's remembered state stays";
    EXPECT_EQ(paused.logical, 2u);
    EXPECT_GE(paused.tstatesh, TPFH);
    EXPECT_LT(paused.tstatesh, TPFH + 12);

    for (int read = 4; read <= 6; read++) EXPECT_EQ(at(read).t, paused.t) << "read " << read;
    // F8 at read 6: one physical frame, then the pause holds again.
    const Sample& stepped = at(7);
    EXPECT_EQ(stepped.physical, at(6).physical + 1);
    EXPECT_GE(stepped.tstatesh, TPFH);
    EXPECT_LT(stepped.tstatesh, TPFH + 12);
    EXPECT_EQ(stepped.t - paused.t, TPFH + (stepped.tstatesh - TPFH) - (paused.tstatesh - TPFH));
    EXPECT_EQ(stepped.still, 1);
    for (int read = 8; read <= 10; read++) EXPECT_EQ(at(read).t, stepped.t) << "read " << read;

    // F7 at read 10 resumes at once, inside the pause repetition.
    const Sample& resumed = at(11);
    EXPECT_EQ(resumed.t, stepped.t);
    EXPECT_EQ(resumed.still, 0);
    EXPECT_EQ(resumed.message, " RUN");
    EXPECT_EQ(at(12).physical, resumed.physical + 1);
    EXPECT_GT(at(12).t, resumed.t);

    // The message timer stood still while paused, ran in the F8 frame, and " RUN" restarted
    // it; the title is still up.
    EXPECT_EQ(at(10).overlay_timeout, 200 - static_cast<int32_t>(at(10).logical - paused.logical));
    EXPECT_EQ(at(10).logical, paused.logical + 1);
    EXPECT_EQ(s.text.overlay_timeout,
              200 - static_cast<int32_t>(s.logical_frames - resumed.logical));
    EXPECT_EQ(s.text.splashing, 1);
}

// Escape ends the run at the next physical frame boundary, paused or not; that last frame
// runs but is not shown.
TEST_F(LoopKeys, EscapeWhilePausedEndsAfterOneMoreFrame) {
    press(2, key::F7);
    press(5, key::ESCAPE);
    EXPECT_FALSE(s.run_machine(1000));
    EXPECT_EQ(s.exit_request, 1);
    ASSERT_EQ(reads(), 5u);
    EXPECT_EQ(at(3).still, 1);
    EXPECT_EQ(at(5).t, at(3).t) << "paused until Escape";
    EXPECT_EQ(test_host().stats.presents, at(5).presents);
    EXPECT_EQ(s.physical_frames, at(5).physical + 1);
    EXPECT_GE(m.tstatesh, TPFH);
    EXPECT_LT(m.tstatesh, TPFH + 12);
}

// With the requester open the machine stands still: every pass reads the keyboard, runs the
// requester and composes, and no counter moves.
TEST_F(LoopKeys, RequesterHoldsTheMachineStill) {
    TempDir dir;
    press(2, key::F10);
    release(3, key::F10);
    press(10, key::ESCAPE);
    EXPECT_FALSE(s.run_machine(1000));
    ASSERT_EQ(reads(), 10u);
    EXPECT_EQ(s.file_requester_mode, 1);
    for (int read = 3; read <= 10; read++) {
        SCOPED_TRACE("read " + std::to_string(read));
        EXPECT_EQ(at(read).tstates, at(3).tstates);
        EXPECT_EQ(at(read).tstatesh, at(3).tstatesh);
        EXPECT_EQ(at(read).logical, at(3).logical);
        EXPECT_EQ(at(read).physical, at(3).physical);
        EXPECT_EQ(at(read).presents, at(3).presents + (read - 3)) << "one composition a pass";
    }
    EXPECT_GE(at(3).tstatesh, TPFH);
    EXPECT_EQ(m.tstates, at(3).tstates);
    EXPECT_EQ(m.tstatesh, at(3).tstatesh);
}

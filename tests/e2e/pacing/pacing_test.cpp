// The full-screen program keeps real time on a screen whose buffer swaps wait for nothing
// (Xvfb): 50 logical frames of the machine a second, held by the program's own clock, also
// when showing a frame takes longer than a frame lasts. Runs alone, and only when the computer
// can give the program the core it needs (it measures real time).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/realtime.h"
#include "tests/e2e/xsession.h"

namespace {
using namespace std::chrono_literals;

// Runs the full-screen program on a screen of `width` x `height` for ten seconds with the
// statistics on and `environment` added, then ends it with Escape: its statistics line,
// and the seconds from its start to its end as seen from outside.
struct TenSeconds {
    std::string stats;
    double elapsed = 0;
};
TenSeconds run_ten_seconds(int width, int height, const std::vector<std::string>& environment) {
    TenSeconds run;
    XSession x;
    std::string error;
    EXPECT_TRUE(x.start(width, height, error)) << error;
    if (!error.empty()) return run;
    Program program;
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::string> env = {"MARROWGLEAM_STATS=1"};
    env.insert(env.end(), environment.begin(), environment.end());
    EXPECT_TRUE(program.start(x, {}, env, error)) << error;
    if (!error.empty()) return run;
    std::this_thread::sleep_for(10s);
    x.key("Escape");
    EXPECT_TRUE(program.wait(15s)) << "Escape did not end the program";
    run.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(program.status(), 0);
    run.stats = program.standard_error();
    testing::Test::RecordProperty("stats", run.stats);
    return run;
}

class Pacing : public RealTime {};

TEST_F(Pacing, FiftyLogicalFramesASecondForTenSeconds) {
    if (program_path().empty()) GTEST_SKIP() << "the full-screen program is not built";
    const std::string missing = missing_tools();
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;

    const TenSeconds run = run_ten_seconds(1280, 720, {});
    ASSERT_FALSE(HasFailure());
    const std::string& stats = run.stats;
    const double elapsed = run.elapsed;
    // The program counts from its start to its end: its clock starts with it.
    const double frames = stat_value(stats, "logical_frames");
    const double seconds = stat_value(stats, "seconds");
    ASSERT_GT(frames, 0) << "no statistics: " << stats;
    EXPECT_GT(seconds, 9.0);
    EXPECT_LT(seconds, elapsed);
    EXPECT_NEAR(frames, 50 * seconds, 0.01 * 50 * seconds) << stats;
    // Measured from outside, from the start to the Escape (seen at the next frame end).
    EXPECT_NEAR(frames, 50 * 10.0, 0.01 * 50 * 10.0) << stats;
    // 60 physical frames a second by the machine's clock. A busy computer's renderer may
    // not show them all: each is shown or skipped, and never more than five in a row are
    // skipped, so that the screen still moves.
    const double physical = stat_value(stats, "physical_frames");
    const double displayed = stat_value(stats, "displayed_frames");
    EXPECT_NEAR(physical, 60 * seconds, 0.01 * 60 * seconds);
    EXPECT_EQ(displayed + stat_value(stats, "skipped_frames"), physical) << stats;
    EXPECT_GE(displayed, physical / 6) << stats;
}

// A host that takes 30 ms more for every buffer swap (the test hook of the full-screen host)
// cannot show 60 frames a second, nor even 34: it skips showing frames and the machine keeps
// its 50 frames a second. The audio device, a little slower than the machine (SDL's disk
// driver taking 512 samples every 11 ms: 46,545 a second), never finds the ring empty, as it
// would if the machine were held to the frames the host can show.
TEST_F(Pacing, ASlowSwapCostsDisplayedFramesNotMachineTime) {
    if (program_path().empty()) GTEST_SKIP() << "the full-screen program is not built";
    const std::string missing = missing_tools();
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;

    // A small screen: the renderer's own time is then small beside the delay.
    const TenSeconds run =
        run_ten_seconds(640, 360,
                        {"MARROWGLEAM_TEST_SWAP_DELAY_MS=30", "SDL_AUDIODRIVER=disk",
                         "SDL_DISKAUDIOFILE=/dev/null", "SDL_DISKAUDIODELAY=11"});
    ASSERT_FALSE(HasFailure());
    const std::string& stats = run.stats;
    const double elapsed = run.elapsed;
    const double frames = stat_value(stats, "logical_frames");
    const double seconds = stat_value(stats, "seconds");
    ASSERT_GT(frames, 0) << "no statistics: " << stats;
    EXPECT_LT(seconds, elapsed);
    EXPECT_NEAR(frames, 50 * seconds, 0.01 * 50 * seconds) << stats;
    EXPECT_NEAR(frames, 50 * 10.0, 0.01 * 50 * 10.0) << stats;
    EXPECT_EQ(stat_value(stats, "grid_restarts"), 0) << stats;

    // Every swap took at least 30 ms: at most a third of the frames can have been shown,
    // and at least one in six was.
    const double physical = stat_value(stats, "physical_frames");
    const double displayed = stat_value(stats, "displayed_frames");
    EXPECT_EQ(displayed + stat_value(stats, "skipped_frames"), physical) << stats;
    EXPECT_LE(displayed, seconds * 1000 / 30) << stats;
    EXPECT_GE(displayed, physical / 6) << stats;
    EXPECT_GT(stat_value(stats, "swap_ms_median"), 30) << stats;

    EXPECT_EQ(stat_value(stats, "audio_underruns"), 0) << stats;
}
} // namespace

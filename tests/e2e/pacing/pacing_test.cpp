// The full-screen program keeps real time on a screen whose buffer swaps wait for nothing
// (Xvfb): 50 logical frames of the machine a second, held by the program's own clock, also
// when showing a frame takes longer than a frame lasts. Runs alone (it measures real time).
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/e2e/xsession.h"

namespace {
using namespace std::chrono_literals;

TEST(Pacing, FiftyLogicalFramesASecondForTenSeconds) {
    if (program_path().empty()) GTEST_SKIP() << "the full-screen program is not built";
    const std::string missing = missing_tools();
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;

    XSession x;
    std::string error;
    ASSERT_TRUE(x.start(1280, 720, error)) << error;
    Program program;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.start(x, {}, {"MARROWGLEAM_STATS=1"}, error)) << error;
    std::this_thread::sleep_for(10s);
    x.key("Escape");
    ASSERT_TRUE(program.wait(15s)) << "Escape did not end the program";
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(program.status(), 0);

    // The program counts from its start to its end: its clock starts with it.
    const std::string stats = program.standard_error();
    RecordProperty("stats", stats);
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
TEST(Pacing, ASlowSwapCostsDisplayedFramesNotMachineTime) {
    if (program_path().empty()) GTEST_SKIP() << "the full-screen program is not built";
    const std::string missing = missing_tools();
    if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;

    // A small screen: the renderer's own time is then small beside the delay.
    XSession x;
    std::string error;
    ASSERT_TRUE(x.start(640, 360, error)) << error;
    Program program;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.start(x, {},
                              {"MARROWGLEAM_STATS=1", "MARROWGLEAM_TEST_SWAP_DELAY_MS=30",
                               "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null",
                               "SDL_DISKAUDIODELAY=11"},
                              error))
        << error;
    std::this_thread::sleep_for(10s);
    x.key("Escape");
    ASSERT_TRUE(program.wait(15s)) << "Escape did not end the program";
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(program.status(), 0);

    const std::string stats = program.standard_error();
    RecordProperty("stats", stats);
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

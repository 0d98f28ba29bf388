// The full-screen program keeps real time on a screen whose buffer swaps wait for nothing
// (Xvfb): 50 logical frames of the machine a second, held by the program's own clock. Runs
// alone (it measures real time).
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
    // 60 displayed frames a second: one physical frame per display refresh.
    EXPECT_NEAR(stat_value(stats, "physical_frames"), 60 * seconds, 0.01 * 60 * seconds);
}
} // namespace

// A host too slow to run the machine at full speed even when it shows only one frame in six
// (every buffer swap 200 ms longer, through the host's test hook): the machine runs as fast
// as the host lets it, and row 23 says " SLOW HOST ".
#include <string>

#include "tests/e2e/fullscreen_fixture.h"

namespace fullscreen {
namespace {
TEST_F(FullScreen, AHostTooSlowEvenSkippingFramesSaysSo) {
    launch({"MARROWGLEAM_TEST_SWAP_DELAY_MS=200", "MARROWGLEAM_STATS=1"});
    EXPECT_TRUE(wait_for_screen(x_, 15s, [&](const Image& s) {
        return message_shown(s, map_, 11);
    })) << "no \" SLOW HOST \" on row 23";
    quit_with_escape(false);

    // Six frames take 200 ms and more, for 100 ms of the machine's time: the grid had to be
    // started anew, and the machine ran at about half its speed.
    const std::string stats = program_.standard_error();
    const double frames = stat_value(stats, "logical_frames");
    const double seconds = stat_value(stats, "seconds");
    ASSERT_GT(frames, 0) << "no statistics: " << stats;
    EXPECT_GE(stat_value(stats, "grid_restarts"), 1) << stats;
    EXPECT_LT(frames, 0.8 * 50 * seconds) << stats;
}
} // namespace
} // namespace fullscreen

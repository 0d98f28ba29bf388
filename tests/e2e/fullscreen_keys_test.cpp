// The control keys of the full-screen program change what the screen shows, each with its
// message on text row 23; F7 pauses and resumes.
#include <thread>

#include "tests/e2e/fullscreen_fixture.h"

namespace fullscreen {
namespace {
// The paper's character cell (column, row), inside its edges, in the given view.
Box paper_cell(const ScreenMap& map, int column, int row) {
    const double x = 128 + 8 * column, y = 160 + 8 * row;
    return map.picture(x + 2, y + 2, x + 6, y + 6);
}

double brightness(Rgb m) { return (m.r + m.g + m.b) / 3; }

TEST_F(FullScreen, GrilleFitModeColourModeAndOverlayKeysChangeTheScreen) {
    launch();
    wait_for_white_paper();
    wait_for_title_to_go();
    const ScreenMap full = full_map_wide(WIDTH, HEIGHT);
    const Box paper = map_.picture(200, 200, 312, 300);
    const Box left_edge{0, 100, 180, 600};

    // F5: the grille's stripes go.
    Image shot = x_.screenshot();
    EXPECT_GT(stripes(shot, paper), 40) << "no grille at start";
    x_.key("F5");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return stripes(s, paper) < 3 && message_shown(s, map_, 21); // " APERTURE GRILLE OFF "
    })) << "F5 did not turn the grille off with its message";

    // Home steps FILL to GAME; again, to FULL, which shows the whole surface's width: the
    // black margin of the surface appears at the screen's left edge, where the border was.
    shot = x_.screenshot();
    EXPECT_LT(share(shot, left_edge, dark), 0.05) << "FILL should show the border at the left";
    x_.key("Home");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) { return message_shown(s, map_, 6); }))
        << "no GAME message";
    x_.key("Home");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return share(s, left_edge, dark) > 0.95 && message_shown(s, map_, 6);
    })) << "Home did not reach FULL with its message";
    shot = x_.screenshot();
    EXPECT_TRUE(whitish(mean(shot, paper_cell(full, 16, 12)))) << "no paper in the middle in FULL";

    // F6: MELBOURNE paints the paper as a checkerboard of character cells.
    const Box cell_a = paper_cell(full, 10, 10), cell_b = paper_cell(full, 11, 10);
    EXPECT_LT(std::fabs(brightness(mean(shot, cell_a)) - brightness(mean(shot, cell_b))), 10);
    x_.key("F6");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        const double a = brightness(mean(s, cell_a)), b = brightness(mean(s, cell_b));
        return std::fabs(a - b) > 50 && message_shown(s, map_, 13); // " MELBOURNE   "
    })) << "F6 did not switch to the checkerboard paper with its message";

    // F9 while the message shows: the text alone, the picture gone; again: the picture alone.
    x_.key("F9");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return share(s, paper_cell(full, 16, 12), dark) > 0.99 && message_shown(s, map_, 13);
    })) << "F9 did not show the text layer alone";
    x_.key("F9");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return whitish(mean(s, paper_cell(full, 16, 12))) && no_message(s, map_);
    })) << "F9 did not hide the text layer";

    quit_with_escape();
}

// Screenshots until one differs from `before`, for up to `timeout`.
bool screen_changes_from(const XSession& x, const Image& before,
                         std::chrono::milliseconds timeout) {
    return wait_for_screen(x, timeout, [&](const Image& s) { return !(s == before); });
}

TEST_F(FullScreen, F7PausesTheMachineAndResumesIt) {
    launch();
    wait_for_white_paper();
    wait_for_title_to_go();
    // A key clears the ROM's message; each letter typed then shows on the edit line, as
    // long as the machine runs.
    x_.key("Return");
    Image before = x_.screenshot();
    x_.key("x");
    EXPECT_TRUE(screen_changes_from(x_, before, 3s)) << "a typed letter did not show while running";

    x_.key("F7");
    ASSERT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) { return message_shown(s, map_, 7); }))
        << "no PAUSE message";
    const Image paused = x_.screenshot();
    x_.key("y"); // the machine does not run, so it never reads this key
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(x_.screenshot() == paused) << "the screen changed while paused";

    x_.key("F7");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return message_shown(s, map_, 7) && !(s == paused); // " RUN   "
    })) << "no RUN message";
    before = x_.screenshot();
    x_.key("z");
    EXPECT_TRUE(screen_changes_from(x_, before, 3s)) << "the machine did not resume";

    quit_with_escape();
}
} // namespace
} // namespace fullscreen

// The full-screen program on a 1280 x 720 virtual screen, and how the tests read what it
// shows: colours by their channels (the aperture grille halves some channels in every other
// column, so the checks are made on means over both columns or with room for the halving).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/realtime.h"
#include "tests/e2e/screen_map.h"
#include "tests/e2e/xsession.h"

namespace fullscreen {
using namespace std::chrono_literals;

constexpr int WIDTH = 1280, HEIGHT = 720;

inline bool dark(Rgb p) { return p.r < 50 && p.g < 50 && p.b < 50; }
// The message colours: bright green ink on blue paper.
inline bool blue(Rgb p) { return p.b > 60 && p.r < 50 && p.g < 50; }
inline bool green(Rgb p) { return p.g > 90 && p.r < 50 && p.b < 50; }

inline double share(const Image& shot, const Box& box, bool (*test)(Rgb)) {
    return shot.share(box.x0, box.y0, box.x1, box.y1, test);
}
inline Rgb mean(const Image& shot, const Box& box) {
    return shot.mean(box.x0, box.y0, box.x1, box.y1);
}

// White (non-bright or bright) as a mean over a region: all channels alike and high.
inline bool whitish(Rgb m) {
    const double lo = std::min({m.r, m.g, m.b}), hi = std::max({m.r, m.g, m.b});
    return lo > 100 && hi - lo < 25;
}

// The grille's stripes: the mean difference of green between neighbouring columns.
inline double stripes(const Image& shot, const Box& box) {
    double sum = 0;
    long n = 0;
    for (int y = box.y0; y < box.y1; y++)
        for (int x = box.x0; x + 1 < box.x1; x++, n++)
            sum += std::fabs(shot.at(x, y).g - shot.at(x + 1, y).g);
    return n ? sum / n : 0;
}

// A message on text row 23: `length` cells of blue paper with green letters, and the cell
// after them no longer blue.
inline bool message_shown(const Image& shot, const ScreenMap& map, int length) {
    const Box text = map.cells(0, length - 1, 23);
    if (share(shot, text, blue) < 0.35 || share(shot, text, green) < 0.05) return false;
    return length >= 40 || share(shot, map.cell(length, 23), blue) < 0.1;
}

inline bool no_message(const Image& shot, const ScreenMap& map) {
    return share(shot, map.cells(0, 12, 23), blue) < 0.02;
}

class FullScreen : public testing::Test {
  protected:
    void SetUp() override {
        if (program_path().empty()) GTEST_SKIP() << "the full-screen program is not built";
        const std::string missing = missing_tools();
        if (!missing.empty()) GTEST_SKIP() << "not installed: " << missing;
        std::string error;
        ASSERT_TRUE(x_.start(WIDTH, HEIGHT, error)) << error;
    }

    // Starts the program and waits for its window. Now and then the X server of the test
    // refuses the program's very first connection (SDL's video start fails and the program
    // ends at once with status 1 and "Unable to initialize SDL"): that is the test's display,
    // not the program, and the program is started again, twice at most.
    void launch(const std::vector<std::string>& environment = {},
                const std::vector<std::string>& arguments = {}) {
        for (int attempt = 0; attempt < 3; attempt++) {
            std::string error;
            ASSERT_TRUE(program_.start(x_, arguments, environment, error)) << error;
            const auto until = std::chrono::steady_clock::now() + 10s;
            while (std::chrono::steady_clock::now() < until && program_.running() &&
                   x_.output("xdotool search --name Marrowgleam 2>/dev/null").empty())
                std::this_thread::sleep_for(50ms);
            if (program_.running() || program_.status() != 1 ||
                program_.standard_output().find("Unable to initialize SDL") == std::string::npos)
                return;
        }
    }

    // The ROM has cleared the screen to its white paper (it starts black while the ROM
    // tests the memory).
    void wait_for_white_paper() {
        const Box paper = map_.picture(200, 200, 312, 300);
        Image shot;
        ASSERT_TRUE(wait_for_screen(
            x_, 20s, [&](const Image& s) { return whitish(mean(s, paper)); }, &shot))
            << "no white paper in the middle of the screen";
    }

    // The title period ends: nothing dark left along text row 1.
    void wait_for_title_to_go() {
        ASSERT_TRUE(wait_for_screen(x_, 20s, [&](const Image& s) {
            return share(s, map_.cells(0, 39, 1), dark) < 0.01;
        })) << "the title stays on the screen";
    }

    // Escape ends the program with status 0 and nothing on standard error (SDL's disk
    // audio driver announces itself there, so a test using it does not check that).
    void quit_with_escape(bool quiet = true) {
        x_.key("Escape");
        ASSERT_TRUE(program_.wait(15s)) << "Escape did not end the program";
        EXPECT_EQ(program_.status(), 0);
        if (quiet) {
            EXPECT_EQ(program_.standard_error(), "");
        }
    }

    XSession x_;
    Program program_;
    const ScreenMap map_ = fill_map_wide(WIDTH, HEIGHT); // FILL is the fit mode at start
};

// A full-screen test that measures the program against the wall clock: run only when the
// computer can give the program what it needs (see realtime.h).
class FullScreenRealTime : public FullScreen {
  protected:
    void SetUp() override {
        std::string reason;
        if (!gate_.open(reason)) GTEST_SKIP() << reason;
        FullScreen::SetUp();
    }
    // The program and its screen go first, so that a measurement after a failure sees the
    // computer without them.
    void TearDown() override {
        program_.stop();
        x_.stop();
        gate_.close();
    }
    bool HasFailure() const { return gate_.failed() || testing::Test::HasFailure(); }

    RealTimeGate gate_;
};
} // namespace fullscreen

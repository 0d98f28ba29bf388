// The full-screen program under a real X server: keys pressed and let go within a few
// milliseconds, typing by character, screenshots, and the window with Alt+Enter.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "spectrum/machine.h"
#include "tests/e2e/fullscreen_fixture.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"
#include "tools/screen_text.h"

namespace fs = std::filesystem;
using namespace fullscreen;

namespace {
// The pixels of a PNG file as RGB, with its size; empty if it cannot be read.
struct Png {
    unsigned width = 0, height = 0;
    std::vector<uint8_t> rgb;
};
Png read_png(const fs::path& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    Png png{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (!png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr)) return {};
    return png;
}

// The Spectrum's screen as text, read from a screenshot of the machine's picture (the
// paper at 48..303 x 48..239): ink where the blue is low (black ink on the ROM's white
// paper; blue is the one channel the colour fringe and the green blend leave alone).
std::string picture_text(const Png& png) {
    if (png.width != 352 || png.height != 288) return "(not a 352 x 288 picture)";
    auto m = std::make_unique<Spectrum>();
    if (!read_rom(*m)) return "(no ROM)";
    uint8_t* bank = m->RAM + 5 * 0x4000;
    for (int y = 0; y < 192; y++)
        for (int x = 0; x < 256; x++) {
            const uint8_t* p = &png.rgb[((48 + y) * 352 + 48 + x) * 3];
            if (p[2] < 85) bank[ulay[y] - 0x4000 + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
    return screen_text_joined(*m);
}

// The screenshot files in `dir`, newest name last.
std::vector<fs::path> shots(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().extension() == ".png") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

class FullScreenInput : public FullScreen {
  protected:
    TempDir pictures_;
    std::vector<std::string> env() const {
        return {"XDG_PICTURES_DIR=" + pictures_.path().string()};
    }
    // Windows+P, all of it within a few milliseconds; the new file, or empty.
    fs::path screenshot() {
        const size_t before = shots(pictures_.path()).size();
        x_.run("xdotool keydown super keydown p keyup p keyup super");
        for (int i = 0; i < 100; i++) {
            const auto files = shots(pictures_.path());
            if (files.size() > before) return files.back();
            std::this_thread::sleep_for(50ms);
        }
        return {};
    }
    // Screenshots until the Spectrum's screen holds `text`; the last screen read.
    bool wait_for_text(const std::string& text, std::string& last) {
        for (int i = 0; i < 40; i++) {
            std::this_thread::sleep_for(500ms);
            const fs::path shot = screenshot();
            if (shot.empty()) continue;
            last = picture_text(read_png(shot));
            if (last.find(text) != std::string::npos) return true;
        }
        return false;
    }
};
} // namespace

TEST_F(FullScreenInput, EscapePressedAndReleasedWithin5msQuits) {
    launch();
    wait_for_white_paper();
    const auto t0 = std::chrono::steady_clock::now();
    x_.run("xdotool keydown Escape keyup Escape");
    const auto t1 = std::chrono::steady_clock::now();
    ASSERT_LT(t1 - t0, 1s) << "xdotool itself was slow";
    ASSERT_TRUE(program_.wait(10s)) << "a quick Escape was lost";
    EXPECT_EQ(program_.status(), 0);
}

// Each letter goes down and up within one xdotool call (well under 5 ms); all five, the
// doubled one too, are typed.
TEST_F(FullScreenInput, FiveLettersTappedQuicklyAllAppear) {
    launch(env());
    std::string text;
    ASSERT_TRUE(wait_for_text("Nine Tiles", text)) << "the ROM has not started: " << text;
    x_.run("xdotool keydown h keyup h keydown e keyup e keydown l keyup l keydown l keyup l "
           "keydown o keyup o");
    EXPECT_TRUE(wait_for_text("hello", text)) << text;
    quit_with_escape();
}

// With --type-chars a BASIC line typed as PC characters (", +, =, ; through their PC keys)
// is the Spectrum's line, and it runs.
//
TEST_F(FullScreenInput, TypingByCharacterTypesBasicAsOnAPc) {
    launch(env(), {"--type-chars"});
    std::string text;
    ASSERT_TRUE(wait_for_text("Nine Tiles", text)) << "the ROM has not started: " << text;
    x_.run("xdotool type --delay 40 '10 PRINT \"A+B=\";2+3'");
    x_.run("xdotool key Return");
    ASSERT_TRUE(wait_for_text("10 PRINT \"A+B=\";2+3", text)) << text;
    x_.run("xdotool type --delay 40 'RUN'");
    x_.run("xdotool key Return");
    ASSERT_TRUE(wait_for_text("A+B=5", text)) << text;
    quit_with_escape();
}

// A line and its RUN typed at 20 ms a key, in one go, as a quick typist or a paste gives
// them: every key arrives (the doubled digits too) and none is lost while the ROM enters
// the line.
TEST_F(FullScreenInput, ALineAndItsRunTypedAt20msAKeyArriveWhole) {
    launch(env(), {"--type-chars"});
    std::string text;
    ASSERT_TRUE(wait_for_text("Nine Tiles", text)) << "the ROM has not started: " << text;
    // One shell, so that no pause of the test's own comes between the line and RUN.
    x_.run("sh -c \"xdotool type --delay 20 '10 PRINT 22+11*2'; xdotool key Return; "
           "xdotool type --delay 20 RUN; xdotool key Return\"");
    EXPECT_TRUE(wait_for_text("OK, 10:1", text)) << text;
    EXPECT_EQ(text.find("44\n"), 0u) << text;
    quit_with_escape();
}

// Windows+P saves the machine's picture: the same file as the runner's --png of the boot
// screen, which stands still once the ROM has started.
TEST_F(FullScreenInput, ScreenshotEqualsTheRunnersPicture) {
    launch(env());
    wait_for_white_paper();
    std::this_thread::sleep_for(1s);
    const fs::path shot = screenshot();
    ASSERT_FALSE(shot.empty()) << "no screenshot in " << pictures_.path();
    EXPECT_EQ(shot.filename().string().rfind("marrowgleam-", 0), 0u);
    const RunnerResult run = run_runner({"--frames", "300", "--png", "runner.png", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(shot), read_file("runner.png"));
    quit_with_escape();
}

namespace {
// The program's window as the X server has it: position and size.
struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
};
Geometry window_geometry(const XSession& x) {
    const std::string out =
        x.output("xdotool search --name Marrowgleam getwindowgeometry --shell 2>/dev/null");
    Geometry g;
    auto value = [&](const std::string& name) {
        const auto at = out.rfind("\n" + name + "=");
        return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + name.size() + 2);
    };
    g.x = value("X");
    g.y = value("Y");
    g.width = value("WIDTH");
    g.height = value("HEIGHT");
    return g;
}

Box shifted(Box b, const Geometry& g) { return {b.x0 + g.x, b.y0 + g.y, b.x1 + g.x, b.y1 + g.y}; }

// The picture fitted (FILL) to a screen of the window's size at the window's place: the
// ROM's copyright line in dark ink on the Spectrum's bottom text row, white paper above it.
bool picture_fitted(const Image& s, const Geometry& g) {
    const ScreenMap map = fill_map_wide(g.width, g.height);
    const Box line = shifted(map.picture(128, 344, 384, 352), g);
    const Box above = shifted(map.picture(128, 300, 384, 340), g);
    return share(s, line, dark) > 0.01 && share(s, above, dark) < 0.002 && whitish(mean(s, above));
}
} // namespace

TEST_F(FullScreenInput, WindowShowsThePictureFittedAndAltEnterSwitches) {
    launch({}, {"--window=800x600"});
    Geometry g;
    ASSERT_TRUE(wait_for_screen(x_, 20s,
                                [&](const Image& s) {
                                    g = window_geometry(x_);
                                    return g.width == 800 && g.height == 600 &&
                                           picture_fitted(s, g);
                                }))
        << "no 800 x 600 window with the picture fitted: " << g.width << "x" << g.height << " at "
        << g.x << "," << g.y;

    x_.run("xdotool keydown alt keydown Return keyup Return keyup alt");
    EXPECT_TRUE(wait_for_screen(x_, 10s,
                                [&](const Image& s) {
                                    g = window_geometry(x_);
                                    return g.width == WIDTH && g.height == HEIGHT &&
                                           picture_fitted(s, g);
                                }))
        << "Alt+Enter did not go full screen: " << g.width << "x" << g.height;
    std::this_thread::sleep_for(1s); // the new window takes the keyboard focus

    x_.run("xdotool keydown alt keydown Return keyup Return keyup alt");
    EXPECT_TRUE(wait_for_screen(x_, 10s,
                                [&](const Image& s) {
                                    g = window_geometry(x_);
                                    return g.width == 800 && g.height == 600 &&
                                           picture_fitted(s, g);
                                }))
        << "Alt+Enter did not go back to the window: " << g.width << "x" << g.height;
    quit_with_escape();
}

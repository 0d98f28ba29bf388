// The full-screen program starts: full screen, the machine's start-up picture, the title
// line with its colour band for the title period, and Escape to end it.
#include "tests/e2e/fullscreen_fixture.h"

namespace fullscreen {
namespace {
enum class Hue { black, red, yellow, green, cyan, other };

// A mean colour by which channels are lit. Bright colours are 0xFF and the grille leaves
// three quarters of that over two columns; unlit channels stay near 0.
Hue hue(Rgb m) {
    auto lit = [](double v) { return v > 110; };
    auto unlit = [](double v) { return v < 45; };
    if (unlit(m.r) && unlit(m.g) && unlit(m.b)) return Hue::black;
    if (lit(m.r) && unlit(m.g) && unlit(m.b)) return Hue::red;
    if (lit(m.r) && lit(m.g) && unlit(m.b)) return Hue::yellow;
    if (unlit(m.r) && lit(m.g) && unlit(m.b)) return Hue::green;
    if (unlit(m.r) && lit(m.g) && lit(m.b)) return Hue::cyan;
    return Hue::other;
}

const char* name(Hue h) {
    static const char* const NAMES[] = {"black", "red", "yellow", "green", "cyan", "other"};
    return NAMES[static_cast<int>(h)];
}

// The mean over a block of screen pixels around the centre of a glyph pixel, wide enough to
// take in an even and an odd column.
Rgb glyph_colour(const Image& shot, const ScreenMap& map, int column, int row, int gx, int gy) {
    const Box b = map.glyph_pixel(column, row, gx, gy);
    const int cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
    return shot.mean(cx - 1, cy, cx + 1, cy + 1);
}

bool title_shown(const Image& shot, const ScreenMap& map) {
    // " MARROWGLEAM B11" in bright white on black.
    const Box words = map.cells(1, 15, 1);
    auto bright_white = [](Rgb p) { return std::min({p.r, p.g, p.b}) > 100; };
    return share(shot, words, dark) > 0.3 &&
           shot.share(words.x0, words.y0, words.x1, words.y1, bright_white) > 0.05;
}

TEST_F(FullScreen, StartsFullScreenWithThePictureAndTheTitleForTheTitlePeriod) {
    launch();
    wait_for_white_paper();
    Image shot = x_.screenshot();
    ASSERT_EQ(shot.width, WIDTH);
    ASSERT_TRUE(title_shown(shot, map_)) << "no title on text row 1 once the ROM is up";

    // A window of the whole screen, with the caption.
    const std::string geometry =
        x_.output("xdotool search --name '^Marrowgleam$' getwindowgeometry 2>/dev/null");
    EXPECT_NE(geometry.find("Geometry: 1280x720"), std::string::npos) << geometry;

    // The picture fills the screen: its white border reaches every corner...
    for (const Box corner :
         {Box{0, 0, 80, 40}, Box{WIDTH - 80, 0, WIDTH, 40}, Box{0, HEIGHT - 40, 80, HEIGHT},
          Box{WIDTH - 80, HEIGHT - 40, WIDTH, HEIGHT}})
        EXPECT_TRUE(whitish(mean(shot, corner))) << "corner at " << corner.x0 << "," << corner.y0;
    // ...the ROM's message is on the paper's last line, in black, and the lines above are
    // empty paper.
    const Box last_line = map_.picture(128, 344, 384, 352);
    const Box middle_line = map_.picture(128, 248, 384, 256);
    EXPECT_GT(share(shot, last_line, dark), 0.01) << "no text on the paper's last line";
    EXPECT_LT(share(shot, middle_line, dark), 0.001) << "dark pixels in the middle of the paper";

    // The band: each cell's glyph, the lower right triangle, in its ink, and the upper left
    // in the ink of the cell before.
    const Hue ink[] = {Hue::red, Hue::yellow, Hue::green, Hue::cyan, Hue::black};
    Hue before = Hue::black;
    for (int i = 0; i < 5; i++) {
        const int column = 34 + i;
        const Hue upper_left = hue(glyph_colour(shot, map_, column, 1, 2, 1));
        const Hue lower_right = hue(glyph_colour(shot, map_, column, 1, 9, 8));
        EXPECT_EQ(upper_left, before)
            << "cell " << column << " shows " << name(upper_left) << ", not " << name(before);
        EXPECT_EQ(lower_right, ink[i])
            << "cell " << column << " shows " << name(lower_right) << ", not " << name(ink[i]);
        before = ink[i];
    }

    // After the title period the text layer is gone and the picture shows through.
    wait_for_title_to_go();
    shot = x_.screenshot();
    EXPECT_TRUE(whitish(mean(shot, map_.cells(0, 39, 1))));

    quit_with_escape();
}

// A file that cannot be loaded ends the program, with its message and exit status.
TEST_F(FullScreen, FileThatCannotBeLoadedEndsTheProgramWithStatus1) {
    launch({}, {"no-such-file.sna"});
    ASSERT_TRUE(program_.wait(20s));
    EXPECT_EQ(program_.status(), 1);
    EXPECT_EQ(program_.standard_error(),
              "Cannot load file no-such-file.sna: No such file or directory\n");
}
} // namespace
} // namespace fullscreen

// The painted picture: border, paper in the three screen modes, FLASH, the colour fringe and
// the green blend, the overlay-2 rule and the placement inside the 512 x 512 surface.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

void PrintTo(const Rgb& c, std::ostream* os) {
    *os << "(r " << c.r << ", g " << c.g << ", b " << c.b << ")";
}

uint8_t* at(int surface, int x, int y) {
    return surface_pixel(test_session().ULA_surface[surface], ULA_SURFACE_W, x, y);
}

Rgb rgb(int surface, int x, int y) {
    const uint8_t* p = at(surface, x, y);
    return {p[2], p[1], p[0]};
}

constexpr int PAPER_X = 128, PAPER_Y = 160;

// Paints the tests' machine's frame into surface `index` in the session's colour mode,
// border and all.
void rasterize_ULA(int index) {
    Session& s = test_session();
    s.machine.rasterize_ULA(s.ULA_surface[index], s.view.screen_mode, true);
}

class RasterPaint : public testing::Test {
  protected:
    void SetUp() override { fresh_session(); }

    // The RAM bank the ULA shows, to write into.
    uint8_t* bank() {
        Spectrum& m = test_machine();
        return m.RAM + (m.screen_bank() - m.RAM);
    }
    void attributes(uint8_t a) { std::memset(bank() + 6144, a, 768); }

    // Paints the screen as it is now: the first call loads the beam's copy, the second
    // paints from it.
    void paint(int surface = 0) {
        rasterize_ULA(surface);
        rasterize_ULA(surface);
    }
};

// A uniform area shows the palette colour, except that the blend of two thirds of a green
// of 170 and a third of it gives 169.
TEST_F(RasterPaint, UniformAreasShowThePaletteColours) {
    // clang-format off
    const Rgb shown[16] = {
        {0, 0, 0},       {0, 0, 170},   {170, 0, 0},     {170, 0, 170},
        {0, 169, 0},     {0, 169, 170}, {170, 169, 0},   {170, 169, 170},
        {0, 0, 0},       {0, 0, 255},   {255, 0, 0},     {255, 0, 255},
        {0, 255, 0},     {0, 255, 255}, {255, 255, 0},   {255, 255, 255},
    };
    // clang-format on
    for (int c = 0; c < 16; c++) {
        Spectrum& m = fresh_machine();
        attributes(static_cast<uint8_t>((c & 8) << 3 | (c & 7) << 3)); // paper c, no ink
        m.port_fe = static_cast<uint8_t>(c & 7);
        paint();
        EXPECT_EQ(rgb(0, 200, 200), shown[c]) << "paper colour " << c;
        // The border has no blend: its exact palette colour, bright never.
        const Rgb border{RED[c & 7], GRN[c & 7], BLU[c & 7]};
        EXPECT_EQ(rgb(0, 200, 120), border) << "border colour " << (c & 7);
        EXPECT_EQ(rgb(0, 100, 200), border) << "border colour " << (c & 7);
    }
}

// Every pair of colours p then c, laid out as two adjacent character cells of paper p and
// paper c: the first pixel of the second cell has blue of c, two thirds of c's green plus a
// third of p's, and p's red.
TEST_F(RasterPaint, GreenBlendAndFringeForEveryPairOfColours) {
    for (int n = 0; n < 256; n++) {
        const int p = n / 16, c = n % 16;
        const int row = n / 16, cell = 2 * (n % 16);
        bank()[6144 + 32 * row + cell] = static_cast<uint8_t>((p & 8) << 3 | (p & 7) << 3);
        bank()[6144 + 32 * row + cell + 1] = static_cast<uint8_t>((c & 8) << 3 | (c & 7) << 3);
    }
    paint();
    for (int n = 0; n < 256; n++) {
        const int p = n / 16, c = n % 16;
        const int x = PAPER_X + 8 * (2 * (n % 16) + 1), y = PAPER_Y + 8 * (n / 16);
        const Rgb expected{RED[p], 2 * GRN[c] / 3 + GRN[p] / 3, BLU[c]};
        ASSERT_EQ(rgb(0, x, y), expected) << "colour " << c << " after " << p;
    }
}

// Yellow border, bright blue paper with bright yellow ink in the first four pixels and the
// last pixel of each byte (attribute 0x4E, bitmap 0xF1).
TEST_F(RasterPaint, FringeAtTheEdgesOfThePaper) {
    attributes(0x4E);
    std::memset(bank(), 0xF1, 6144);
    test_machine().port_fe = 6;
    at(0, 80, 200)[2] = 0x55; // the leftmost column's red is never written
    at(0, 384, 200)[2] = 0x55;
    paint();
    // The first paper pixel takes its red and a third of its green from the border.
    EXPECT_EQ(rgb(0, 128, 200), (Rgb{170, 170 + 56, 0}));
    EXPECT_EQ(rgb(0, 129, 200), (Rgb{255, 255, 0}));
    // Ink to paper inside a byte: red and a third of the green come from the ink.
    EXPECT_EQ(rgb(0, 132, 200), (Rgb{255, 85, 255}));
    EXPECT_EQ(rgb(0, 133, 200), (Rgb{0, 0, 255}));
    // The border pixel right of the paper takes its red from the last paper pixel.
    EXPECT_EQ(rgb(0, 384, 200), (Rgb{255, 170, 0}));
    EXPECT_EQ(rgb(0, 385, 200), (Rgb{170, 170, 0}));
    // Column 432, right of the picture, gets the border's red and nothing else.
    EXPECT_EQ(rgb(0, 432, 200), (Rgb{170, 0, 0}));
    EXPECT_EQ(rgb(0, 432, 120), (Rgb{170, 0, 0}));
    EXPECT_EQ(rgb(0, 80, 200), (Rgb{0x55, 170, 0}));
    EXPECT_EQ(rgb(0, 81, 200), (Rgb{170, 170, 0}));
}

// The picture stays at columns 80-432 and rows 112-399 (432 only for the fringe's red) and
// never touches alpha.
TEST_F(RasterPaint, WritesOnlyInsideThePictureAndNeverAlpha) {
    for (int mode = 0; mode < 3; mode++) {
        Session& s = fresh_session();
        s.view.screen_mode = mode;
        std::memset(s.ULA_surface[0], 0x7F, sizeof s.ULA_surface[0]);
        std::memset(bank(), 0x5A, 6912);
        s.machine.port_fe = 5;
        paint();
        for (int y = 0; y < ULA_SURFACE_H; y++)
            for (int x = 0; x < ULA_SURFACE_W; x++) {
                const uint8_t* p = at(0, x, y);
                ASSERT_EQ(p[3], 0x7F) << "alpha at " << x << "," << y << " mode " << mode;
                const bool inside = x >= 80 && x <= 431 && y >= 112 && y <= 399;
                if (inside) continue;
                const bool fringe = x == 432 && y >= 112 && y <= 399;
                ASSERT_EQ(p[0], 0x7F) << x << "," << y << " mode " << mode;
                ASSERT_EQ(p[1], 0x7F) << x << "," << y << " mode " << mode;
                if (!fringe) {
                    ASSERT_EQ(p[2], 0x7F) << x << "," << y << " mode " << mode;
                }
            }
    }
}

TEST_F(RasterPaint, PaperPlacementFollowsTheScreenLayout) {
    // One set pixel each at Spectrum (0, 0), (255, 0), (0, 1), (8, 8) and (255, 191).
    attributes(0x38);
    const std::tuple<int, int> points[] = {{0, 0}, {255, 0}, {0, 1}, {8, 8}, {255, 191}};
    for (auto [px, py] : points)
        bank()[ulay[py] - 0x4000 + px / 8] |= static_cast<uint8_t>(0x80 >> (px & 7));
    paint();
    int black = 0;
    for (int y = PAPER_Y; y < PAPER_Y + 192; y++)
        for (int x = PAPER_X; x < PAPER_X + 256; x++) black += at(0, x, y)[0] == 0;
    EXPECT_EQ(black, 5);
    for (auto [px, py] : points) EXPECT_EQ(at(0, PAPER_X + px, PAPER_Y + py)[0], 0) << px;
}

// A random screen, FLASH and BRIGHT among its attributes, in both FLASH phases: every paper
// pixel has its own colour's blue, two thirds of its green and a third of the green and all
// the red of the pixel before it (the border's, for the first of a line); the border pixel
// right of the paper takes the last one's red.
TEST_F(RasterPaint, EveryPaperPixelBlendsWithThePixelBeforeIt) {
    std::mt19937 random(48);
    for (int i = 0; i < 6912; i++) bank()[i] = static_cast<uint8_t>(random());
    const int border = 5;
    test_machine().port_fe = border;
    for (int phase = 0; phase < 2; phase++) {
        test_machine().flashctr = 16 * phase;
        paint();
        for (int py = 0; py < 192; py++) {
            int before = border;
            for (int px = 0; px < 256; px++) {
                const uint8_t a = bank()[6144 + 32 * (py / 8) + px / 8];
                const bool set = bank()[ulay[py] - 0x4000 + px / 8] & (0x80 >> (px & 7));
                const bool ink = set != ((a & 0x80) && phase);
                const int c = (a & 0x40 ? 8 : 0) + (ink ? a & 7 : (a >> 3) & 7);
                const Rgb expected{RED[before], 2 * GRN[c] / 3 + GRN[before] / 3, BLU[c]};
                ASSERT_EQ(rgb(0, PAPER_X + px, PAPER_Y + py), expected)
                    << "pixel " << px << " of line " << py << ", FLASH phase " << phase;
                before = c;
            }
            ASSERT_EQ(rgb(0, PAPER_X + 256, PAPER_Y + py).r, RED[before]) << "line " << py;
        }
    }
}

struct FlashCase {
    int32_t flashctr;
    bool swapped;
};

class RasterFlash : public RasterPaint, public testing::WithParamInterface<FlashCase> {};

// Attribute 0x87: FLASH, black paper, white ink; the ink in the first four pixels.
TEST_P(RasterFlash, FlashSwapsInkAndPaperWhileBit4OfTheCounterIsSet) {
    attributes(0x87);
    bank()[6144 + 1] = 0x07; // the next cell without FLASH
    std::memset(bank(), 0xF0, 6144);
    test_machine().flashctr = GetParam().flashctr;
    paint();
    const int ink_blue = GetParam().swapped ? 0 : 170;
    EXPECT_EQ(at(0, PAPER_X + 1, PAPER_Y)[0], ink_blue);
    EXPECT_EQ(at(0, PAPER_X + 5, PAPER_Y)[0], 170 - ink_blue);
    EXPECT_EQ(at(0, PAPER_X + 9, PAPER_Y)[0], 170) << "no FLASH, no swap";
}

INSTANTIATE_TEST_SUITE_P(Phases, RasterFlash,
                         testing::Values(FlashCase{0, false}, FlashCase{15, false},
                                         FlashCase{16, true}, FlashCase{31, true},
                                         FlashCase{32, false}, FlashCase{48, true}));

// The monochrome modes draw the live screen memory at once, ignore attributes and have no
// fringe.
TEST_F(RasterPaint, MelbourneModeIsInkOnACheckerboardOfCells) {
    Session& s = test_session();
    rasterize_ULA(0); // the beam's copy is blank from here on
    attributes(0x00); // black on black in the colour mode
    bank()[0] = 0x80;
    s.machine.port_fe = 2;
    s.view.screen_mode = 1;
    at(0, 384, 200)[2] = 0x55;
    rasterize_ULA(0);
    EXPECT_EQ(rgb(0, 128, 160), (Rgb{0, 0, 0})) << "ink";
    EXPECT_EQ(rgb(0, 129, 160), (Rgb{255, 255, 255})) << "top-left cell";
    EXPECT_EQ(rgb(0, 136, 160), (Rgb{170, 170, 170}));
    EXPECT_EQ(rgb(0, 128, 168), (Rgb{170, 170, 170}));
    EXPECT_EQ(rgb(0, 136, 168), (Rgb{255, 255, 255}));
    EXPECT_EQ(rgb(0, 383, 351), (Rgb{255, 255, 255})) << "bottom-right cell";
    EXPECT_EQ(rgb(0, 384, 200), (Rgb{0x55, 0, 0})) << "no red from the paper";
    EXPECT_EQ(rgb(0, 127, 200), (Rgb{170, 0, 0})) << "red border, its fringe";
}

TEST_F(RasterPaint, InverseInkModeIsWhiteInkOnBlack) {
    Session& s = test_session();
    rasterize_ULA(0);
    attributes(0x38);
    bank()[0] = 0x80;
    s.machine.port_fe = 2;
    s.view.screen_mode = 2;
    at(0, 384, 200)[2] = 0x55;
    rasterize_ULA(0);
    EXPECT_EQ(rgb(0, 128, 160), (Rgb{170, 170, 170})) << "ink, its own red";
    EXPECT_EQ(rgb(0, 129, 160), (Rgb{0, 0, 0}));
    EXPECT_EQ(rgb(0, 200, 200), (Rgb{0, 0, 0}));
    EXPECT_EQ(rgb(0, 384, 200), (Rgb{0x55, 0, 0}));
}

// With the text page shown alone the border keeps what the buffer had, the host screen is
// cleared, and the paper blends from black.
// The session's frame end decides this: both frames below go through it, painting surface 0.
TEST_F(RasterPaint, OverlayTwoLeavesTheBorderAndClearsTheHostScreen) {
    Session& s = test_session();
    Spectrum& m = s.machine;
    attributes(0x20); // green paper
    m.port_fe = 6;
    rasterize_ULA(0); // the beam's copy
    m.IFB_buffer = 0;
    m.tstates = m.tpf;
    s.render_logical_frame(); // the picture shown: painted from the copy, border and all
    EXPECT_EQ(test_host().stats.clears, 0u);
    at(0, 128, 200)[2] = 0x55;
    s.text.overlay = 2;
    m.port_fe = 1;
    m.IFB_buffer = 0;
    m.tstates = m.tpf;
    s.render_logical_frame();
    EXPECT_EQ(test_host().stats.clears, 1u);
    EXPECT_EQ(rgb(0, 100, 200), (Rgb{170, 170, 0})) << "the yellow border stays";
    EXPECT_EQ(rgb(0, 200, 120), (Rgb{170, 170, 0}));
    EXPECT_EQ(rgb(0, 128, 200), (Rgb{0x55, 113, 0})) << "first paper pixel";
    EXPECT_EQ(rgb(0, 129, 200), (Rgb{0, 169, 0}));
}

// A 128K machine showing bank 7 paints from it.
TEST_F(RasterPaint, PaintsTheScreenBankSeven) {
    Spectrum& m = test_machine();
    m.model = 128;
    m.tpf = TPF_128;
    uint8_t* bank7 = m.RAM + 7 * 0x4000;
    std::memset(bank7 + 6144, 0x38, 768);
    bank7[0] = 0x80;
    m.writeport(0x7FFD, 0x08);
    paint();
    EXPECT_EQ(at(0, 128, 160)[0], 0);
    EXPECT_EQ(at(0, 129, 160)[0], 170);
}
} // namespace

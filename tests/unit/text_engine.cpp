// The text engine: what TXTPUT, TXTSTR, TXTCLS and TXTCLSLN leave in the text layer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "text_helpers.h"

using namespace text_test;

namespace {

// An 'A'-like glyph, with ink in the first and last columns as well.
const char* const kGlyphA[10] = {
    "....####....", "...##..##...", "..##....##..", ".##......##.", ".##########.",
    ".##......##.", ".##......##.", ".##......##.", "............", "#..........#",
};

bool full(int, int) { return true; }

class TextEngine : public ::testing::Test {
  protected:
    void SetUp() override { clear_charset(); }
    Session& s = fresh_session(); // the text layer at its created state
};

// Checks every pixel of a glyph drawn single-height at (x0, y0) against its glyph rows.
void expect_glyph(const char* const rows[10], int x0, int y0, Rgba fg, Rgba bg) {
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 12; j++)
            ASSERT_EQ(painted(x0 + j, y0 + i), rows[i][j] == '#' ? fg : bg)
                << "glyph pixel row " << i << " column " << j;
}

TEST_F(TextEngine, PutPaintsExactlyItsCellWithTheRedOnePixelRight) {
    set_glyph('A', kGlyphA);
    fill_surface(0x55);
    s.text.TXTPUT('A', 0, 0, 0x0C, 0);

    expect_glyph(kGlyphA, 8, 8, colour(12), Rgba{0, 0, 0, 0});
    for (int y = 0; y < TXT_SURFACE_H; y++) {
        for (int x = 0; x < TXT_SURFACE_W; x++) {
            const bool in_cell = x >= 8 && x <= 19 && y >= 8 && y <= 17;
            const Rgba p = stored(x, y);
            if (in_cell) continue;
            if (x == 20 && y >= 8 && y <= 17) {
                // The fringe column: only its red byte is written, with the last pixel's red.
                ASSERT_EQ(p, (Rgba{0, 0x55, 0x55, 0x55})) << "y " << y;
            } else {
                ASSERT_EQ(p, (Rgba{0x55, 0x55, 0x55, 0x55})) << "x " << x << " y " << y;
            }
        }
    }
    // The first column of the cell keeps the red it had: it belongs to the cell on its left.
    for (int y = 8; y <= 17; y++) EXPECT_EQ(stored(8, y).r, 0x55);
}

TEST_F(TextEngine, ColourByteNibbles) {
    set_glyph('A', kGlyphA);
    struct Case {
        uint8_t colour;
        Rgba fg, bg;
    };
    const Case cases[] = {
        {0x0C, colour(12), {0, 0, 0, 0}}, // transparent background
        {0x0F, colour(15), {0, 0, 0, 0}}, // bright white on transparent
        {0xAF, colour(15), colour(10)},   // every pixel opaque: white on bright red
        {0x1C, colour(12), colour(1)},    // bright green on blue
        {0xC0, colour(0), colour(12)},    // black on bright green
        {0x8F, colour(15), colour(8)},    // paper 8 is the opaque black
        {0x70, colour(0), colour(7)},     // ink 0 is black, opaque: not transparent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour 0x" << std::hex << int(c.colour));
        fill_surface(0x55);
        s.text.TXTPUT('A', 3, 4, c.colour, 0);
        expect_glyph(kGlyphA, cell_x(3), cell_y(4), c.fg, c.bg);
    }
}

TEST_F(TextEngine, DoubleHeightStretchesEachGlyphRowOverTwoPixelRows) {
    // Row i of the glyph has its ink in column i only, so every stretched row is told apart.
    set_glyph_pixels('A', [](int i, int j) { return i == j; });
    fill_surface(0x55);
    s.text.TXTPUT('A', 39, 0, 0x1C, 1);
    for (int y = 8; y <= 27; y++)
        for (int x = 476; x <= 487; x++) {
            const int i = (y - 8) / 2, j = x - 476;
            ASSERT_EQ(painted(x, y), i == j ? colour(12) : colour(1)) << "x " << x << " y " << y;
        }
    for (int x = 476; x <= 487; x++) EXPECT_EQ(stored(x, 28), (Rgba{0x55, 0x55, 0x55, 0x55}));
    EXPECT_EQ(stored(488, 27), (Rgba{0, 0x55, 0x55, 0x55})); // fringe column, blue paper
}

TEST_F(TextEngine, HighCodesDrawFromTheLowerHalfOfTheSet) {
    // Codes 128-255 live in rows 8-15 of the glyph grid; a code read as signed would not.
    for (int code : {128, 200, 255}) {
        clear_charset();
        set_glyph(code, kGlyphA);
        fill_surface(0x55);
        const char text[] = {static_cast<char>(code), 0};
        s.text.TXTINK = 0x0F;
        s.text.TXTSTR(1, 1, text);
        SCOPED_TRACE(code);
        expect_glyph(kGlyphA, cell_x(1), cell_y(1), colour(15), Rgba{0, 0, 0, 0});
    }
}

TEST_F(TextEngine, StringControlCodesSetInkAndDoubleHeight) {
    for (int code : {'a', 'b', 'c', 'd'}) set_glyph_pixels(code, full);
    const char text[] = {0x10, 0x0E, 'a', 'b', 0x11, 0x01, 'c', 'd', 0x11, 0x00, 0x00};
    s.text.TXTSTR(0, 0, text);

    EXPECT_EQ(s.text.TXTINK, 0x0E);
    EXPECT_EQ(s.text.TXTDUP, 0);
    // a and b single height in columns 0-1, c and d double height in columns 2-3.
    for (int column = 0; column < 5; column++) {
        const int rows = column < 2 ? 10 : column < 4 ? 20 : 0;
        for (int y = 8; y < 28; y++) {
            const Rgba expected = y - 8 < rows ? colour(14) : Rgba{0, 0, 0, 0};
            ASSERT_EQ(painted(cell_x(column) + 5, y), expected)
                << "column " << column << " y " << y;
        }
    }
}

TEST_F(TextEngine, StringArgumentsAreTakenWhateverTheyLookLike) {
    set_glyph_pixels('a', full);
    // 0x10 0x11 sets the ink to 0x11 and does not switch double height on; 0x10 0x00 does
    // not end the string.
    const char text[] = {0x10, 0x11, 'a', 0x10, 0x00, 'a', 0x10, 0x0D, 0x01, 0x02, 'a', 0x00};
    s.text.TXTSTR(0, 5, text);
    EXPECT_EQ(s.text.TXTDUP, 0);
    EXPECT_EQ(s.text.TXTINK, 0x0D);
    EXPECT_EQ(painted(cell_x(0) + 5, cell_y(5)), colour(1));
    EXPECT_EQ(painted(cell_x(1) + 5, cell_y(5)), colour(0, 255)); // ink 0, opaque glyph
    EXPECT_EQ(painted(cell_x(4) + 5, cell_y(5)), colour(13));     // codes 1 and 2 took a cell each
    EXPECT_EQ(stored(cell_x(0) + 5, cell_y(6)).a, 0);             // nothing below: single height
}

TEST_F(TextEngine, ClearLineClearsExactlyItsPixelRows) {
    fill_surface(0xFF);
    s.text.TXTCLSLN(5, 0); // no rows
    s.text.TXTCLSLN(5, -3);
    s.text.TXTCLSLN(23, 1);
    for (int y = 0; y < TXT_SURFACE_H; y++)
        for (int x = 0; x < TXT_SURFACE_W; x++) {
            const bool row = y >= 238 && y <= 247;
            Rgba expected{255, 255, 255, 255};
            if (row && x >= 8 && x <= 487) expected = {x == 8 ? 255 : 0, 0, 0, 0};
            if (row && x == 488) expected.r = 0;
            ASSERT_EQ(stored(x, y), expected) << "x " << x << " y " << y;
        }
}

TEST_F(TextEngine, CellsBeyondTheSurfaceAreDropped) {
    // A stray column or row must not wrap into the next pixel row or run past the buffer.
    set_glyph_pixels('a', full);
    fill_surface(0x55);
    s.text.TXTPUT('a', 41, 0, 0xAF, 0); // x 500-511; its fringe would be pixel 0 of the next row
    s.text.TXTPUT('a', 0, 24, 0xAF, 0); // y 248-257
    s.text.TXTPUT('a', 0, 23, 0xAF, 1); // double height from y 238 to 257
    for (int y = 8; y <= 17; y++) {
        EXPECT_EQ(painted(511 - 1, y), colour(15));
        EXPECT_EQ(stored(0, y + 1), (Rgba{0x55, 0x55, 0x55, 0x55}));
    }
    EXPECT_EQ(painted(cell_x(0), 255), colour(15));
}

TEST(TextCharset, LoadReadsTheFileAndLeavesWhatAShortFileLacksEmpty) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string short_file = (dir / "marrowgleam_text_short.bin").string();
    const std::string long_file = (dir / "marrowgleam_text_long.bin").string();
    {
        std::FILE* f = std::fopen(short_file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::vector<uint8_t> ones(1000, 1);
        std::fwrite(ones.data(), 1, ones.size(), f);
        std::fclose(f);
        f = std::fopen(long_file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> bytes(CHR_SIZE + 100, 1);
        bytes.back() = 7;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    Session& s = fresh_session();
    std::memset(s.text.CHR, 0xEE, sizeof s.text.CHR);
    ASSERT_TRUE(s.text.load_charset(short_file.c_str()));
    for (int i = 0; i < CHR_SIZE; i++) ASSERT_EQ(s.text.CHR[i], i < 1000 ? 1 : 0) << "byte " << i;

    ASSERT_TRUE(s.text.load_charset(long_file.c_str()));
    for (int i = 0; i < CHR_SIZE; i++) ASSERT_EQ(s.text.CHR[i], 1) << "byte " << i;

    EXPECT_FALSE(s.text.load_charset((dir / "marrowgleam_no_such_charset").string().c_str()));
    std::remove(short_file.c_str());
    std::remove(long_file.c_str());
}

} // namespace

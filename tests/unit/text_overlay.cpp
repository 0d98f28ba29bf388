// Overlay messages and their timer, and the start-up title.
#include <gtest/gtest.h>

#include <string>

#include "text_helpers.h"

using namespace text_test;

namespace {

// A character set in which a cell can be read back: glyph n has the bits of n in row 0
// (column j set for bit j), its paper in all of row 8 and its ink in all of row 9. Code 32
// stays empty, as clearing needs.
void readable_charset() {
    clear_charset();
    uint8_t* chr = test_session().text.CHR;
    for (int code = 0; code < 256; code++) {
        if (code == 32) continue;
        for (int j = 0; j < 8; j++)
            chr[1920 * (code / 16) + 12 * (code % 16) + j] = (code >> j) & 1;
        for (int j = 0; j < 12; j++) chr[1920 * (code / 16) + 12 * (code % 16) + 192 * 9 + j] = 1;
    }
}

struct Cell {
    int code; // 32 for a cell with no ink
    Rgba ink; // meaningless when code is 32
    Rgba paper;
};

Cell read_cell(int column, int row) {
    const int x0 = cell_x(column), y0 = cell_y(row);
    Cell cell{0, painted(x0 + 5, y0 + 9), painted(x0 + 5, y0 + 8)};
    if (cell.ink == cell.paper) return {32, cell.ink, cell.paper};
    for (int j = 0; j < 8; j++)
        if (painted(x0 + j, y0) == cell.ink) cell.code |= 1 << j;
    return cell;
}

// The characters of a text row, with the transparent cells as spaces.
std::string read_row(int row) {
    std::string text;
    for (int column = 0; column < 40; column++)
        text += static_cast<char>(read_cell(column, row).code);
    return text;
}

bool layer_is_empty() {
    const Session& s = test_session();
    for (size_t i = 0; i < sizeof s.text.TXT_surface; i++)
        if (s.text.TXT_surface[i] != 0) return false;
    return true;
}

class Overlay : public ::testing::Test {
  protected:
    void SetUp() override {
        readable_charset();
        s.text.splashing = 0; // the title has gone, unless a test puts it back
    }
    void ticks(int n) {
        for (int i = 0; i < n; i++) s.text.overlay_tick();
    }
    Session& s = fresh_session(); // the text layer and overlay at their created state
};

TEST_F(Overlay, MessageShowsForExactly200FramesFromHiddenThenHides) {
    s.text.TXTINK = 0x1C;
    s.text.post_message(" RESET ");
    EXPECT_EQ(s.text.overlay, 0); // the switch comes with the next logical frame end
    EXPECT_EQ(read_row(23), std::string(" RESET ") + std::string(33, ' '));
    for (int frame = 1; frame <= 200; frame++) {
        s.text.overlay_tick();
        ASSERT_EQ(s.text.overlay, frame < 200 ? 1 : 0) << "frame " << frame;
    }
    ticks(50);
    EXPECT_EQ(s.text.overlay, 0);
    EXPECT_EQ(s.text.overlay_timeout, 0);
    // The text stays in the layer, only hidden.
    EXPECT_EQ(read_row(23).substr(0, 7), " RESET ");
}

TEST_F(Overlay, MessageOverTheOpaqueStateReturnsToIt) {
    s.text.overlay = 2;
    s.text.post_message(" FIT  ");
    ticks(1);
    EXPECT_EQ(s.text.overlay, 1);
    ticks(198);
    EXPECT_EQ(s.text.overlay, 1);
    ticks(1);
    EXPECT_EQ(s.text.overlay, 2);
}

TEST_F(Overlay, SecondMessageReplacesTheFirstAndKeepsItsRememberedState) {
    s.text.TXTINK = 0x1C;
    s.text.post_message(" APERTURE GRILLE ");
    ticks(100);
    ASSERT_EQ(s.text.overlay, 1);
    s.text.post_message(" GAME ");
    EXPECT_EQ(read_row(23), std::string(" GAME ") + std::string(34, ' '));
    ticks(199);
    EXPECT_EQ(s.text.overlay, 1);
    ticks(1);
    EXPECT_EQ(s.text.overlay, 0); // the state from before the first message, not the forced 1
}

TEST_F(Overlay, HeldKeyRepeatsDoNotRememberTheState) {
    s.text.overlay = 2;
    s.text.overlay_old = 1;
    s.text.post_message(" SCALE- 99% ", false);
    EXPECT_EQ(s.text.overlay_old, 1);
    ticks(200);
    EXPECT_EQ(s.text.overlay, 1);
}

TEST_F(Overlay, TitlePeriodEndsWithTheWholeLayerBlankEvenAfterAMessage) {
    s.text.splashing = 1;
    s.text.splash();
    s.text.overlay_old = 0; // as start-up does after drawing the title
    s.text.overlay_timeout = 200;
    ticks(50);
    s.text.TXTINK = 0x1C;
    s.text.post_message(" COLOR       ");
    ticks(199);
    EXPECT_EQ(s.text.overlay, 1);
    EXPECT_EQ(read_row(1).substr(0, 16), " MARROWGLEAM B11");
    ticks(1);
    EXPECT_EQ(s.text.overlay, 0);
    EXPECT_EQ(s.text.splashing, 0);
    EXPECT_TRUE(layer_is_empty());

    // Later messages expire without clearing the layer.
    s.text.post_message(" RUN   ");
    ticks(200);
    EXPECT_EQ(read_row(23).substr(0, 7), " RUN   ");
}

TEST_F(Overlay, TitleLineAndBand) {
    fill_surface(0x33);
    s.text.TXTINK = 0x1C;
    s.text.TXTDUP = 0;
    s.text.splash();

    EXPECT_EQ(read_row(1), std::string(" MARROWGLEAM B11") + std::string(18, ' ') +
                               std::string(5, '\x01') + " ");
    for (int column = 0; column < 34; column++) {
        const Cell cell = read_cell(column, 1);
        EXPECT_EQ(cell.paper, colour(8)) << "column " << column; // opaque black
        if (cell.code != ' ') {
            EXPECT_EQ(cell.ink, colour(15)) << "column " << column;
        }
    }
    // Each band cell's paper is the ink of the cell to its left.
    const int inks[] = {10, 14, 12, 13, 8};
    int paper = 8;
    for (int i = 0; i < 5; i++) {
        const Cell cell = read_cell(34 + i, 1);
        EXPECT_EQ(cell.ink, colour(inks[i])) << "band cell " << i;
        EXPECT_EQ(cell.paper, colour(paper)) << "band cell " << i;
        paper = inks[i];
    }
    EXPECT_EQ(read_cell(39, 1).paper, colour(8));
    EXPECT_EQ(s.text.TXTINK, 0x88);
    EXPECT_EQ(s.text.TXTDUP, 0);

    // Everything but row 1 is cleared.
    for (int row = 0; row < 24; row++) {
        if (row == 1) continue;
        for (int column = 0; column < 40; column++)
            ASSERT_EQ(read_cell(column, row).paper.a, 0) << "row " << row << " column " << column;
    }
}

} // namespace

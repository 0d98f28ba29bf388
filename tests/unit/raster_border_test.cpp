// The exact border: every write to the border colour, time-stamped by the port cycle, shows
// from the 8-pixel block the beam draws at or after it; the one-colour border stays the
// default.
#include <gtest/gtest.h>

#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
// The beam, as the ULA runs it: the paper's first pixel (picture column 48, row 48) at
// T-state 14336, 224 T-states a line, two pixels a T-state.
int32_t beam_t(int x, int y) { return 14336 + 224 * (y - 48) + (x - 48) / 2; }

constexpr int PICTURE_X = 80, PICTURE_Y = 112; // the picture within the surface

// Blue and green of picture pixel (x, y): the red of a pixel is its left neighbour's.
struct BlueGreen {
    int b, g;
    bool operator==(const BlueGreen&) const = default;
};
BlueGreen at(const uint8_t* surface, int x, int y) {
    const uint8_t* p = surface_pixel(surface, ULA_SURFACE_W, PICTURE_X + x, PICTURE_Y + y);
    return {p[0], p[1]};
}
BlueGreen colour(int c) { return {BLU[c], GRN[c]}; }

bool border_block(int x, int y) { return y < 48 || y >= 240 || x < 48 || x >= 304; }

class ExactBorder : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    uint8_t* surface = s.ULA_surface[0];

    void SetUp() override {
        m.z80.IFF1 = m.z80.IFF2 = 0;
        m.RAM[2 * 0x4000] = 0xD3; // 0x8000: OUT (0xFE),A
        m.RAM[2 * 0x4000 + 1] = 0xFE;
    }
    // Runs OUT (0xFE),A with A = c so that its write lands at T-state t: the write follows
    // the opcode fetch (4), the operand read (3) and the first T-state of the port cycle.
    void out_at(int32_t t, uint8_t c) {
        m.z80.PC = 0x8000;
        m.z80.setA(c);
        m.tstates = t - 8;
        m.z80_step();
        ASSERT_GT(m.BORDER_EVENTS.size(), 0);
        EXPECT_EQ(m.BORDER_EVENTS[m.BORDER_EVENTS.size() - 1].t, t) << "the write's time stamp";
    }
    void paint() { m.rasterize_ULA(surface, SCREEN_COLOUR, true); }
};
} // namespace

TEST_F(ExactBorder, BandsStartAtTheBeamsBlock) {
    m.exact_border = 1;
    out_at(beam_t(0, 20), 1);        // blue from the very first block of row 20
    out_at(beam_t(320, 100) + 1, 4); // green one block after the one starting at column 320
    out_at(beam_t(0, 287) + 224, 5); // cyan after the last visible line: not this frame
    paint();

    EXPECT_EQ(at(surface, 351, 19), colour(0));
    EXPECT_EQ(at(surface, 0, 20), colour(1));
    EXPECT_EQ(at(surface, 327, 100), colour(1));
    EXPECT_EQ(at(surface, 328, 100), colour(4));
    EXPECT_EQ(at(surface, 0, 101), colour(4));
    EXPECT_EQ(at(surface, 351, 287), colour(4));

    // Every border pixel: the colour of the last write at or before its block's first pixel.
    int wrong = 0;
    for (int y = 0; y < 288; y++)
        for (int x = 0; x < 352; x++) {
            if (!border_block(x, y)) continue;
            const int32_t t = beam_t(x & ~7, y);
            const int c = t >= beam_t(320, 100) + 1 ? 4 : t >= beam_t(0, 20) ? 1 : 0;
            wrong += !(at(surface, x, y) == colour(c));
        }
    EXPECT_EQ(wrong, 0);

    // The paper's first pixel blends the green of its own line's left border: black on
    // row 99, green on row 101 (a third of 170).
    EXPECT_EQ(at(surface, 48, 99).g, 0);
    EXPECT_EQ(at(surface, 48, 101).g, GRN[4] / 3);

    // The next frame starts in the colour the last write left, outside the picture or not.
    m.end_logical_frame();
    paint();
    EXPECT_EQ(at(surface, 0, 0), colour(5));
    EXPECT_EQ(at(surface, 351, 287), colour(5));
}

TEST_F(ExactBorder, AWriteInTheOvershootBelongsToTheNextFrame) {
    m.exact_border = 1;
    out_at(m.tpf + 40, 2);
    paint();
    EXPECT_EQ(at(surface, 0, 0), colour(0));
    EXPECT_EQ(at(surface, 351, 287), colour(0));
    m.end_logical_frame();
    EXPECT_EQ(m.BORDER_EVENTS.size(), 1);
    EXPECT_EQ(m.BORDER_EVENTS[0].t, 40);
    paint();
    EXPECT_EQ(at(surface, 0, 0), colour(2));
    m.end_logical_frame();
    EXPECT_EQ(m.BORDER_EVENTS.size(), 0);
}

TEST_F(ExactBorder, TheDefaultBorderIsTheFramesLastColour) {
    out_at(beam_t(0, 20), 1);
    out_at(beam_t(320, 100) + 1, 4);
    paint();
    int other = 0;
    for (int y = 0; y < 288; y++)
        for (int x = 0; x < 352; x++)
            if (border_block(x, y)) other += !(at(surface, x, y) == colour(4));
    EXPECT_EQ(other, 0);
    // Writes that keep the colour are no change; a reset forgets the frame's changes.
    out_at(beam_t(0, 30), 3);
    const int32_t n = m.BORDER_EVENTS.size();
    m.z80.PC = 0x8000;
    m.z80_step();
    EXPECT_EQ(m.BORDER_EVENTS.size(), n);
    m.reset_logical_system();
    EXPECT_EQ(m.BORDER_EVENTS.size(), 0);
}

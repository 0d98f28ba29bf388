// The raster capture: a screen write shows in the frame being drawn only if the beam has not
// yet begun fetching its line (bitmap) or its character row (attributes).
#include <gtest/gtest.h>

#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
struct CaptureCase {
    uint16_t address;
    int32_t start;     // tstates when the write cycle begins
    int32_t completes; // tstates after the write, contention included
    bool shown;        // in the frame that ends next
};

// White paper everywhere and a blank bitmap; the write turns its pixel black, either by a
// set bitmap bit (ink black) or by a black attribute.
uint8_t written_value(uint16_t address) { return address >= 0x5800 ? 0x00 : 0xFF; }

int pixel_x(uint16_t address) { return 128 + 8 * (address & 0x1F); }

int pixel_y(uint16_t address) {
    if (address >= 0x5800) return 160 + 8 * ((address - 0x5800) >> 5);
    for (int y = 0; y < 192; y++)
        if (ulay[y] == (address & 0xFFE0)) return 160 + y;
    return -1;
}

uint8_t blue_at(int surface, int x, int y) {
    return surface_pixel(test_session().ULA_surface[surface], ULA_SURFACE_W, x, y)[0];
}

// The RAM bank the ULA shows, to write into.
uint8_t* shown_bank(Spectrum& m) { return m.RAM + (m.screen_bank() - m.RAM); }

// Ends a frame's picture into surface `index`, border and all.
void rasterize_ULA(int index) {
    Session& s = test_session();
    s.machine.rasterize_ULA(s.ULA_surface[index], s.view.screen_mode, true);
}

class RasterCapture : public testing::TestWithParam<CaptureCase> {};

TEST_P(RasterCapture, ShowsAWriteOnlyBeforeTheBeamFetchesItsLine) {
    const CaptureCase c = GetParam();
    Spectrum& m = fresh_machine();
    uint8_t* bank = shown_bank(m);
    for (int i = 6144; i < 6912; i++) bank[i] = 0x38; // white paper, black ink
    m.port_fe = 7;
    rasterize_ULA(0); // the frame begins from this screen

    m.tstates = c.start;
    m.writebyte(c.address, written_value(c.address));
    ASSERT_EQ(m.tstates, c.completes) << "the write does not complete where the case expects";

    rasterize_ULA(0);
    const int x = pixel_x(c.address), y = pixel_y(c.address);
    EXPECT_EQ(blue_at(0, x, y), c.shown ? 0 : 170) << "this frame";
    // What the beam missed shows in the next frame.
    rasterize_ULA(1);
    EXPECT_EQ(blue_at(1, x, y), 0) << "next frame";
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, RasterCapture,
    testing::Values(
        // Line 0 is fetched from T-state 14336 on.
        CaptureCase{0x4000, 14332, 14335, true}, CaptureCase{0x4000, 14333, 14336, false},
        // The last byte of line 0 counts as fetched with the rest of its line, although the
        // beam reaches it about 120 T-states later.
        CaptureCase{0x401F, 14330, 14333, true}, CaptureCase{0x401F, 14334, 14337, false},
        // Line 1 (0x4100) from 14560; the wait of a contended write counts.
        CaptureCase{0x4100, 14556, 14559, true}, CaptureCase{0x4100, 14335, 14344, true},
        CaptureCase{0x4100, 14557, 14560, false},
        // Line 191 (0x57E0) from 57120.
        CaptureCase{0x57FF, 57116, 57119, true}, CaptureCase{0x57FF, 57117, 57120, false},
        // Attribute row 1 is fetched with pixel line 8, from 16128.
        CaptureCase{0x5820, 15997, 16000, true}, CaptureCase{0x5820, 16125, 16128, false},
        // Attribute row 0 with line 0; row 23 with line 184 (55552).
        CaptureCase{0x5800, 14333, 14336, false}, CaptureCase{0x5AFF, 55548, 55551, true},
        CaptureCase{0x5AFF, 55549, 55552, false}));

TEST(RasterCaptureSequence, TheLastOfSeveralCapturedWritesShows) {
    Spectrum& m = fresh_machine();
    uint8_t* bank = shown_bank(m);
    for (int i = 6144; i < 6912; i++) bank[i] = 0x38;
    rasterize_ULA(0);
    m.tstates = 100;
    m.writebyte(0x4000, 0xFF);
    m.writebyte(0x4000, 0x00); // still before the beam: this one shows
    m.tstates = 20000;
    m.writebyte(0x4000, 0xFF); // too late for this frame
    rasterize_ULA(0);
    EXPECT_EQ(blue_at(0, 128, 160), 170);
    rasterize_ULA(1);
    EXPECT_EQ(blue_at(1, 128, 160), 0);
}
} // namespace

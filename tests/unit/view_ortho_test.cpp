// The projection extents of the picture and the text layer for each fit mode and screen shape.
#include <gtest/gtest.h>

#include "frontend/session.h"
#include "tests/support/support.h"

namespace {
struct OrthoCase {
    uint32_t width, height;
    int mode;
    float ula_x, ula_y; // the picture's half-extents, in picture pixels
    float txt_x, txt_y; // the text layer's
};

// The rectangle each mode fits (FILL and FULL read none, but set 352 x 288).
void set_mode(Session& s, int mode) {
    static const float FIT[4][2] = {{344, 258}, {352, 288}, {256, 192}, {352, 288}};
    s.view.fit_mode = mode;
    s.view.fit_x = FIT[mode][0];
    s.view.fit_y = FIT[mode][1];
}

class Ortho : public testing::TestWithParam<OrthoCase> {};
} // namespace

TEST_P(Ortho, ExtentsForTheScreenAndMode) {
    const OrthoCase& c = GetParam();
    Session& s = fresh_session();
    set_mode(s, c.mode);
    s.view.set_screen_size(c.width, c.height);
    EXPECT_FLOAT_EQ(s.view.ULA_ortho_x, c.ula_x);
    EXPECT_FLOAT_EQ(s.view.ULA_ortho_y, c.ula_y);
    EXPECT_FLOAT_EQ(s.view.TXT_ortho_x, c.txt_x);
    EXPECT_FLOAT_EQ(s.view.TXT_ortho_y, c.txt_y);
}

// FIT and GAME fit their rectangle to the height when the screen is at least 4:3 wide, else
// to the width; FILL shows 344 pixels across (or 288 rows down below 11:9); FULL the whole
// 288 rows (or the whole 352 columns below 11:9). The text layer always shows 344 x 258.
INSTANTIATE_TEST_SUITE_P(
    Screens, Ortho,
    testing::Values(
        // 16:9
        OrthoCase{1280, 720, 0, 229.33333f, 129, 229.33333f, 129},
        OrthoCase{1280, 720, 1, 172, 96.75f, 229.33333f, 129},
        OrthoCase{1280, 720, 2, 170.66667f, 96, 229.33333f, 129},
        OrthoCase{1920, 1080, 3, 256, 144, 229.33333f, 129},
        // 4:3, exactly on the FIT/GAME threshold
        OrthoCase{1024, 768, 0, 172, 129, 172, 129}, OrthoCase{1024, 768, 1, 172, 129, 172, 129},
        OrthoCase{1024, 768, 2, 128, 96, 172, 129}, OrthoCase{1024, 768, 3, 192, 144, 172, 129},
        // 5:4: narrower than 4:3, wider than 11:9
        OrthoCase{1280, 1024, 0, 172, 137.6f, 172, 137.6f},
        OrthoCase{1280, 1024, 1, 172, 137.6f, 172, 137.6f},
        OrthoCase{1280, 1024, 2, 128, 102.4f, 172, 137.6f},
        OrthoCase{1280, 1024, 3, 180, 144, 172, 137.6f},
        // 16:10
        OrthoCase{1280, 800, 0, 206.4f, 129, 206.4f, 129},
        OrthoCase{1280, 800, 1, 172, 107.5f, 206.4f, 129},
        OrthoCase{1280, 800, 2, 153.6f, 96, 206.4f, 129},
        OrthoCase{1280, 800, 3, 230.4f, 144, 206.4f, 129},
        // 11:9, exactly on the FILL/FULL threshold, and a square screen below it
        OrthoCase{1100, 900, 1, 172, 140.72727f, 172, 140.72727f},
        OrthoCase{1100, 900, 3, 176, 144, 172, 140.72727f},
        OrthoCase{1024, 1024, 1, 144, 144, 172, 172},
        OrthoCase{1024, 1024, 3, 176, 176, 172, 172}));

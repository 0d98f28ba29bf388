// Helpers for the text-layer tests: reading pixels of the tests' session's text layer back
// and building character sets of their own.
#pragma once

#include <cstdint>
#include <cstring>
#include <ostream>

#include "frontend/session.h"
#include "tests/support/support.h"

namespace text_test {

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgba& c) {
    return out << "(r " << c.r << ", g " << c.g << ", b " << c.b << ", a " << c.a << ")";
}

// The machine's palette as its users see it: bright colours 255, the others 170.
constexpr uint8_t kRed[16] = {0, 0, 170, 170, 0, 0, 170, 170, 0, 0, 255, 255, 0, 0, 255, 255};
constexpr uint8_t kGrn[16] = {0, 0, 0, 0, 170, 170, 170, 170, 0, 0, 0, 0, 255, 255, 255, 255};
constexpr uint8_t kBlu[16] = {0, 170, 0, 170, 0, 170, 0, 170, 0, 255, 0, 255, 0, 255, 0, 255};

inline Rgba colour(int k, int alpha = 255) { return {kRed[k], kGrn[k], kBlu[k], alpha}; }

// The four bytes stored at pixel (x, y).
inline Rgba stored(int x, int y) {
    const uint8_t* p = surface_pixel(test_session().text.TXT_surface, TXT_SURFACE_W, x, y);
    return {p[2], p[1], p[0], p[3]};
}

// The colour painted for pixel (x, y): its blue, green and alpha, and the red that the
// colour fringe put into the pixel to its right.
inline Rgba painted(int x, int y) {
    Rgba c = stored(x, y);
    c.r = stored(x + 1, y).r;
    return c;
}

// Top-left pixel of text cell (column, row).
inline int cell_x(int column) { return 8 + 12 * column; }
inline int cell_y(int row) { return 8 + 10 * row; }

// An empty character set, then glyphs drawn from 10 strings of 12 '#'/'.'.
inline void clear_charset() { std::memset(test_session().text.CHR, 0, CHR_SIZE); }

inline void set_glyph(int code, const char* const rows[10]) {
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 12; j++)
            test_session().text.CHR[1920 * (code / 16) + 12 * (code % 16) + 192 * i + j] =
                rows[i][j] == '#';
}

inline void set_glyph_pixels(int code, bool (*on)(int i, int j)) {
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 12; j++)
            test_session().text.CHR[1920 * (code / 16) + 12 * (code % 16) + 192 * i + j] = on(i, j);
}

// Every byte of the text layer set to `value`, so that untouched pixels show.
inline void fill_surface(uint8_t value) {
    Session& s = test_session();
    std::memset(s.text.TXT_surface, value, sizeof s.text.TXT_surface);
}

} // namespace text_test

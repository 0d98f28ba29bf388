// The picture: palette and rasteriser.
//
// At each logical frame end the whole 352 x 288 picture is painted into one picture surface
// (columns 80-431, rows 112-399 of 512 x 512; the paper at 128-383, 160-351). Every pixel's
// red byte lands in the pixel to its right, the colour fringe of the display; in the colour
// mode the green byte is also blended with the previous pixel's. Alpha is never changed.
//
// Speed: this runs at every logical frame, thousands of times a second when the machine runs
// unpaced, so pixels are painted four at a time (blue, green and red together, alpha kept):
// in the colour mode each nibble of a bitmap byte from a table of its four pixels, in the
// monochrome modes with masks made from the bitmap bits.
#include <algorithm>
#include <array>
#include <iterator>
#include <bit>
#include <cstring>
#include <utility>

#include "spectrum/machine.h"

// Index = 8 * BRIGHT + 4 * G + 2 * R + B.
constexpr uint8_t RED[16] = {0, 0, 170, 170, 0, 0, 170, 170, 0, 0, 255, 255, 0, 0, 255, 255};
constexpr uint8_t GRN[16] = {0, 0, 0, 0, 170, 170, 170, 170, 0, 0, 0, 0, 255, 255, 255, 255};
constexpr uint8_t BLU[16] = {0, 170, 0, 170, 0, 170, 0, 170, 0, 255, 0, 255, 0, 255, 0, 255};

namespace {
constexpr int ROW_BYTES = ULA_SURFACE_W * 4;
constexpr int PICTURE_X = 80, PICTURE_W = 352;
constexpr int PICTURE_Y = 112, PICTURE_H = 288;
constexpr int PAPER_X = 128, PAPER_W = 256;
constexpr int PAPER_Y = 160, PAPER_H = 192;
constexpr int BORDER = 48;
constexpr int ATTRIBUTES = 6144;
static_assert(PICTURE_W % 4 == 0 && BORDER % 4 == 0, "border spans are painted 4 at a time");

// A pixel as its four bytes lie in memory (blue, green, red, alpha), whatever the host's
// byte order; and four pixels side by side.
using Pixel = uint32_t;
using Pixels = Pixel __attribute__((vector_size(16)));

constexpr Pixel bytes(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    return std::bit_cast<Pixel>(std::array<uint8_t, 4>{b, g, r, a});
}
constexpr uint8_t red_byte(Pixel p) { return std::bit_cast<std::array<uint8_t, 4>>(p)[2]; }
constexpr Pixel ALPHA = bytes(0, 0, 0, 0xFF);

inline Pixels splat(Pixel v) { return Pixels{v, v, v, v}; }

// Blue, green and red of the four pixels at p, keeping their alpha.
inline void put4(uint8_t* p, Pixels colour) {
    Pixels v;
    std::memcpy(&v, p, sizeof v);
    v = (v & ALPHA) | colour;
    std::memcpy(p, &v, sizeof v);
}

// All ones in the lanes of the pixels whose bitmap bit is 0 (paper): the first four pixels
// of a byte (bits 7-4) and the last four (bits 3-0).
inline Pixels paper_first4(unsigned bits) {
    return (Pixels)((splat(bits) & Pixels{0x80, 0x40, 0x20, 0x10}) == 0);
}
inline Pixels paper_last4(unsigned bits) {
    return (Pixels)((splat(bits) & Pixels{0x08, 0x04, 0x02, 0x01}) == 0);
}

// The palette colour itself, for the border and the monochrome modes.
constexpr std::array<Pixel, 16> plain = [] {
    std::array<Pixel, 16> t{};
    for (int c = 0; c < 16; c++) t[c] = bytes(BLU[c], GRN[c], RED[c], 0);
    return t;
}();

// A colour-mode pixel of colour c after one of colour prev is the sum of what c keeps (its
// blue, two thirds of its green) and what prev gives to its right (a third of its green, its
// red): a uniform 170 then reads 169 (113 + 56) and 255 reads 255 (170 + 85). No byte of the
// sum carries into the next.
constexpr Pixel kept(int c) { return bytes(BLU[c], static_cast<uint8_t>(2 * GRN[c] / 3), 0, 0); }
constexpr Pixel given(int c) { return bytes(0, static_cast<uint8_t>(GRN[c] / 3), RED[c], 0); }

// Per FLASH phase and attribute byte (ink and paper with BRIGHT, exchanged by FLASH in phase
// 1), the colour-mode pixels of each nibble of a bitmap byte: pixel i is what its own colour
// keeps plus what pixel i - 1 gives, except pixel 0, whose left neighbour lies in the nibble
// (or cell, or border) before. A cell's byte is then two loads and two lane-0 adds of what
// the pixel before gives, which `gives` holds for each nibble by its last bit, beside the
// pixels, so that one attribute's row of the table serves the whole cell.
struct Nibbles {
    alignas(16) Pixel pixels[16][4];
    Pixel gives[16]; // what each nibble's last pixel gives the pixel after it
};
struct ColourTables {
    std::array<std::array<Nibbles, 256>, 2> nibbles;
};
constexpr ColourTables colour_tables = [] {
    ColourTables t{};
    for (int phase = 0; phase < 2; phase++)
        for (int a = 0; a < 256; a++) {
            const int bright = a & 0x40 ? 8 : 0;
            int ink = bright + (a & 7), paper = bright + ((a >> 3) & 7);
            if ((a & 0x80) && phase) std::swap(ink, paper);
            for (int n = 0; n < 16; n++) {
                for (int i = 0; i < 4; i++) {
                    const int colour = n & (8 >> i) ? ink : paper;
                    const int before = n & (16 >> i) ? ink : paper;
                    t.nibbles[phase][a].pixels[n][i] = kept(colour) + (i ? given(before) : 0);
                }
                t.nibbles[phase][a].gives[n] = given(n & 1 ? ink : paper);
            }
        }
    return t;
}();

uint8_t* pixel(uint8_t* surface, int x, int y) {
    return surface + static_cast<size_t>(y) * ROW_BYTES + static_cast<size_t>(x) * 4;
}

// Blue and green of pixels x0..x0+n-1 of row y in border colour b, and the red of the pixel
// right of each: the first pixel keeps its red, the one past the end takes the border's.
// The span is painted whole and the first red put back.
void border_span(uint8_t* surface, int x0, int n, int y, int b) {
    uint8_t* p = pixel(surface, x0, y);
    const uint8_t first_red = p[2];
    const Pixels colour = splat(plain[b]);
    for (int i = 0; i < n; i += 4) put4(p + 4 * i, colour);
    p[2] = first_red;
    p[4 * n + 2] = RED[b];
}

// Top and bottom rows, then the left and right columns.
void paint_border_of(uint8_t* surface, int b) {
    for (int y = PICTURE_Y; y < PAPER_Y; y++) border_span(surface, PICTURE_X, PICTURE_W, y, b);
    for (int y = PAPER_Y + PAPER_H; y < PICTURE_Y + PICTURE_H; y++)
        border_span(surface, PICTURE_X, PICTURE_W, y, b);
    for (int y = PAPER_Y; y < PAPER_Y + PAPER_H; y++) {
        border_span(surface, PICTURE_X, BORDER, y, b);
        border_span(surface, PAPER_X + PAPER_W, BORDER, y, b);
    }
}

// The exact border: each 8-pixel block of the border in the colour the latch holds when the
// beam reaches the block's first pixel, rows top to bottom and each left to right (the
// fringe of one block's red falls on the next). left[py] gets the colour of the block left
// of paper line py.
void paint_exact_border(uint8_t* surface, const Spectrum& m, uint8_t* left) {
    uint8_t colour = m.BORDER_EVENTS.empty() ? m.port_fe & 7 : m.BORDER_EVENTS[0].before;
    const UlaTiming& u = m.timing();
    int32_t next = 0;
    auto block = [&](int x, int y) {
        const int32_t t = u.picture_top_left() + u.line * (y - PICTURE_Y) + (x - PICTURE_X) / 2;
        while (next < m.BORDER_EVENTS.size() && m.BORDER_EVENTS[next].t <= t)
            colour = m.BORDER_EVENTS[next++].after;
        border_span(surface, x, 8, y, colour);
    };
    for (int y = PICTURE_Y; y < PICTURE_Y + PICTURE_H; y++) {
        const bool paper_line = y >= PAPER_Y && y < PAPER_Y + PAPER_H;
        for (int x = PICTURE_X; x < PICTURE_X + PICTURE_W; x += 8) {
            if (paper_line && x >= PAPER_X && x < PAPER_X + PAPER_W) continue;
            block(x, y);
            if (paper_line && x == PAPER_X - 8) left[y - PAPER_Y] = colour;
        }
    }
}

// The colour mode, from the screen as the beam fetched it (RTFB). Each line starts its blend
// from its left border's colour left[py]. The first pixel's red is the border's fringe, so it is
// put back when no border was painted; the last pixel's red lands on the right border.
// Whether paper line py is painted from the same bitmap, attributes, left border, FLASH
// phase (where a cell flashes) and border as last time; if not, notes them.
bool line_unchanged(PaintedFrom& painted, int py, const uint8_t* bitmap, const uint8_t* attrs,
                    uint8_t left, uint8_t flash, bool border_painted) {
    uint8_t* key = painted.line[py];
    const uint8_t tail[3] = {left, flash, border_painted};
    if (painted.line_valid[py] && std::memcmp(key, bitmap, 32) == 0 &&
        std::memcmp(key + 32, attrs, 32) == 0 && std::memcmp(key + 64, tail, 3) == 0)
        return true;
    std::memcpy(key, bitmap, 32);
    std::memcpy(key + 32, attrs, 32);
    std::memcpy(key + 64, tail, 3);
    painted.line_valid[py] = true;
    return false;
}

void paint_paper_colour(uint8_t* surface, const uint8_t* RTFB, int32_t flashctr,
                        const uint8_t* left_border, bool border_painted, PaintedFrom* painted) {
    const int phase = (flashctr >> 4) & 1;
    const auto& nibbles = colour_tables.nibbles[phase];
    uint8_t flash = 0;
    for (int py = 0; py < PAPER_H; py++) {
        const uint8_t* attrs = RTFB + ATTRIBUTES + 32 * (py >> 3);
        const uint8_t* bitmap = RTFB + (ulay[py] - 0x4000);
        if (painted) {
            if ((py & 7) == 0) {
                uint8_t any = 0;
                for (int col = 0; col < 32; col++) any |= attrs[col];
                flash = any & 0x80 ? static_cast<uint8_t>(phase + 1) : 0;
            }
            if (line_unchanged(*painted, py, bitmap, attrs, left_border[py], flash, border_painted))
                continue;
        }
        uint8_t* p = pixel(surface, PAPER_X, PAPER_Y + py);
        const uint8_t first_red = p[2];
        // What the pixel left of the next one gives: at first the border's.
        Pixel gift = given(left_border[py]);
        auto paint_cell = [&](int col) {
            const unsigned bits = bitmap[col], high = bits >> 4, low = bits & 15;
            const Nibbles& cell = nibbles[attrs[col]];
            Pixels first, last;
            std::memcpy(&first, cell.pixels[high], sizeof first);
            std::memcpy(&last, cell.pixels[low], sizeof last);
            uint8_t* q = p + 32 * col;
            put4(q, first + Pixels{gift, 0, 0, 0});
            put4(q + 16, last + Pixels{cell.gives[high], 0, 0, 0});
            gift = cell.gives[low];
        };
        // Four cells a pass: the loop's own count and test cost as much as a tenth of a cell.
        for (int col = 0; col < 32; col += 4) {
            paint_cell(col);
            paint_cell(col + 1);
            paint_cell(col + 2);
            paint_cell(col + 3);
        }
        p += 32 * 32;
        p[2] = red_byte(gift);
        if (!border_painted) pixel(surface, PAPER_X, PAPER_Y + py)[2] = first_red;
    }
}

// The monochrome modes draw the live screen bank with no fringe: ink in colour `ink`, paper
// in colour paper_of(column, line).
template <typename PaperOf>
void paint_paper_mono(uint8_t* surface, const uint8_t* bank, int ink, PaperOf paper_of) {
    const Pixels ink_colour = splat(plain[ink]);
    for (int py = 0; py < PAPER_H; py++) {
        const uint8_t* bitmap = bank + (ulay[py] - 0x4000);
        uint8_t* p = pixel(surface, PAPER_X, PAPER_Y + py);
        for (int col = 0; col < 32; col++, p += 32) {
            const Pixels flip = splat(plain[ink] ^ plain[paper_of(col, py)]);
            const unsigned bits = bitmap[col];
            put4(p, ink_colour ^ (flip & paper_first4(bits)));
            put4(p + 16, ink_colour ^ (flip & paper_last4(bits)));
        }
    }
}

// MELBOURNE: black ink on a checkerboard of character cells, bright white top left.
void paint_paper_melbourne(uint8_t* surface, const uint8_t* bank) {
    paint_paper_mono(surface, bank, 0,
                     [](int col, int py) { return ((col ^ (py >> 3)) & 1) ? 7 : 15; });
}

// INVERSE INK: white ink on black.
void paint_paper_inverse_ink(uint8_t* surface, const uint8_t* bank) {
    paint_paper_mono(surface, bank, 7, [](int, int) { return 0; });
}
} // namespace

void Spectrum::rasterize_ULA(uint8_t* surface, int32_t screen_mode, bool paint_border,
                             PaintedFrom* painted) {
    // Only the colour mode's lines are remembered; another mode paints them all.
    if (painted && painted->mode != screen_mode) {
        std::fill(std::begin(painted->line_valid), std::end(painted->line_valid), false);
        painted->mode = screen_mode;
    }
    // Without the border (the text page is shown alone) the border keeps what the buffer had.
    uint8_t left[PAPER_H];
    std::memset(left, 0, sizeof left);
    if (paint_border && exact_border) {
        paint_exact_border(surface, *this, left);
        if (painted) painted->border_valid = false;
    } else if (paint_border) {
        const uint8_t b = port_fe & 7;
        std::memset(left, b, sizeof left);
        // The same colour all round as last time: every border pixel, and the red the border
        // gives the first paper pixel, are as they were.
        if (!painted || !painted->border_valid || painted->border != b) {
            paint_border_of(surface, b);
            if (painted) {
                painted->border_valid = true;
                painted->border = b;
            }
        }
    }
    switch (screen_mode) {
    case SCREEN_COLOUR:
        paint_paper_colour(surface, RTFB, flashctr, left, paint_border, painted);
        break;
    case SCREEN_MELBOURNE: paint_paper_melbourne(surface, screen_bank()); break;
    case SCREEN_INVERSE_INK: paint_paper_inverse_ink(surface, screen_bank()); break;
    default: break;
    }
    // The next frame's capture starts from the screen as it is now: a byte not written
    // before the beam reaches it shows its end-of-frame value.
    std::memcpy(RTFB, screen_bank(), sizeof RTFB);
}

// The text engine: every character is painted straight into TXT_surface; there is no
// character buffer behind the text screen.
#include <cstdio>
#include <cstring>

#include "frontend/text_layer.h"
#include "spectrum/machine.h"

bool TextLayer::load_charset(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    // Whatever the file does not cover stays zero: empty glyphs.
    std::memset(CHR, 0, sizeof CHR);
    const size_t ignored = std::fread(CHR, 1, sizeof CHR, file);
    (void)ignored;
    std::fclose(file);
    return true;
}

namespace {
// One glyph row into one pixel row of the text layer. The red byte of every pixel goes into
// the pixel to its right, the colour fringe the picture has too, so the first pixel of a
// cell keeps the red of the last pixel of the cell to its left.
//
// Writes that would fall outside the surface are dropped: the callers keep to the 40 x 24
// screen, and a stray column or row must not run past the end of the buffer.
void put_row(uint8_t* TXT_surface, const uint8_t* glyph_row, int x0, int y, uint8_t fg,
             uint8_t bg) {
    if (y < 0 || y >= TXT_SURFACE_H) return;
    uint8_t* line = surface_pixel(TXT_surface, TXT_SURFACE_W, 0, y);
    for (int j = 0; j < TEXT_CELL_W; j++) {
        // m is 0xFF for a foreground pixel and 0x00 for a background one.
        const uint8_t m = static_cast<uint8_t>(glyph_row[j] * 255);
        const uint8_t k = static_cast<uint8_t>((m & fg) | (~m & bg));
        const uint8_t alpha = (m != 0 || bg != 0) ? 0xFF : 0x00;
        const int x = x0 + j;
        if (x >= 0 && x < TXT_SURFACE_W) {
            line[4 * x + 0] = BLU[k];
            line[4 * x + 1] = GRN[k];
            line[4 * x + 3] = alpha;
        }
        if (x + 1 >= 0 && x + 1 < TXT_SURFACE_W) line[4 * (x + 1) + 2] = RED[k];
    }
}
} // namespace

void TextLayer::TXTPUT(uint8_t code, int column, int row, uint8_t colour, int dbl) {
    const int x0 = TEXT_CELL_W * column + TEXT_LEFT;
    const int y0 = TEXT_CELL_H * row + TEXT_TOP;
    const uint8_t* glyph =
        CHR + CHR_ROW_BYTES * TEXT_CELL_H * (code / 16) + TEXT_CELL_W * (code % 16);
    const uint8_t fg = colour & 0x0F;
    const uint8_t bg = colour >> 4;
    for (int i = 0; i < TEXT_CELL_H; i++) {
        const uint8_t* glyph_row = glyph + CHR_ROW_BYTES * i;
        if (dbl) {
            // Stretched to 20 rows: the cell and the one below it.
            put_row(TXT_surface, glyph_row, x0, y0 + 2 * i, fg, bg);
            put_row(TXT_surface, glyph_row, x0, y0 + 2 * i + 1, fg, bg);
        } else {
            put_row(TXT_surface, glyph_row, x0, y0 + i, fg, bg);
        }
    }
}

void TextLayer::TXTSTR(int column, int row, const char* text) {
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    for (;;) {
        const uint8_t byte = *p++;
        switch (byte) {
        case 0x00: return;
        case 0x10: TXTINK = *p++; break; // any value, even one that looks like a control
        case 0x11: TXTDUP = *p++ != 0 ? 1 : 0; break;
        default: TXTPUT(byte, column++, row, TXTINK, TXTDUP); break;
        }
    }
}

void TextLayer::TXTCLSLN(int first, int count) {
    for (int row = first; row < first + count; row++)
        for (int column = 0; column < TEXT_COLUMNS; column++) TXTPUT(' ', column, row, 0, 0);
}

void TextLayer::TXTCLS() { TXTCLSLN(0, TEXT_ROWS); }

#include "tests/support/files_screen.h"

#include <cstring>

#include "frontend/session.h"
#include "tests/support/support.h"

namespace {
struct Pixel {
    uint8_t b, g, a;
    bool operator==(const Pixel&) const = default;
};

const uint8_t* at(int x, int y) {
    return surface_pixel(test_session().text.TXT_surface, TXT_SURFACE_W, x, y);
}
Pixel pixel(int x, int y) { return {at(x, y)[0], at(x, y)[1], at(x, y)[3]}; }

int cell_x(int column) { return 8 + 12 * column; }
int cell_y(int row) { return 8 + 10 * row; }

// The bits of the cell's top row that differ from its bottom-right (always background)
// pixel.
int cell_code(int column, int row) {
    const int x = cell_x(column), y = cell_y(row);
    const Pixel background = pixel(x + 11, y + 9);
    int code = 0;
    for (int j = 0; j < 8; j++)
        if (!(pixel(x + j, y) == background)) code |= 1 << j;
    return code;
}
} // namespace

void use_code_charset() {
    uint8_t* CHR = test_session().text.CHR;
    std::memset(CHR, 0, CHR_SIZE);
    for (int n = 1; n < 256; n++) {
        if (n == 32) continue;
        for (int j = 0; j < 8; j++)
            if (n & (1 << j)) CHR[1920 * (n / 16) + 12 * (n % 16) + j] = 1;
    }
}

std::string text_row(int row) {
    std::string text;
    for (int column = 0; column < 40; column++) {
        const int code = cell_code(column, row);
        text += code ? static_cast<char>(code) : ' ';
    }
    return text;
}

int text_ink(int column, int row) {
    const int code = cell_code(column, row);
    if (!code) return -1;
    int j = 0;
    while (!(code & (1 << j))) j++;
    const int x = cell_x(column) + j, y = cell_y(row);
    // The red of a pixel lies in the pixel to its right (the colour fringe).
    const uint8_t red = at(x + 1, y)[2], green = at(x, y)[1], blue = at(x, y)[0];
    for (int k = 0; k < 16; k++)
        if (RED[k] == red && GRN[k] == green && BLU[k] == blue) return k;
    return -1;
}

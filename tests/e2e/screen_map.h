// Where the picture surface and the text layer land on the host screen, worked out from the
// projections the composition uses, for the tests to look at known places of a screenshot.
#pragma once

struct Box {
    int x0, y0, x1, y1; // x0..x1-1, y0..y1-1
};

struct ScreenMap {
    int width, height;   // the screen in pixels
    double ula_x, ula_y; // half-extents of the picture projection, in surface pixels
    double txt_x, txt_y; // half-extents of the text projection

    // The screen pixels covering surface pixels x0..x1-1, y0..y1-1 of a picture surface
    // (512 x 512, the paper at 128..383 x 160..351), at scale 1 with no turn or pan.
    Box picture(double x0, double y0, double x1, double y1) const {
        // The picture quad spans -256..256 units, one per surface pixel, lifted by a
        // quarter unit; -ula_y is the top of the screen.
        auto sx = [&](double x) { return (x - 256 + ula_x) / (2 * ula_x) * width; };
        auto sy = [&](double y) { return (y - 256 - 0.25 + ula_y) / (2 * ula_y) * height; };
        return inner(sx(x0), sy(y0), sx(x1), sy(y1));
    }

    // The screen pixels covering text-layer pixels x0..x1-1, y0..y1-1.
    Box text(double x0, double y0, double x1, double y1) const {
        // Texel columns 0..496 fill -164..164 units; rows 0..256, a quarter texel low, fill
        // 128 down to -128, the projection's y pointing up.
        auto sx = [&](double x) { return (-164 + x * 328 / 496 + txt_x) / (2 * txt_x) * width; };
        auto sy = [&](double y) { return (txt_y - (128 - (y - 0.25))) / (2 * txt_y) * height; };
        return inner(sx(x0), sy(y0), sx(x1), sy(y1));
    }

    // Text cell (column, row) of the 40 x 24 screen, or the given glyph pixels within it.
    Box cell(int column, int row) const {
        return text(8 + 12 * column, 8 + 10 * row, 20 + 12 * column, 18 + 10 * row);
    }
    Box glyph_pixel(int column, int row, int gx, int gy) const {
        const double x = 8 + 12 * column + gx, y = 8 + 10 * row + gy;
        return text(x, y, x + 1, y + 1);
    }
    // Cells first..last (inclusive) of a text row.
    Box cells(int first, int last, int row) const {
        const Box a = cell(first, row), b = cell(last, row);
        return {a.x0, a.y0, b.x1, b.y1};
    }

  private:
    // Whole pixels inside the edges, so that filtering across an edge stays outside.
    static Box inner(double x0, double y0, double x1, double y1) {
        auto up = [](double v) { return static_cast<int>(v + 0.999); };
        auto down = [](double v) { return static_cast<int>(v); };
        return {up(x0), up(y0), down(x1), down(y1)};
    }
};

// On a screen wider than 4:3 the text layer fits 258 text units to the height; the picture
// shows 344 surface pixels across in FILL and all 288 rows in FULL.
inline ScreenMap fill_map_wide(int width, int height) {
    const double a = double(width) / height;
    return {width, height, 172, 344 / a / 2, 258 * a / 2, 129};
}
inline ScreenMap full_map_wide(int width, int height) {
    const double a = double(width) / height;
    return {width, height, 288 * a / 2, 144, 258 * a / 2, 129};
}

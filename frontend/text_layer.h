// The text layer: a transparent pixel surface over the picture, painted cell by cell from
// the character set, with its timed messages on row 23, the overlay state (hidden, over the
// picture, alone) and the start-up title.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The text layer's pixel buffer: 512 x 256 pixels, 4 bytes each (blue, green, red, alpha).
constexpr int TXT_SURFACE_W = 512;
constexpr int TXT_SURFACE_H = 256;

// The character set: a 192 x 160 image of one byte a pixel (1 foreground), a 16 x 16 grid
// of 12 x 10 glyphs; code n at column 12 (n mod 16), row 10 (n div 16).
constexpr int CHR_ROW_BYTES = 192;
constexpr int CHR_SIZE = 30720;

// The text screen: 40 x 24 cells of 12 x 10 pixels, cell (c, r) at pixel (8 + 12c, 8 + 10r)
// of TXT_surface. Messages go on row 23.
constexpr int TEXT_COLUMNS = 40;
constexpr int TEXT_ROWS = 24;
constexpr int TEXT_CELL_W = 12;
constexpr int TEXT_CELL_H = 10;
constexpr int TEXT_LEFT = 8;
constexpr int TEXT_TOP = 8;
constexpr int MESSAGE_ROW = 23;
constexpr int MESSAGE_FRAMES = 200; // logical frames a message stays up (4 s)

// The address of pixel (x, y) of a surface `width` pixels wide.
inline uint8_t* surface_pixel(uint8_t* surface, int width, int x, int y) {
    return surface + (static_cast<size_t>(y) * width + x) * 4;
}
inline const uint8_t* surface_pixel(const uint8_t* surface, int width, int x, int y) {
    return surface + (static_cast<size_t>(y) * width + x) * 4;
}

class TextLayer {
  public:
    // Created transparent black, with no glyphs.
    uint8_t TXT_surface[TXT_SURFACE_W * TXT_SURFACE_H * 4] = {};
    uint8_t CHR[CHR_SIZE] = {};
    uint8_t TXTINK = 0x0C;  // colour byte: high nibble background (0 transparent), low ink
    uint8_t TXTDUP = 0;     // double height
    char TXTLNBUF[48] = {}; // where messages with a number are formatted
    // Overlay state: 0 hidden, 1 over the picture, 2 alone.
    int32_t overlay = 0;
    int32_t overlay_old = 0;
    int32_t overlay_timeout = 0;
    uint8_t splashing = 1;

    // Reads the character set file (a short file leaves the rest zero). False if it cannot
    // be opened.
    bool load_charset(const char* path);
    // Paints one cell: colour's high nibble the background (0 transparent), low nibble the
    // ink; dbl stretches the glyph over this row and the next. Anything that would fall
    // outside TXT_surface is dropped.
    void TXTPUT(uint8_t code, int column, int row, uint8_t colour, int dbl);
    // Control codes: 0x00 end; 0x10 n set TXTINK; 0x11 n double height on (n != 0) or off.
    void TXTSTR(int column, int row, const char* text);
    void TXTCLS();
    void TXTCLSLN(int first, int count);
    // Posts a message on row 23: clear the row, draw `text` at column 0, remember the
    // overlay state if no message is running (only when `remember` is set: the held keys
    // remember in the frame of the press only) and restart the 200-frame timer.
    void post_message(const char* text, bool remember = true);
    // The same with a number or a name formatted into TXTLNBUF first.
    template <typename... Args>
    void post_formatted(const char* format, bool remember, Args... args) {
        std::snprintf(TXTLNBUF, sizeof TXTLNBUF, format, args...);
        post_message(TXTLNBUF, remember);
    }
    // The expiry step of every logical frame end.
    void overlay_tick();
    // The start-up title.
    void splash();
};

// A row-23 message: `head` and then `reason`, cut at a space to fit the 40 columns.
std::string message_with_reason(const std::string& head, const std::string& reason);

// The teletext-style text layer: a 40 x 24 screen of 12 x 10 cells painted straight into
// TXT_surface, and the overlay state that shows it.
#pragma once

#include <cstdint>

// The character set: a 192 x 160 image of one byte a pixel (1 foreground), a 16 x 16 grid
// of 12 x 10 glyphs; code n at column 12 (n mod 16), row 10 (n div 16).
constexpr int CHR_ROW_BYTES = 192;
constexpr int CHR_SIZE = 30720;
extern uint8_t CHR[CHR_SIZE];

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

// Reads the character set file (a short file leaves the rest zero). False if it cannot be
// opened.
bool load_charset(const char* path);

extern uint8_t TXTINK;    // colour byte: high nibble background (0 transparent), low ink
extern uint8_t TXTDUP;    // double height
extern char TXTLNBUF[48]; // where messages with a number are formatted

// Paints one cell: colour's high nibble the background (0 transparent), low nibble the ink;
// dbl stretches the glyph over this row and the next. Callers keep within the screen;
// anything that would fall outside TXT_surface is dropped.
void TXTPUT(uint8_t code, int column, int row, uint8_t colour, int dbl);
// Control codes: 0x00 end; 0x10 n set TXTINK; 0x11 n double height on (n != 0) or off.
void TXTSTR(int column, int row, const char* text);
void TXTCLS();
void TXTCLSLN(int first, int count);

// Overlay state: 0 hidden, 1 over the picture, 2 alone.
extern int32_t overlay;
extern int32_t overlay_old;
extern int32_t overlay_timeout;
extern uint8_t splashing;

// Posts a message on row 23: clear the row, draw `text` at column 0, remember the overlay
// state if no message is running (only when `remember` is set: the held keys remember in
// the frame of the press only) and restart the 200-frame timer.
void post_message(const char* text, bool remember = true);

// The expiry step of every logical frame end.
void overlay_tick();

// The start-up title.
void splash();

// Back to the load-time state (text layer transparent, TXTINK 0x0C, overlay 0, ...).
void text_defaults();

// The teletext-style text layer: a 40 x 24 screen of 12 x 10 cells painted straight into
// TXT_surface, and the overlay state that shows it.
#pragma once

#include <cstdint>

// The character set: a 192 x 160 image of one byte a pixel (1 foreground), a 16 x 16 grid
// of 12 x 10 glyphs; code n at column 12 (n mod 16), row 10 (n div 16).
constexpr int CHR_SIZE = 30720;
extern uint8_t CHR[CHR_SIZE];

// Reads the character set file (a short file leaves the rest zero). False if it cannot be
// opened.
bool load_charset(const char* path);

extern uint8_t TXTINK;      // colour byte: high nibble background (0 transparent), low ink
extern uint8_t TXTDUP;      // double height
extern char TXTLNBUF[48];   // where messages with a number are formatted

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

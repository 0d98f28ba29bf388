// Reading the Spectrum's screen as text: each 8 x 8 character cell is matched against the
// ROM's own character set (96 glyphs at 0x3D00, codes 32 to 127).
#pragma once

#include <string>
#include <vector>

class Spectrum;

// The 24 rows of 32 characters of the screen bank's bitmap. A cell that matches a glyph,
// or its inverse (the cursor, inverse video), reads as that character; a cell that matches
// none reads as '?'.
std::vector<std::string> screen_text(const Spectrum& m);

// All 24 rows joined with '\n', trailing spaces of each row removed.
std::string screen_text_joined(const Spectrum& m);

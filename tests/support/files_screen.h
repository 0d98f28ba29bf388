// Reading the text layer back as characters, for the file tests: a character set in which
// each glyph spells its own code in the bits of its top row. All on the tests' session
// (test_session()).
#pragma once

#include <string>

// Puts the code-spelling character set into CHR: glyph n has pixel j of row 0 set for each
// bit j of n; glyph 32 (and 0) is empty, as clearing needs.
void use_code_charset();

// The 40 characters of a text row as drawn with that character set; a blank cell is ' '.
std::string text_row(int row);

// The palette index of the foreground of a cell, or -1 when the cell has no foreground.
int text_ink(int column, int row);

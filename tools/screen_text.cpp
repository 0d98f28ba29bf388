#include "tools/screen_text.h"

#include <cstdint>

#include "spectrum/machine.h"

namespace {
char match_cell(const Spectrum& m, const uint8_t* bank, int row, int column) {
    uint8_t cell[8];
    for (int line = 0; line < 8; line++) cell[line] = bank[ulay[row * 8 + line] - 0x4000 + column];
    for (int code = 32; code < 128; code++) {
        const uint8_t* glyph = m.basic_rom() + 0x3D00 + (code - 32) * 8;
        bool plain = true, inverse = true;
        for (int line = 0; line < 8; line++) {
            plain = plain && cell[line] == glyph[line];
            inverse = inverse && cell[line] == static_cast<uint8_t>(~glyph[line]);
        }
        if (plain || inverse) return static_cast<char>(code);
    }
    return '?';
}
} // namespace

std::vector<std::string> screen_text(const Spectrum& m) {
    const uint8_t* bank = m.screen_bank();
    std::vector<std::string> rows;
    for (int row = 0; row < 24; row++) {
        std::string text;
        for (int column = 0; column < 32; column++) text += match_cell(m, bank, row, column);
        rows.push_back(text);
    }
    return rows;
}

std::string screen_text_joined(const Spectrum& m) {
    std::string all;
    for (const std::string& row : screen_text(m)) {
        const auto end = row.find_last_not_of(' ');
        all += end == std::string::npos ? std::string() : row.substr(0, end + 1);
        all += '\n';
    }
    return all;
}

// The monitor's page in the window, read back cell by cell: each text cell's 12 x 10 glyph
// pixels matched against the program's own character set.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/fullscreen_fixture.h"
#include "tests/support/support.h"
#include "z80/disasm.h"

namespace fullscreen {
namespace {
constexpr int GLYPH_W = 12, GLYPH_H = 10, SET_ROW = 192;

// The text layer's rows as the window shows them: at each glyph pixel's centre, ink where
// the green is lit (white and yellow ink have it, the blue paper has none; the red channel
// carries the colour fringe into the next pixel). A cell reads as the character whose
// glyph differs from it in the fewest pixels.
std::vector<std::string> read_text_rows(const Image& shot, const ScreenMap& map,
                                        const std::vector<uint8_t>& set) {
    std::vector<std::string> rows;
    for (int row = 0; row < 24; row++) {
        std::string text;
        for (int column = 0; column < 40; column++) {
            bool ink[GLYPH_H][GLYPH_W];
            for (int gy = 0; gy < GLYPH_H; gy++)
                for (int gx = 0; gx < GLYPH_W; gx++) {
                    const Box b = map.glyph_pixel(column, row, gx, gy);
                    ink[gy][gx] = shot.at((b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2).g > 60;
                }
            int best = ' ', fewest = GLYPH_W * GLYPH_H + 1;
            for (int code = 32; code < 127; code++) {
                int differ = 0;
                for (int gy = 0; gy < GLYPH_H; gy++)
                    for (int gx = 0; gx < GLYPH_W; gx++) {
                        const size_t at = static_cast<size_t>(
                            (GLYPH_H * (code / 16) + gy) * SET_ROW + GLYPH_W * (code % 16) + gx);
                        differ += (set[at] != 0) != ink[gy][gx];
                    }
                if (differ < fewest) best = code, fewest = differ;
            }
            text += static_cast<char>(best);
        }
        rows.push_back(text.substr(0, text.find_last_not_of(' ') + 1));
    }
    return rows;
}

// "PC 1234" on the registers' second row; -1 when it cannot be read.
int pc_shown(const std::vector<std::string>& rows) {
    unsigned pc = 0;
    const auto at = rows[1].find("PC ");
    return at != std::string::npos && std::sscanf(rows[1].c_str() + at, "PC %4x", &pc) == 1
               ? static_cast<int>(pc)
               : -1;
}

// Opens on Windows+D with the machine's state; S steps one instruction, the listing's '='
// following PC.
TEST_F(FullScreen, MonitorPageShowsTheMachineAndStepsIt) {
    std::vector<uint8_t> set(30720);
    std::FILE* file = std::fopen(binary_path("teletext").c_str(), "rb");
    ASSERT_TRUE(file) << "no character set beside the program";
    ASSERT_EQ(std::fread(set.data(), 1, set.size(), file), set.size());
    std::fclose(file);
    launch();
    wait_for_white_paper();
    wait_for_title_to_go();

    const std::string help = "Step Over Frame Run Break Watch Go";
    std::vector<std::string> rows;
    const auto page_shows = [&](const Image& s) {
        rows = read_text_rows(s, map_, set);
        return rows[22] == help;
    };
    x_.run("xdotool keydown super keydown d keyup d keyup super");
    ASSERT_TRUE(wait_for_screen(x_, 10s, page_shows))
        << "no monitor page; row 22 reads \"" << (rows.empty() ? "" : rows[22]) << "\"";
    EXPECT_EQ(rows[0].rfind("AF ", 0), 0u) << rows[0];
    EXPECT_EQ(rows[3].rfind("FLAGS S", 0), 0u) << rows[3];
    const int pc = pc_shown(rows);
    ASSERT_GE(pc, 0) << rows[1];
    char at_pc[8];
    std::snprintf(at_pc, sizeof at_pc, "=%04X", pc);
    int listed = -1;
    for (int r = 5; r < 16; r++)
        if (rows[r].substr(2, 5) == at_pc) listed = r;
    ASSERT_GE(listed, 0) << "no listing line at PC " << at_pc;
    // The instruction there as the disassembler reads the ROM (no names: no names' column).
    uint8_t rom[16384];
    ASSERT_TRUE(read_rom(rom));
    if (pc < 0x3FFC) {
        const z80::Disassembly dis = z80::disassemble(rom + pc, static_cast<uint16_t>(pc));
        EXPECT_EQ(rows[listed].substr(8), dis.text) << rows[listed];
    }

    // One step: PC moves on (the ROM waits for a key in a loop, no HALT), and '=' with it.
    x_.key("s");
    ASSERT_TRUE(wait_for_screen(x_, 10s,
                                [&](const Image& s) {
                                    return page_shows(s) && pc_shown(rows) >= 0 &&
                                           pc_shown(rows) != pc;
                                }))
        << "PC did not move from " << at_pc << ": " << rows[1];
    std::snprintf(at_pc, sizeof at_pc, "=%04X", pc_shown(rows));
    bool marked = false;
    for (int r = 5; r < 16; r++) marked |= rows[r].substr(2, 5) == at_pc;
    EXPECT_TRUE(marked) << "the listing does not mark the new PC " << at_pc;

    quit_with_escape();
}
} // namespace
} // namespace fullscreen

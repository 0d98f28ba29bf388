// The monitor's page in the window, read back cell by cell: each text cell's 12 x 10 glyph
// pixels matched against the program's own character set.
#include <cstdio>
#include <fstream>
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

std::string line(const char* format, int value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Opens on Windows+D with the machine's state, the ROM's instruction at PC marked '=';
// S steps one instruction (the ROM waits for a key in a loop, with no HALT).
TEST_F(FullScreen, MonitorPageShowsTheMachineAndStepsIt) {
    std::vector<uint8_t> set(30720);
    uint8_t rom[16384];
    std::ifstream(binary_path("teletext"), std::ios::binary)
        .read(reinterpret_cast<char*>(set.data()), 30720);
    ASSERT_TRUE(read_rom(rom));
    launch();
    wait_for_white_paper();
    wait_for_title_to_go();
    std::vector<std::string> rows;
    const auto pc_listed = [&](const Image& s, int not_pc) {
        rows = read_text_rows(s, map_, set);
        unsigned pc = 0;
        if (rows[22] != "Step Over Frame Run Break Watch Go" ||
            std::sscanf(rows[1].c_str(), "AF'%*4x BC'%*4x DE'%*4x HL'%*4x PC %4x", &pc) != 1 ||
            static_cast<int>(pc) == not_pc)
            return -1;
        for (int r = 5; r < 16; r++)
            if (rows[r].substr(2, 5) == line("=%04X", pc)) return r;
        return -1;
    };
    int listed = -1, pc = -1;
    x_.run("xdotool keydown super keydown d keyup d keyup super");
    ASSERT_TRUE(
        wait_for_screen(x_, 10s, [&](const Image& s) { return (listed = pc_listed(s, -1)) >= 0; }))
        << "no monitor page with PC listed:\n"
        << testing::PrintToString(rows);
    EXPECT_EQ(rows[0].rfind("AF ", 0), 0u) << rows[0];
    EXPECT_EQ(rows[3].rfind("FLAGS S", 0), 0u) << rows[3];
    pc = std::stoi(rows[listed].substr(3, 4), nullptr, 16);
    if (pc < 0x3FFC) { // no names: the instruction follows "> =PC "
        EXPECT_EQ(rows[listed].substr(8), z80::disassemble(rom + pc, uint16_t(pc)).text);
    }
    x_.key("s");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) { return pc_listed(s, pc) >= 0; }))
        << "PC did not move from " << pc << ":\n"
        << testing::PrintToString(rows);
    quit_with_escape();
}
} // namespace
} // namespace fullscreen

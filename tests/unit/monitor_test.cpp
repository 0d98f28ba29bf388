// The monitor's page as the text layer shows it.
#include <gtest/gtest.h>

#include "frontend/monitor.h"
#include "tests/support/support.h"

TEST(Monitor, PageShowsStateCodeStackAndMemory) {
    Spectrum& m = fresh_machine();
    const uint8_t code[] = {0xCD, 0x10, 0x80, 0x3E, 0x41, 0x76}; // CALL $8010; LD A,$41; HALT
    for (size_t i = 0; i < sizeof code; i++) m.RAM[2 * 0x4000 + i] = code[i];
    m.RAM[2 * 0x4000 + 0x100] = 'H';
    m.RAM[2 * 0x4000 + 0x101] = 0x07;
    m.z80.PC = 0x8000;
    m.z80.SP = 0x8100;
    m.z80.AF = 0x1241; // Z and C set
    m.z80.IM = 2;
    m.tstates = 3 * 224 + 10;
    Symbols symbols;
    std::string error;
    ASSERT_TRUE(symbols.parse("sub EQU $8010\nmain = $8000\n", error));
    Debugger d;
    d.toggle(0x8003);
    Monitor mon;
    mon.open_at(m.z80.PC, "BREAK AT $8000");
    mon.memory = 0x8100;
    mon.cursor_down(m);
    std::vector<std::string> rows = mon.page(m, d, symbols);
    ASSERT_EQ(rows.size(), 24u);
    for (const std::string& row : rows) EXPECT_LE(row.size(), 40u) << row;
    EXPECT_EQ(rows[0].substr(0, 7), "AF 1241");
    EXPECT_EQ(rows[2], "IX 0000 IY 0000 I 00 R 00 IM 2 DI");
    EXPECT_EQ(rows[3], "FLAGS S- Z+ 5- H- 3- PV- N- C+");
    EXPECT_EQ(rows[4].substr(0, 26), "T 682    LINE 3   COLUMN 1");
    EXPECT_EQ(rows[5].substr(0, 21), "  =8000 main CALL sub");
    EXPECT_EQ(rows[6].substr(0, 19), ">* 8003      LD A,$");
    EXPECT_EQ(rows[12].substr(30), "SP+0 0748");
    EXPECT_EQ(rows[16], "8100 48 07 00 00 00 00 00 00 H.......");
    EXPECT_EQ(rows[22], Monitor::HELP);
    EXPECT_EQ(rows[23], "BREAK AT $8000");
    // Back up over the three-byte CALL, and down past the listing's end: it follows.
    mon.cursor_up(m);
    EXPECT_EQ(mon.cursor, 0x8000);
    for (int i = 0; i < 20; i++) mon.cursor_down(m);
    rows = mon.page(m, d, symbols);
    EXPECT_EQ(rows[5][0], '>');
}

// The points set are listed beside the listing's first rows, the last row telling how many
// more there are.
TEST(Monitor, ListsThePointsSet) {
    Spectrum& m = fresh_machine();
    m.z80.PC = 0x8000;
    Debugger d;
    Monitor mon;
    mon.open_at(m.z80.PC, "");
    using K = Breakpoint::Kind;
    d.points.push_back({.kind = K::write, .first = 0x4000, .last = 0x57FF});
    d.points.push_back({.kind = K::port_out, .first = 0xFE, .mask = 0xFF, .when = {"A", 7}});
    d.points.push_back({.kind = K::execute, .first = 0x8000, .when = {"A", 7}});
    mon.memory = 0x57FC; // the watched bytes marked
    std::vector<std::string> rows = mon.page(m, d, Symbols());
    EXPECT_EQ(rows[5].substr(28), " W 4000-57FF");
    EXPECT_EQ(rows[6].substr(28), " O FE/FF?"); // "O FE/FF,A=07" would be cut short
    EXPECT_EQ(rows[7].substr(28), " B 8000,A=07");
    EXPECT_EQ(rows[8], "   8003 NOP"); // no fourth point; with no names, no names' column
    EXPECT_EQ(rows[16], "57FC*00*00*00*00 00 00 00 00 ........");
    for (uint16_t a = 1; a <= 8; a++) d.toggle(a);
    rows = mon.page(m, d, Symbols());
    EXPECT_EQ(rows[10].substr(29), "B 0003");
    EXPECT_EQ(rows[11].substr(29), "+5 MORE");
}

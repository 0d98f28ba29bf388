// When the ULA fetches each screen byte: the search over the line addresses and the table
// the memory path uses must agree everywhere.
#include <gtest/gtest.h>

#include "spectrum/capture.h"
#include "spectrum/machine.h"

TEST(Addr2t, TableMatchesTheLineSearchForEveryScreenByte) {
    for (int off = 0; off < 6912; off++)
        ASSERT_EQ(addr2t_table[off], addr2t(static_cast<uint16_t>(0x4000 + off)))
            << "offset " << off;
}

TEST(Addr2t, LinesAndCharacterRows) {
    struct Case {
        uint16_t address;
        int32_t t;
    };
    const Case cases[] = {
        {0x3FFF, 0},                 // below the screen
        {0x4000, 14336},             // line 0
        {0x401F, 14336},             // its last byte: the whole line counts
        {0x4100, 14336 + 224},       // line 1
        {0x4020, 14336 + 8 * 224},   // line 8
        {0x4800, 14336 + 64 * 224},  // line 64, the second third
        {0x57E0, 14336 + 191 * 224}, // line 191
        {0x57FF, 14336 + 191 * 224},
        {0x5800, 14336},             // attribute row 0 from its first line
        {0x5820, 16128},             // row 1: line 8
        {0x5AFF, 14336 + 23 * 1792}, // row 23
        {0x5B00, 0},                 // past the attributes
    };
    for (const Case& c : cases) EXPECT_EQ(addr2t(c.address), c.t) << std::hex << c.address;
    for (int y = 0; y < 192; y++) EXPECT_EQ(addr2t(ulay[y]), 14336 + 224 * y) << "line " << y;
}

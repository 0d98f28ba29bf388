// The contention tables and the timed memory access built on them.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "tests/support/support.h"
#include "ula/ula.h"
#include "z80/memory.h"
#include "z80/z80.h"

namespace {

// The rule, written from the ULA's behaviour: from T-state 14335, 192 lines of 224 T-states,
// the first 128 of each line wait 6, 5, 4, 3, 2, 1, 0, 0 by position mod 8.
int expected_delay(int t) {
    static const int PATTERN[8] = {6, 5, 4, 3, 2, 1, 0, 0};
    if (t < 14335) return 0;
    const int line = (t - 14335) / 224, column = (t - 14335) % 224;
    return line <= 191 && column <= 127 ? PATTERN[column % 8] : 0;
}

class Z80Contention : public testing::Test {
  protected:
    void SetUp() override { fresh_machine(); }
    void TearDown() override { fresh_machine(); }
};

TEST_F(Z80Contention, BothTablesFollowTheRuleEverywhere) {
    long sum = 0, nonzero = 0;
    for (int t = 0; t < CONTENTION_TABLE_SIZE; t++) {
        ASSERT_EQ(ula_contention[t], expected_delay(t)) << "T-state " << t;
        ASSERT_EQ(ula_contention_no_mreq[t], ula_contention[t]) << "T-state " << t;
        ASSERT_EQ(spectrum_contend_delay_65432100(t), ula_contention[t]) << "T-state " << t;
        sum += ula_contention[t];
        nonzero += ula_contention[t] != 0;
    }
    EXPECT_EQ(sum, 64512);
    EXPECT_EQ(nonzero, 18432);
}

TEST_F(Z80Contention, TableEntriesAtTheWindowEdges) {
    const struct {
        int t, delay;
    } CASES[] = {{14334, 0}, {14335, 6}, {14336, 5},       {14340, 1}, {14341, 0},
                 {14342, 0}, {14343, 6}, {14335 + 224, 6}, {14462, 0}, {57119, 6},
                 {57244, 1}, {57245, 0}, {57246, 0},       {57247, 0}, {69887, 0}};
    for (const auto& c : CASES) EXPECT_EQ(ula_contention[c.t], c.delay) << "T-state " << c.t;
}

TEST_F(Z80Contention, CommonRuleTakesTheColumnModEightOfAnyPattern) {
    // Column 23 (the first contended one, T-state 14335) is 7 mod 8; only the low byte of a
    // pattern entry counts.
    const int32_t pattern[8] = {10, 11, 12, 13, 14, 15, 16, 0x1FF};
    EXPECT_EQ(contend_delay_common(14335, pattern), 0xFF);
    EXPECT_EQ(contend_delay_common(14336, pattern), 10);
    EXPECT_EQ(contend_delay_common(14342, pattern), 16);
    EXPECT_EQ(contend_delay_common(14335 + 128, pattern), 0);       // column 151
    EXPECT_EQ(contend_delay_common(14335 - 224, pattern), 0);       // line 23
    EXPECT_EQ(contend_delay_common(14335 + 224 * 192, pattern), 0); // line 216
    const int32_t expected[8] = {5, 4, 3, 2, 1, 0, 0, 6};
    for (int i = 0; i < 8; i++) EXPECT_EQ(contention_pattern_65432100[i], expected[i]);
}

TEST_F(Z80Contention, ReadAndWriteCosts) {
    const struct {
        uint16_t addr;
        int start, end;
    } READS[] = {
        {0x4000, 14335, 14344}, {0x4000, 14341, 14344}, {0x7FFF, 14335, 14344},
        {0x8000, 14335, 14338}, {0x3FFF, 14335, 14338}, {0xFFFF, 14336, 14339},
        {0x5800, 14343, 14352}, {0x4000, 100, 103},
    };
    for (const auto& r : READS) {
        tstates = r.start;
        readbyte(r.addr);
        EXPECT_EQ(tstates, r.end) << std::hex << "read " << r.addr << std::dec << " at " << r.start;
        tstates = r.start;
        writebyte(r.addr, 0x55);
        EXPECT_EQ(tstates, r.end) << std::hex << "write " << r.addr << std::dec << " at "
                                  << r.start;
    }
    tstates = 14335;
    readbyte_internal(0x4000);
    EXPECT_EQ(tstates, 14335);
}

TEST_F(Z80Contention, RomWriteCostsItsTStatesAndChangesNothing) {
    ROM[0x1234] = 0xAA;
    tstates = 1000;
    writebyte(0x1234, 0x55);
    EXPECT_EQ(tstates, 1003);
    EXPECT_EQ(ROM[0x1234], 0xAA);
    EXPECT_EQ(readbyte(0x1234), 0xAA);
    writebyte(0xC000, 0x11);
    writebyte(0x4000, 0x22);
    EXPECT_EQ(RAM[0 * 0x4000], 0x11);
    EXPECT_EQ(RAM[5 * 0x4000], 0x22);
}

TEST_F(Z80Contention, NoDelayPastTheEndOfTheTables) {
    // A long tape block can carry tstates beyond the 80,000 entries.
    for (const int32_t t : {79999, 80000, 80007, 123456, 2000000000}) {
        tstates = t;
        readbyte(0x4000);
        EXPECT_EQ(tstates, t + 3) << t;
    }
    tstates = 90000;
    readport(0x40FF); // contended high byte, no ULA: four waits, all nothing
    EXPECT_EQ(tstates, 90004);
}

} // namespace

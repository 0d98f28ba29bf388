// The contention table and the timed memory access built on it.
#include <gtest/gtest.h>

#include "spectrum/contention.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"
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

// One table serves the cycles with a memory request (fetches, reads, writes) and those
// without one (internal cycles with an address on the bus, port cycles): both kinds of
// cycle on a contended address wait what the rule says.
TEST_F(Z80Contention, TheTableFollowsTheRuleEverywhereForEveryKindOfCycle) {
    Spectrum& m = test_machine();
    long sum = 0, nonzero = 0;
    for (int t = 0; t < CONTENTION_TABLE_SIZE; t++) {
        ASSERT_EQ(ula_contention[t], expected_delay(t)) << "T-state " << t;
        ASSERT_EQ(contention_at(t), ula_contention[t]) << "T-state " << t;
        // A read (memory request), an internal cycle and a port cycle (none) on contended
        // addresses: the port, contended high byte and no ULA, waits before each T-state.
        int32_t with_mreq = t, without_mreq = t, port_cycle = t;
        m.read(with_mreq, 0x4000);
        m.internal(without_mreq, 0x4000, 1);
        m.in(port_cycle, 0x40FF);
        int32_t port_want = t;
        for (int i = 0; i < 4; i++) port_want += expected_delay(port_want) + 1;
        ASSERT_EQ(with_mreq - t, expected_delay(t) + 3) << "T-state " << t;
        ASSERT_EQ(without_mreq - t, expected_delay(t) + 1) << "T-state " << t;
        ASSERT_EQ(port_cycle, port_want) << "T-state " << t;
        ASSERT_EQ(spectrum_contend_delay_65432100(t), ula_contention[t]) << "T-state " << t;
        sum += ula_contention[t];
        nonzero += ula_contention[t] != 0;
    }
    EXPECT_EQ(sum, 64512);
    EXPECT_EQ(nonzero, 18432);
}

// Internal cycles in a row (one to eight: the CPU's runs are 1, 2, 4, 5 and 7 long) on a
// contended address each wait by the rule before their T-state, from any T-state, past
// either end of the table too; on another address they wait for nothing.
TEST_F(Z80Contention, ARunOfInternalCyclesWaitsBeforeEachOfThem) {
    Spectrum& m = test_machine();
    for (int n = 1; n <= 8; n++)
        for (int t = -16; t < CONTENTION_TABLE_SIZE + 16; t++) {
            int32_t want = t;
            for (int i = 0; i < n; i++) want += expected_delay(want) + 1;
            int32_t contended = t, not_contended = t;
            m.internal(contended, 0x7FFF, n);
            m.internal(not_contended, 0x8000, n);
            ASSERT_EQ(contended, want) << n << " cycles from T-state " << t;
            ASSERT_EQ(not_contended, t + n) << n << " cycles from T-state " << t;
        }
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
    Spectrum& m = test_machine();
    const struct {
        uint16_t addr;
        int start, end;
    } READS[] = {
        {0x4000, 14335, 14344}, {0x4000, 14341, 14344}, {0x7FFF, 14335, 14344},
        {0x8000, 14335, 14338}, {0x3FFF, 14335, 14338}, {0xFFFF, 14336, 14339},
        {0x5800, 14343, 14352}, {0x4000, 100, 103},
    };
    for (const auto& r : READS) {
        m.tstates = r.start;
        m.readbyte(r.addr);
        EXPECT_EQ(m.tstates, r.end)
            << std::hex << "read " << r.addr << std::dec << " at " << r.start;
        m.tstates = r.start;
        m.writebyte(r.addr, 0x55);
        EXPECT_EQ(m.tstates, r.end)
            << std::hex << "write " << r.addr << std::dec << " at " << r.start;
    }
    m.tstates = 14335;
    m.readbyte_internal(0x4000);
    EXPECT_EQ(m.tstates, 14335);
}

TEST_F(Z80Contention, RomWriteCostsItsTStatesAndChangesNothing) {
    Spectrum& m = test_machine();
    m.poke_rom(0, 0x1234, 0xAA);
    m.tstates = 1000;
    m.writebyte(0x1234, 0x55);
    EXPECT_EQ(m.tstates, 1003);
    EXPECT_EQ(m.basic_rom()[0x1234], 0xAA);
    EXPECT_EQ(m.readbyte(0x1234), 0xAA);
    m.writebyte(0xC000, 0x11);
    m.writebyte(0x4000, 0x22);
    EXPECT_EQ(m.RAM[0 * 0x4000], 0x11);
    EXPECT_EQ(m.RAM[5 * 0x4000], 0x22);
}

TEST_F(Z80Contention, NoDelayPastTheEndOfTheTables) {
    Spectrum& m = test_machine();
    // A long tape block can carry tstates beyond the 80,000 entries.
    for (const int32_t t : {79999, 80000, 80007, 123456, 2000000000}) {
        m.tstates = t;
        m.readbyte(0x4000);
        EXPECT_EQ(m.tstates, t + 3) << t;
    }
    m.tstates = 90000;
    m.readport(0x40FF); // contended high byte, no ULA: four waits, all nothing
    EXPECT_EQ(m.tstates, 90004);
}

} // namespace

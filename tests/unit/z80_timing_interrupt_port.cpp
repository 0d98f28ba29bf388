// Contended timing of interrupt acceptance (IM 0, 1, 2) and of the I/O cycle itself.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_timing.h"
#include "ula/ula.h"
#include "z80/z80.h"

namespace {

using namespace z80_timing;

// Acceptance is called directly, at T-states inside the contention window, so that the
// pushes and the vector reads meet contention (in a running machine the ULA's interrupt
// falls in T-states 0 to 31, where nothing is contended).
const std::vector<Row> ROWS = {
    {"Im0", {{}}, {mem(SP, -1), mem(SP, -2), flat(7)}, 13, [] { z80.IM = 0; }, VIA_BC, {}, true},
    {"Im1", {{}}, {mem(SP, -1), mem(SP, -2), flat(7)}, 13, [] { z80.IM = 1; }, VIA_BC, {}, true},
    {"Im1FromHalt",
     {{}},
     {mem(SP, -1), mem(SP, -2), flat(7)},
     13,
     [] {
         z80.IM = 1;
         z80.halted = 1;
     },
     VIA_BC,
     {},
     true},
    {"Im2",
     {{}},
     {mem(SP, -1), mem(SP, -2), mem(VEC, 0), mem(VEC, 1), flat(7)},
     19,
     [] { z80.IM = 2; },
     VIA_BC,
     {},
     true},
};

class Z80TimingInterrupt : public testing::TestWithParam<Row> {};

TEST_P(Z80TimingInterrupt, CyclesFollowTheTable) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Z80TimingInterrupt, testing::ValuesIn(ROWS),
                         [](const auto& info) { return row_name(info.param); });

// The I/O cycles of readport and writeport on their own, starting at 14335 where the delays
// run 6, 5, 4, 3, 2, 1, 0, 0 and then 6 again: the T-state at which the value is formed (or
// the write done) and the end of the cycle.
int seen_at;
uint8_t note_read(uint16_t) {
    seen_at = tstates;
    return 0;
}
void note_write(uint16_t, uint8_t) { seen_at = tstates; }

TEST(Z80PortCycle, ReadAndWriteMomentsFromTheFirstContendedTState) {
    struct Case {
        uint16_t port;
        int read_at, end; // readport
        int write_at;     // writeport (which ends where readport does)
    };
    const Case CASES[] = {
        {0xFFFF, 14338, 14339, 14336}, // 4
        {0xFEFE, 14343, 14344, 14336}, // 1, C 3: waits 1 after the first T-state
        {0x40FE, 14344, 14345, 14342}, // C 1, C 3
        {0x40FF, 14350, 14351, 14342}, // C 1 four times
        {0x80FF, 14338, 14339, 14336}, // uncontended high byte, no ULA
        {0x7FFE, 14344, 14345, 14342},
    };
    for (const Case& c : CASES) {
        fresh_machine();
        port_read_hook = note_read;
        port_write_hook = note_write;
        seen_at = -1;
        tstates = 14335;
        readport(c.port);
        EXPECT_EQ(seen_at, c.read_at) << std::hex << c.port;
        EXPECT_EQ(tstates, c.end) << std::hex << c.port;
        seen_at = -1;
        tstates = 14335;
        writeport(c.port, 0x10);
        EXPECT_EQ(seen_at, c.write_at) << std::hex << c.port;
        EXPECT_EQ(tstates, c.end) << std::hex << c.port;
        port_read_hook = nullptr;
        port_write_hook = nullptr;
    }
    fresh_machine();
}

TEST(Z80PortCycle, FloatingBusByteFormedAfterThreeTStates) {
    // An odd port read starting at 14335 is formed at 14338, when the ULA fetches the
    // bitmap byte at 0x4000.
    fresh_machine();
    RAM[5 * 0x4000] = 0x3C;
    tstates = 14335;
    EXPECT_EQ(readport(0xFFFF), 0x3C);
    tstates = 14335 + 224 * 200; // below the picture: idle bus
    EXPECT_EQ(readport(0xFFFF), 0xFF);
}

TEST(Z80PortCycle, SpeakerEventStampedAfterTheFirstTState) {
    // OUT to 0x40FE starting where the table holds 6: 6 + 1, the event, then C 2 and 1.
    fresh_machine();
    tstates = 14335;
    writeport(0x40FE, 0x10);
    ASSERT_EQ(OUTSP, 1);
    EXPECT_EQ(OUTSTK[0], 14335 + 7);
    EXPECT_EQ(tstates, 14345);
    EXPECT_EQ(z80.MEMPTR, static_cast<uint16_t>(z80.BC + 1));
}

} // namespace

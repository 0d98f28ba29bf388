// Port I/O: the floating bus, the ULA read, speaker events, the joystick port and 128K
// paging.
#include <gtest/gtest.h>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
// Distinct values at the bytes the beam fetches first and last.
void mark_screen() {
    Spectrum& m = test_machine();
    uint8_t* bank = m.RAM + (m.screen_bank() - m.RAM);
    bank[0x0000] = 0x11;
    bank[0x1800] = 0x22;
    bank[0x0001] = 0x33;
    bank[0x1801] = 0x44;
    bank[0x0002] = 0x55;
    bank[0x181F] = 0x77;
    bank[0x17FE] = 0x88; // line 191 (0x57E0), group 15
    bank[0x1AFF] = 0x99;
}

struct BusCase {
    int32_t t;
    uint8_t value;
};

class FloatingBus : public testing::TestWithParam<BusCase> {};

TEST_P(FloatingBus, OddPortReadsWhatTheBeamFetches) {
    Spectrum& m = fresh_machine();
    mark_screen();
    m.tstates = GetParam().t;
    EXPECT_EQ(m.readport_internal(0xFFFF), GetParam().value);
    EXPECT_EQ(m.readport_internal(0x40FF), GetParam().value) << "whatever the high byte";
}

INSTANTIATE_TEST_SUITE_P(
    TStates, FloatingBus,
    testing::Values(BusCase{0, 0xFF}, BusCase{14335, 0xFF}, BusCase{14336, 0xFF},
                    BusCase{14337, 0xFF}, BusCase{14338, 0x11}, BusCase{14339, 0x22},
                    BusCase{14340, 0x33}, BusCase{14341, 0x44}, BusCase{14342, 0xFF},
                    BusCase{14343, 0xFF}, BusCase{14344, 0xFF}, BusCase{14345, 0xFF},
                    BusCase{14346, 0x55}, BusCase{14461, 0x77}, BusCase{14462, 0xFF},
                    BusCase{14463, 0xFF}, BusCase{14559, 0xFF},
                    // Line 191 starts at 57120; its last group at 57240.
                    BusCase{57240, 0xFF}, BusCase{57242, 0x88}, BusCase{57245, 0x99},
                    BusCase{57246, 0xFF}, BusCase{57344, 0xFF}, BusCase{60000, 0xFF}));

// An I/O cycle that begins at 14335 (contention 6, 5, 4, 3, 2, 1, 0, 0 from there on):
// when the value is formed and when the cycle ends.
struct CycleCase {
    uint16_t port;
    uint8_t value;
    int32_t ends;
};

class PortCycleAt14335 : public testing::TestWithParam<CycleCase> {};

TEST_P(PortCycleAt14335, ValueAndLength) {
    Spectrum& m = fresh_machine();
    mark_screen();
    m.tstates = 14335;
    EXPECT_EQ(m.readport(GetParam().port), GetParam().value);
    EXPECT_EQ(m.tstates, GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(Ports, PortCycleAt14335,
                         testing::Values(CycleCase{0xFFFF, 0x11, 14339}, // formed at 14338
                                         CycleCase{0xFEFE, 0xBF, 14344},
                                         CycleCase{0x40FE, 0xBF, 14345},
                                         CycleCase{0x40FF, 0xFF, 14351}));

TEST(Ports, UlaReadEchoesMicWhateverKeysAreHeld) {
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    test_host().keys[key::letter('a')] = 1;
    test_host().keys[key::SPACE] = 1;
    s.keyboard.update_key_rows(s.machine); // the session hands the held keys to the machine
    m.writeport(0x00FE, 0x08);
    EXPECT_EQ(m.readport(0xFFFE), 0xFF);
    m.writeport(0x00FE, 0xF7); // everything but MIC
    EXPECT_EQ(m.readport(0xFFFE), 0xBF);
    // A selected half-row clears the bits of its held keys from the same base.
    EXPECT_EQ(m.readport(0xFDFE), 0xBE) << "A is bit 0 of half-row A-G";
}

TEST(Ports, JoystickPortReadsZeroAndCostsAFullCycle) {
    for (uint16_t port : {uint16_t{0x001F}, uint16_t{0xFF1F}}) {
        Spectrum& m = fresh_machine();
        m.tstates = 1000;
        EXPECT_EQ(m.readport(port), 0x00) << port;
        EXPECT_EQ(m.tstates, 1004) << port;
    }
}

TEST(Ports, SpeakerEventsAreChangesOfBit4StampedAfterTheFirstTState) {
    Spectrum& m = fresh_machine();
    m.tstates = 100;
    m.writeport(0x00FE, 0x10);
    m.writeport(0x00FE, 0x17); // same bit 4: no event, but the border changes
    m.writeport(0x00FE, 0x07);
    ASSERT_EQ(m.OUTSTK.size(), 2);
    EXPECT_EQ(m.OUTSTK[0], 101);
    EXPECT_EQ(m.OUTSTK[1], 109);
    EXPECT_EQ(m.port_fe, 0x07);
    m.writeport(0x00FF, 0x10); // odd port: nobody answers
    EXPECT_EQ(m.OUTSTK.size(), 2);
    EXPECT_EQ(m.port_fe, 0x07);
}

// A contended-high ULA port at a T-state holding delay 6: the write happens after 6 + 1.
TEST(Ports, ContendedOutIsStampedAfterItsContention) {
    Spectrum& m = fresh_machine();
    m.tstates = 14335;
    m.writeport(0x40FE, 0x10);
    ASSERT_EQ(m.OUTSTK.size(), 1);
    EXPECT_EQ(m.OUTSTK[0], 14342);
    EXPECT_EQ(m.tstates, 14345);
}

TEST(Ports, SpeakerStackHoldsSevenThousandChangesAFrame) {
    Spectrum& m = fresh_machine();
    for (int n = 0; n < 7001; n++) m.writeport_internal(0x00FE, (n & 1) ? 0x00 : 0x10);
    EXPECT_EQ(m.OUTSTK.size(), 7000);
    // The 7001st change (to 0xFF) was dropped and not taken as the recorded level.
    EXPECT_EQ(m.OUTOLD, 0x00);
    m.OUTSTK.clear(); // the frame end empties the stack
    m.writeport_internal(0x00FE, 0x10);
    EXPECT_EQ(m.OUTSTK.size(), 1) << "recording resumes relative to the last recorded level";
}

TEST(Ports, PagingOnlyOnThe128KMachine) {
    {
        Spectrum& m = fresh_machine();
        m.writeport(0x7FFD, 0x0B);
        EXPECT_EQ(m.SLTPTR[3], m.RAM);
        EXPECT_EQ(m.screen_bank(), m.RAM + 5 * 0x4000);
        EXPECT_EQ(m.port_7ffd, 0);
    }

    Spectrum& m = fresh_machine();
    m.model = 128;
    m.writeport(0x7FFD, 0x0B);
    EXPECT_EQ(m.SLTPTR[3], m.RAM + 3 * 0x4000);
    EXPECT_EQ(m.screen_bank(), m.RAM + 7 * 0x4000);
    EXPECT_EQ(m.port_7ffd, 0x0B);
    EXPECT_EQ(m.port_fe, 0) << "no ULA write";
    EXPECT_EQ(m.OUTSTK.size(), 0);
    m.writeport(0x7FFD, 0x01);
    EXPECT_EQ(m.SLTPTR[3], m.RAM + 1 * 0x4000);
    EXPECT_EQ(m.screen_bank(), m.RAM + 5 * 0x4000);
    // The floating bus reads the displayed bank.
    m.writeport(0x7FFD, 0x08);
    m.RAM[7 * 0x4000] = 0x42;
    m.tstates = 14364; // the 128K's ULA puts the first byte on its bus here
    EXPECT_EQ(m.readport_internal(0xFFFF), 0x42);
}

TEST(Ports, AnyEvenPortIsTheUla) {
    Spectrum& m = fresh_machine();
    m.writeport(0x12FE, 0x05);
    EXPECT_EQ(m.port_fe, 0x05);
    m.writeport(0xFF00, 0x03);
    EXPECT_EQ(m.port_fe, 0x03);
}
} // namespace

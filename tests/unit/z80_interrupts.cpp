// The frame interrupt, EI's one-instruction delay, DI and HALT, as steps of the main loop
// see them.
#include <gtest/gtest.h>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

namespace {

constexpr uint8_t NOP = 0x00, HALT = 0x76, EI = 0xFB, DI = 0xF3;

class Z80Interrupts : public testing::Test {
  protected:
    void SetUp() override {
        Z80& z80 = fresh_machine().z80;
        z80_map_low_ram();
        z80.SP = 0x9000;
        z80.PC = 0x8000;
        z80.IM = 1;
        z80_poke(0x0038, NOP);
    }
    void TearDown() override { fresh_machine(); }

    static void enable() {
        Z80& z80 = test_machine().z80;
        z80.IFF1 = z80.IFF2 = 1;
    }
    static uint16_t pushed() {
        const Z80& z80 = test_machine().z80;
        return static_cast<uint16_t>(z80_peek(z80.SP) | (z80_peek(z80.SP + 1) << 8));
    }
};

TEST_F(Z80Interrupts, AcceptedAtTState31NotAt32) {
    {
        Spectrum& m = test_machine();
        Z80& z80 = m.z80;
        z80_poke(0x8000, {NOP});
        enable();
        m.tstates = 31;
        m.z80_step();
        EXPECT_EQ(z80.PC, 0x0039); // the routine's first instruction ran in the same step
        EXPECT_EQ(z80.SP, 0x8FFE);
        EXPECT_EQ(pushed(), 0x8000);
        EXPECT_EQ(m.tstates, 31 + 13 + 4);
        EXPECT_EQ(m.tstatesd, 13 + 4);
    }

    SetUp();
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {0x18, 0xFE}); // JR $: loops for the rest of the frame
    enable();
    m.tstates = 32;
    m.z80_run(m.tpf, INT32_MAX);
    EXPECT_EQ(z80.PC, 0x8000);
    EXPECT_EQ(z80.SP, 0x9000);
    EXPECT_EQ(z80.IFF1, 1);
}

TEST_F(Z80Interrupts, Im1PushesPcAndJumpsTo38) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.SP = 0x8000;
    z80.PC = 0x1234;
    z80.R = 0x10;
    enable();
    m.tstates = 0;
    m.Z80INT();
    EXPECT_EQ(z80.SP, 0x7FFE);
    EXPECT_EQ(z80_peek(0x7FFF), 0x12);
    EXPECT_EQ(z80_peek(0x7FFE), 0x34);
    EXPECT_EQ(z80.PC, 0x0038);
    EXPECT_EQ(z80.MEMPTR, 0x0038);
    EXPECT_EQ(z80.IFF1, 0);
    EXPECT_EQ(z80.IFF2, 0);
    EXPECT_EQ(z80.R, 0x11);
    EXPECT_EQ(m.tstates, 13);
}

TEST_F(Z80Interrupts, Im0RunsRst38) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.IM = 0;
    z80_poke(0x8000, {NOP});
    enable();
    m.tstates = 0;
    m.z80_step();
    EXPECT_EQ(z80.PC, 0x0039);
    EXPECT_EQ(pushed(), 0x8000);
    EXPECT_EQ(m.tstates, 17);
}

TEST_F(Z80Interrupts, Im2VectorWrapsAtTheTopOfMemory) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.IM = 2;
    z80.I = 0xFF;
    z80_poke(0xFFFF, 0x34);
    z80_poke(0x0000, 0x12);
    enable();
    m.tstates = 0;
    m.Z80INT();
    EXPECT_EQ(z80.PC, 0x1234);
    EXPECT_EQ(z80.MEMPTR, 0x1234);
    EXPECT_EQ(m.tstates, 19);
}

TEST_F(Z80Interrupts, HaltRepeatsUntilAnInterruptThenResumesAfterIt) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {HALT, NOP});
    m.tstates = 100;
    for (int i = 1; i <= 3; i++) {
        m.z80_step();
        EXPECT_EQ(z80.PC, 0x8000);
        EXPECT_NE(z80.halted, 0);
        EXPECT_EQ(z80.R, i);
        EXPECT_EQ(m.tstates, 100 + 4 * i);
    }
    // With interrupts off it never ends, whatever the frame position.
    m.tstates = 0;
    m.z80_step();
    EXPECT_EQ(z80.PC, 0x8000);

    enable();
    m.tstates = 0;
    m.z80_step();
    EXPECT_EQ(z80.halted, 0);
    EXPECT_EQ(pushed(), 0x8001);
    EXPECT_EQ(z80.PC, 0x0039);
}

TEST_F(Z80Interrupts, IndexPrefixedHaltStopsOnTheHaltByte) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {0xDD, HALT});
    m.tstates = 100;
    m.z80_step();
    EXPECT_EQ(z80.PC, 0x8001);
    EXPECT_NE(z80.halted, 0);
    EXPECT_EQ(m.tstates, 108);
    EXPECT_EQ(z80.R, 2);
    m.z80_step(); // the HALT alone is fetched again
    EXPECT_EQ(z80.PC, 0x8001);
    EXPECT_EQ(m.tstates, 112);
    EXPECT_EQ(z80.R, 3);
    enable();
    m.tstates = 0;
    m.z80_step();
    EXPECT_EQ(pushed(), 0x8002);
}

TEST_F(Z80Interrupts, EiTakesEffectAfterTheNextInstruction) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {EI, NOP, NOP});
    m.tstates = 0;
    m.z80_step(); // EI
    EXPECT_EQ(z80.IFF1, 0);
    EXPECT_EQ(z80.pending_EI, 1);
    EXPECT_EQ(z80.ei_tstates, 4);
    m.z80_step(); // NOP: not interrupted, interrupts on at its end
    EXPECT_EQ(z80.PC, 0x8002);
    EXPECT_EQ(m.tstates, 8);
    EXPECT_EQ(z80.IFF1, 1);
    EXPECT_EQ(z80.IFF2, 1);
    EXPECT_EQ(z80.pending_EI, 0);
    m.z80_step(); // accepted at T-state 8
    EXPECT_EQ(pushed(), 0x8002);
    EXPECT_EQ(z80.PC, 0x0039);
}

TEST_F(Z80Interrupts, DiCancelsAWaitingEi) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {EI, DI, NOP, NOP});
    m.tstates = 0;
    for (int i = 0; i < 4; i++) m.z80_step();
    EXPECT_EQ(z80.IFF1, 0);
    EXPECT_EQ(z80.pending_EI, 0);
    EXPECT_EQ(z80.PC, 0x8004);
}

TEST_F(Z80Interrupts, RunOfEiPostponesTheEnable) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {EI, EI, EI, NOP});
    m.tstates = 0;
    for (int i = 0; i < 3; i++) {
        m.z80_step();
        EXPECT_EQ(z80.IFF1, 0) << "after EI " << i + 1;
    }
    m.z80_step();
    EXPECT_EQ(z80.IFF1, 1);
    EXPECT_EQ(z80.PC, 0x8004);
}

TEST_F(Z80Interrupts, ResetRightAfterEiLeavesInterruptsOff) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {EI});
    z80_poke(0x0000, {NOP});
    m.tstates = 0;
    m.z80_step();
    reset_Z80(z80);
    m.z80_step();
    EXPECT_EQ(z80.IFF1, 0);
    EXPECT_EQ(z80.PC, 0x0001);
}

TEST_F(Z80Interrupts, EiRetiRoutineIsInterruptedAgainInTheSameFrame) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x0038, {EI, 0xED, 0x4D}); // EI; RETI
    z80_poke(0x8000, {NOP});
    enable();
    m.tstates = 0;
    m.z80_step(); // acceptance (13) and the EI (4)
    EXPECT_EQ(m.tstates, 17);
    EXPECT_EQ(z80.PC, 0x0039);
    m.z80_step(); // RETI (14), then the EI completes
    EXPECT_EQ(m.tstates, 31);
    EXPECT_EQ(z80.PC, 0x8000);
    EXPECT_EQ(z80.IFF1, 1);
    m.z80_step(); // still T-state 31: the line is still active
    EXPECT_EQ(m.tstates, 48);
    EXPECT_EQ(z80.PC, 0x0039);
    EXPECT_EQ(pushed(), 0x8000);
    EXPECT_EQ(z80.SP, 0x8FFE);
}

// --- The EI shadow: no interrupt is accepted at the end of an EI, in either CPU model ------
//
// With interrupts already enabled, an EI can end inside the line's 32 T-states only when it
// began in the frame before: the frame end takes tpf off tstates between the two.

// Runs `body` once for each CPU model, on a fresh set-up with interrupts enabled.
template <class Body> void for_each_model(Body body) {
    for (CpuModel model : {CpuModel::standard, CpuModel::zilog}) {
        SCOPED_TRACE(model == CpuModel::zilog ? "zilog" : "standard");
        Spectrum& m = fresh_machine();
        z80_map_low_ram();
        m.cpu_model = model;
        m.z80.SP = 0x9000;
        m.z80.PC = 0x8000;
        m.z80.IM = 1;
        m.z80.IFF1 = m.z80.IFF2 = 1;
        z80_poke(0x0038, NOP);
        body(m);
    }
}

// EI; NOP; NOP with the EI ending at T-state `ei_end` of the new frame. The NOP after the EI
// is never interrupted; the step after it takes the interrupt if it starts by T-state 31.
TEST_F(Z80Interrupts, EiShadowAtTheEdgesOfTheInterruptWindow) {
    struct Case {
        int32_t ei_end;
        bool accepted;
    };
    for (const Case c : {Case{0, true}, Case{27, true}, Case{28, false}, Case{31, false}})
        for_each_model([&](Spectrum& m) {
            z80_poke(0x8000, {EI, NOP, NOP});
            m.tstates = m.tpf + c.ei_end - 4;
            m.z80_step(); // EI, begun in the old frame
            m.end_logical_frame();
            ASSERT_EQ(m.tstates, c.ei_end);
            m.z80_step(); // NOP
            EXPECT_EQ(m.z80.PC, 0x8002) << c.ei_end;
            EXPECT_EQ(m.z80.SP, 0x9000) << c.ei_end;
            m.z80_step();
            EXPECT_EQ(m.z80.PC, c.accepted ? 0x0039 : 0x8003) << c.ei_end;
            EXPECT_EQ(m.z80.SP, c.accepted ? 0x8FFE : 0x9000) << c.ei_end;
        });
}

// The machine's own runs: the frame's last run ends with an EI that crosses the frame end,
// and the next run starts in its shadow.
TEST_F(Z80Interrupts, EiThatEndsTheFrameAndItsRunHoldsOffTheFrameInterrupt) {
    for_each_model([](Spectrum& m) {
        z80_poke(0x8000, {EI, NOP, NOP});
        m.tstates = m.tpf - 2;
        m.z80_run(m.tpf, INT32_MAX);
        EXPECT_EQ(m.tstates, m.tpf + 2);
        m.end_logical_frame();
        m.z80_run(3, INT32_MAX); // one step: the NOP
        EXPECT_EQ(m.z80.PC, 0x8002);
        EXPECT_EQ(m.tstates, 6);
        m.z80_step();
        EXPECT_EQ(m.z80.PC, 0x0039);
        EXPECT_EQ(pushed(), 0x8002);
    });
}

// A run of EIs through the frame end and the whole window: no interrupt is taken.
TEST_F(Z80Interrupts, RunOfEiTakesNoInterrupt) {
    for_each_model([](Spectrum& m) {
        for (uint16_t a = 0x8000; a < 0x8020; a++) z80_poke(a, EI);
        m.tstates = m.tpf - 4;
        m.z80_run(m.tpf, INT32_MAX);
        m.end_logical_frame();
        m.z80_run(64, INT32_MAX); // 16 more EIs, T-states 0 to 64
        EXPECT_EQ(m.z80.PC, 0x8011);
        EXPECT_EQ(m.z80.SP, 0x9000);
        EXPECT_EQ(m.z80.IFF1, 1);
    });
}

// With interrupts off, a run of EIs through a frame end enables them only at the end of the
// instruction after the last one.
TEST_F(Z80Interrupts, RunOfEiAcrossTheFrameEndEnablesAfterTheLast) {
    for_each_model([](Spectrum& m) {
        m.z80.IFF1 = m.z80.IFF2 = 0;
        z80_poke(0x8000, {EI, EI, EI, NOP, NOP});
        m.tstates = m.tpf - 6;
        m.z80_run(m.tpf, INT32_MAX); // two EIs, to tpf + 2
        m.end_logical_frame();
        m.z80_step(); // the third EI, T-states 2 to 6
        EXPECT_EQ(m.z80.IFF1, 0);
        m.z80_step(); // the NOP, to 10: interrupts on at its end
        EXPECT_EQ(m.z80.IFF1, 1);
        EXPECT_EQ(m.z80.PC, 0x8004);
        m.z80_step(); // taken at 10
        EXPECT_EQ(m.z80.PC, 0x0039);
        EXPECT_EQ(pushed(), 0x8004);
    });
}

} // namespace

// Behaviour that spans more than one instruction or that the per-opcode vectors do not
// reach: R across instructions, prefix chains, the ED codes that are no instruction, block
// instructions run to their end, the flag tables and the reset.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

namespace {

class Z80Instructions : public testing::Test {
  protected:
    void SetUp() override {
        Spectrum& m = fresh_machine();
        m.z80.PC = 0x8000;
        m.tstates = 60000; // past the contended part of the frame
    }
    void TearDown() override { fresh_machine(); }

    static uint8_t r_register() {
        const Z80& z80 = test_machine().z80;
        return static_cast<uint8_t>((z80.R & 0x7F) | (z80.R7 & 0x80));
    }
    static uint8_t a() { return test_machine().z80.AF >> 8; }

    // A record with every register holding something distinct.
    static Z80 busy_record() {
        Z80 r{};
        r.AF = 0x1234, r.BC = 0x5678, r.DE = 0x9ABC, r.HL = 0xDEF0;
        r.AF_ = 0x1111, r.BC_ = 0x2222, r.DE_ = 0x3333, r.HL_ = 0x4444;
        r.IX = 0x5555, r.IY = 0x6666, r.SP = 0x7777, r.PC = 0x8000, r.MEMPTR = 0x9999;
        r.I = 0x3F, r.R = 0x10, r.R7 = 0x80, r.IM = 1, r.IFF1 = 1, r.IFF2 = 1;
        r.ei_tstates = 77;
        return r;
    }
};

TEST_F(Z80Instructions, LdRAKeepsBit7WhileTheLowSevenBitsWrap) {
    {
        Spectrum& m = test_machine();
        m.z80.AF = 0x7F00;
        z80_poke(0x8000, {0xED, 0x4F, 0xED, 0x5F}); // LD R,A; LD A,R
        m.z80_step();
        m.z80_step();
        EXPECT_EQ(a(), 0x01);
    }

    SetUp();
    Spectrum& m = test_machine();
    m.z80.AF = 0xFE00;
    z80_poke(0x8000, {0xED, 0x4F, 0x00, 0x00, 0xED, 0x5F}); // LD R,A; NOP; NOP; LD A,R
    for (int i = 0; i < 4; i++) m.z80_step();
    EXPECT_EQ(a(), 0x82);
    EXPECT_EQ(r_register(), 0x82);
}

TEST_F(Z80Instructions, PrefixChainsRunAsOneStepAndTheLastPrefixDecides) {
    const struct {
        std::array<uint8_t, 6> code;
        int length, tstates, r;
        bool loads_ix;
    } CASES[] = {
        {{0xDD, 0xDD, 0xDD, 0x21, 0x34, 0x12}, 6, 22, 4, true},
        {{0xFD, 0xDD, 0x21, 0x34, 0x12}, 5, 18, 3, true},
        {{0xDD, 0xFD, 0x21, 0x34, 0x12}, 5, 18, 3, false},
        {{0xDD, 0x21, 0x34, 0x12}, 4, 14, 2, true},
    };
    for (const auto& c : CASES) {
        SetUp();
        Spectrum& m = test_machine();
        Z80& z80 = m.z80;
        z80.IX = z80.IY = 0xAAAA;
        for (int i = 0; i < c.length; i++) z80_poke(static_cast<uint16_t>(0x8000 + i), c.code[i]);
        m.z80_step();
        EXPECT_EQ(z80.PC, 0x8000 + c.length) << c.length;
        EXPECT_EQ(m.tstatesd, c.tstates) << c.length;
        EXPECT_EQ(z80.R, c.r) << c.length;
        EXPECT_EQ(z80.IX, c.loads_ix ? 0x1234 : 0xAAAA) << c.length;
        EXPECT_EQ(z80.IY, c.loads_ix ? 0xAAAA : 0x1234) << c.length;
    }
}

TEST_F(Z80Instructions, IndexPrefixBeforeEdRunsThePlainEdInstruction) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.HL = 0x1000;
    z80.BC = 0x0234;
    z80.IX = 0x5000;
    z80_poke(0x8000, {0xDD, 0xED, 0x4A}); // ADC HL,BC, not IX
    m.z80_step();
    EXPECT_EQ(z80.HL, 0x1234);
    EXPECT_EQ(z80.IX, 0x5000);
    EXPECT_EQ(m.tstatesd, 4 + 15);
    EXPECT_EQ(z80.R, 3);
}

// Every ED code outside 0x40-0x7F (but 0x77 and 0x7F) and the sixteen block instructions
// is no instruction: two fetches and nothing else.
TEST_F(Z80Instructions, EdCodesThatAreNoInstruction) {
    auto is_instruction = [](int op) {
        if (op >= 0x40 && op <= 0x7F) return op != 0x77 && op != 0x7F;
        return op >= 0xA0 && op <= 0xBB && (op & 0x04) == 0;
    };
    int none = 0;
    for (int op = 0; op < 256; op++) {
        if (is_instruction(op)) continue;
        none++;
        SetUp();
        Spectrum& m = test_machine();
        Z80& z80 = m.z80;
        z80 = busy_record();
        const Z80 before = z80;
        z80_poke(0x8000, {0xED, static_cast<uint8_t>(op)});
        z80_poke(0x8002, {0x00});
        m.z80_step();
        Z80 expected = before;
        expected.PC = 0x8002;
        expected.R = before.R + 2;
        // The register record (the decode state after it, the last opcode, is not a register).
        EXPECT_EQ(std::memcmp(&z80, &expected, Z80_IMAGE_SIZE), 0) << "ED " << std::hex << op;
        EXPECT_EQ(z80.pending_EI, before.pending_EI) << "ED " << std::hex << op;
        EXPECT_EQ(m.tstatesd, 8) << "ED " << std::hex << op;
    }
    EXPECT_EQ(none, 256 - 62 - 16);
}

TEST_F(Z80Instructions, LdirRunsOneIterationPerStep) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.HL = 0x9000;
    z80.DE = 0xA000;
    z80.BC = 3;
    z80_poke(0x9000, {1, 2, 3});
    z80_poke(0x8000, {0xED, 0xB0});
    const int expected[] = {21, 21, 16};
    for (int want : expected) {
        m.z80_step();
        EXPECT_EQ(m.tstatesd, want);
    }
    EXPECT_EQ(z80.BC, 0);
    EXPECT_EQ(z80.PC, 0x8002);
    EXPECT_EQ(z80.AF & FLAG_P, 0);
    EXPECT_EQ(z80.MEMPTR, 0x8001);
    EXPECT_EQ(z80.HL, 0x9003);
    EXPECT_EQ(z80.DE, 0xA003);
    EXPECT_EQ(z80_peek(0xA000), 1);
    EXPECT_EQ(z80_peek(0xA002), 3);
}

TEST_F(Z80Instructions, LdirWithBcZeroMovesTheWhole64K) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    // Each byte onto itself, so the program survives the copy.
    z80.HL = z80.DE = 0x8000;
    z80.BC = 0;
    z80_poke(0x8000, {0xED, 0xB0});
    int steps = 0;
    do {
        m.z80_step();
        steps++;
    } while (z80.PC == 0x8000 && steps < 70000);
    EXPECT_EQ(steps, 65536);
    EXPECT_EQ(z80.BC, 0);
    EXPECT_EQ(z80.HL, 0x8000);
    EXPECT_EQ(m.tstates, 60000 + 65535 * 21 + 16);
}

TEST_F(Z80Instructions, CpirStopsAtAMatchInItsFirstIteration) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.AF = 0x4200;
    z80.HL = 0x9000;
    z80.BC = 10;
    z80.MEMPTR = 0x1000;
    z80_poke(0x9000, 0x42);
    z80_poke(0x8000, {0xED, 0xB1});
    m.z80_step();
    EXPECT_EQ(m.tstatesd, 16);
    EXPECT_NE(z80.AF & FLAG_Z, 0);
    EXPECT_EQ(z80.MEMPTR, 0x1001);
    EXPECT_EQ(z80.PC, 0x8002);
    EXPECT_EQ(z80.BC, 9);
    EXPECT_EQ(z80.HL, 0x9001);
}

TEST_F(Z80Instructions, FlagTables) {
    EXPECT_EQ(sz53_table[0x00], 0x40);
    EXPECT_EQ(sz53_table[0x80], 0x80);
    EXPECT_EQ(sz53_table[0x28], 0x28);
    EXPECT_EQ(sz53_table[0xFF], 0xA8);
    EXPECT_EQ(sz53p_table[0x00], 0x44);
    EXPECT_EQ(sz53p_table[0x01], 0x00);
    EXPECT_EQ(sz53p_table[0x03], 0x04);
    EXPECT_EQ(sz53p_table[0xFF], 0xAC);
    for (int i = 0; i < 256; i++) {
        const bool even = __builtin_popcount(i) % 2 == 0;
        EXPECT_EQ(parity_table[i], even ? 0x04 : 0) << i;
        EXPECT_EQ(sz53p_table[i], sz53_table[i] | parity_table[i]) << i;
    }
}

TEST_F(Z80Instructions, ResetKeepsIAndR) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80 = busy_record();
    z80.R = 0x55;
    z80.IM = 2;
    z80.halted = 1;
    z80.pending_EI = 1;
    reset_Z80(z80);
    EXPECT_EQ(z80.I, 0x3F);
    EXPECT_EQ(z80.R, 0x55);
    EXPECT_EQ(z80.R7, 0x80);
    EXPECT_EQ(z80.ei_tstates, 77);
    EXPECT_EQ(z80.PC, 0);
    EXPECT_EQ(z80.AF, 0);
    EXPECT_EQ(z80.HL_, 0);
    EXPECT_EQ(z80.IY, 0);
    EXPECT_EQ(z80.MEMPTR, 0);
    EXPECT_EQ(z80.IM, 0);
    EXPECT_EQ(z80.IFF1, 0);
    EXPECT_EQ(z80.halted, 0);
    EXPECT_EQ(z80.pending_EI, 0);
}

} // namespace

// The Zilog NMOS model's own results, instruction by instruction, beside the standard
// model's: SCF and CCF through the Q latch, the flags of a repeating block instruction, and
// LD A,I / LD A,R cut short by an interrupt.
#include <gtest/gtest.h>

#include <initializer_list>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/port_hooks.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

namespace {

constexpr uint8_t NOP = 0x00, SCF = 0x37, CCF = 0x3F;

class Z80CpuModel : public testing::TestWithParam<CpuModel> {
  protected:
    void SetUp() override {
        Spectrum& m = fresh_machine();
        z80_map_low_ram();
        m.cpu_model = GetParam();
        m.z80.SP = 0x9000;
        m.z80.PC = 0x8000;
        m.tstates = 60000; // past the contended part of the frame, far from the interrupt
    }
    void TearDown() override { fresh_machine(); }

    static bool zilog() { return GetParam() == CpuModel::zilog; }
    static uint8_t f() { return test_machine().z80.AF & 0xFF; }
    static void steps(int n) {
        for (int i = 0; i < n; i++) test_machine().z80_step();
    }
};

// Each sequence runs from A and F as given; the last instruction is SCF or CCF.
TEST_P(Z80CpuModel, ScfAndCcfTakeBits3And5FromAOrTheFlagsNotJustWritten) {
    struct Case {
        const char* what;
        uint16_t af;
        std::initializer_list<uint8_t> code;
        uint8_t standard, zilog;
    };
    const Case cases[] = {
        // Nothing wrote the flags before: F's own bits 3 and 5 show through.
        {"NOP; SCF", 0x0028, {NOP, SCF}, 0x01, 0x29},
        {"NOP; CCF", 0x0029, {NOP, CCF}, 0x10, 0x38},
        // The instruction before wrote them: A alone.
        {"OR A; SCF (A = 0x20)", 0x2000, {0xB7, SCF}, 0x21, 0x21},
        {"SCF; CCF (A = 0)", 0x0028, {SCF, CCF}, 0x10, 0x10},
        // A and F combine.
        {"NOP; SCF (A = 0x08, F = 0x20)", 0x0820, {NOP, SCF}, 0x09, 0x29},
        // An instruction that writes no flags between: the flags count as not written.
        {"SCF; LD B,0; SCF (A = 0)", 0x0028, {SCF, 0x06, 0x00, SCF}, 0x01, 0x29},
        // S, Z and P/V kept; H cleared by SCF.
        {"NOP; SCF, S Z P H set", 0x00D4, {NOP, SCF}, 0xC5, 0xC5},
    };
    for (const Case& c : cases) {
        SetUp();
        Spectrum& m = test_machine();
        m.z80.AF = c.af;
        z80_poke(0x8000, c.code);
        steps(c.code.size() == 4 ? 3 : 2);
        EXPECT_EQ(f(), zilog() ? c.zilog : c.standard) << c.what;
    }
}

// LDIR at 0xA800 (bits 13 and 11 set), one byte of two moved: it repeats.
TEST_P(Z80CpuModel, RepeatingLdirTakesBits5And3FromItsAddress) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80.PC = 0xA800;
    z80_poke(0xA800, {0xED, 0xB0});
    z80_poke(0x9100, {0x01, 0x02});
    z80.HL = 0x9100, z80.DE = 0x9200, z80.BC = 2;
    z80.AF = 0x00C1; // A + byte = 1: bits 1 and 3 of it clear, so standard bits 5, 3 = 0
    m.z80_step();
    EXPECT_EQ(z80.PC, 0xA800);
    EXPECT_EQ(z80.MEMPTR, 0xA801);
    EXPECT_EQ(f(), zilog() ? 0xED : 0xC5); // S Z C kept, P/V (BC = 1), bits 5 3 by model
    m.z80_step(); // the last byte: no repeat, the flags of the pass in both models
    EXPECT_EQ(z80.PC, 0xA802);
    EXPECT_EQ(f(), 0xC1 | 0x20); // A + 2 = 2: bit 1 gives bit 5
}

// INIR at 0x8000 reading 0x85 from the port, B = 3 -> 2, C = 0xFE -> k = 0x85 + 0xFF = 0x184.
// The single pass: N (bit 7 of the byte), H and C (k > 255), S Z 5 3 of B = 2, P/V the
// parity of (k & 7) ^ B = 6: even, set. Zilog, repeating: B - 1 = 1 through the ALU: P/V
// flips (the parity of 1 & 7 is odd), H = 0 (the low nibble of B is not 0); bits 5 and 3
// from 0x80.
TEST_P(Z80CpuModel, RepeatingInirChangesHAndPvOnTheZilogPart) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    z80_poke(0x8000, {0xED, 0xB2});
    z80.HL = 0x9100, z80.BC = 0x03FE;
    PortHooks{m, [](uint16_t) -> uint8_t { return 0x85; }}.z80_step();
    EXPECT_EQ(z80.PC, 0x8000);
    EXPECT_EQ(z80.MEMPTR, zilog() ? 0x8001 : 0x03FF);
    EXPECT_EQ(f(), zilog() ? 0x03 : 0x17);
}

// LD A,I with IFF2 set gives P/V = 1; on the Zilog part an interrupt accepted right after it
// clears P/V again. Inside a frame's window the interrupt would come before the LD A,I, so
// the LD A,I crosses the frame end (as it does on the real machine when it loses P/V).
TEST_P(Z80CpuModel, LdAIPvClearedByAnInterruptAcceptedRightAfter) {
    struct Case {
        const char* what;
        int32_t start;     // T-states before the frame end
        uint8_t iff1;      // IFF2 is 1 in every case
        int steps_to_tpf;  // steps the frame's last run takes
        uint16_t pc_after; // after the first step of the new frame
        bool cleared;      // on the Zilog part
    };
    const Case cases[] = {
        {"LD A,I ends the frame, interrupt", 4, 1, 1, 0x0039, true},
        {"LD A,I; NOP end the frame, interrupt", 13, 1, 2, 0x0039, false},
        {"LD A,I ends the frame, IFF1 0", 4, 0, 1, 0x8003, false},
    };
    for (const Case& c : cases) {
        SetUp();
        Spectrum& m = test_machine();
        Z80& z80 = m.z80;
        z80.IM = 1, z80.IFF1 = c.iff1, z80.IFF2 = 1, z80.I = 0x80;
        z80_poke(0x8000, {0xED, 0x57, NOP, NOP});
        z80_poke(0x0038, NOP);
        m.tstates = m.tpf - c.start;
        m.z80_run(m.tpf, INT32_MAX);
        EXPECT_EQ(m.tstates, m.tpf - c.start + 9 + 4 * (c.steps_to_tpf - 1)) << c.what;
        EXPECT_EQ(f() & 0x04, 0x04) << c.what;
        m.end_logical_frame();
        m.z80_step();
        EXPECT_EQ(z80.PC, c.pc_after) << c.what;
        EXPECT_EQ(f() & 0x04, c.cleared && zilog() ? 0 : 0x04) << c.what;
    }
}

std::string model_name(const testing::TestParamInfo<CpuModel>& info) {
    return info.param == CpuModel::zilog ? "zilog" : "standard";
}

INSTANTIATE_TEST_SUITE_P(Models, Z80CpuModel, testing::Values(CpuModel::standard, CpuModel::zilog),
                         model_name);

} // namespace

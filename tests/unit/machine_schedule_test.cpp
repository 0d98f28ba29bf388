// The main loop's frame schedule: logical frames of tpf and physical frames of tpfh T-states,
// the 5:6 cycle of blend weights, the overshoot carried across frame ends, the frame
// interrupt's window.
#include <gtest/gtest.h>

#include <vector>

#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
// The border colour (0-7) of a picture surface, or -1 when it shows none of them.
int border_colour(int surface) {
    const uint8_t* p = surface_pixel(test_session().ULA_surface[surface], ULA_SURFACE_W, 100, 120);
    for (int k = 0; k < 8; k++)
        if (p[0] == BLU[k] && p[1] == GRN[k] && p[2] == RED[k]) return k;
    return -1;
}

// What the host was shown at a physical frame end, seen from the keyboard read that follows
// the composition.
struct FrameEnd {
    int64_t t; // T-states since the reset
    int32_t tstatesh, ifbclk;
    uint64_t logical; // logical frames ended so far
    int previous, current;
    float previous_weight, current_weight;
    int previous_border, current_border;
    bool audio_paused;
};

FrameEnd observe() {
    const Session& session = test_session();
    const Spectrum& m = session.machine;
    const auto& s = test_host().stats;
    return {static_cast<int64_t>(session.logical_frames) * m.tpf + m.tstates,
            m.tstatesh,
            m.IFBCLK,
            session.logical_frames,
            s.previous,
            s.current,
            s.previous_weight,
            s.current_weight,
            border_colour(s.previous),
            border_colour(s.current),
            s.audio_paused};
}

// The machine after a reset with `code` at 0x8000 and interrupts off.
Session& machine_running(std::initializer_list<uint8_t> code) {
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    s.reset_logical_system();
    uint16_t address = 0x8000;
    for (uint8_t byte : code) m.RAM[2 * 0x4000 + (address++ - 0x8000)] = byte;
    m.z80.PC = 0x8000;
    m.z80.SP = 0xFFF0;
    return s;
}
} // namespace

// With HALT stepping at 4 T-states every frame end falls exactly on its T-state. Logical
// frame n paints its border in colour n, so each surface shows which frame it holds.
TEST(MachineSchedule, FrameEndsFollowTheFiveToSixCycleAfterAReset) {
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    m.poke_rom(0, 0, 0x76); // HALT, interrupts off
    s.reset_logical_system();
    std::vector<FrameEnd> ends;
    test_host().on_pump = [&] { ends.push_back(observe()); };
    for (int n = 1; n <= 7; n++) {
        m.port_fe = static_cast<uint8_t>(n);
        ASSERT_TRUE(s.run_machine(n));
        EXPECT_EQ(m.tstates, 0);
        // Six physical frames advance the surface by 6 = 0 mod 3 while five logical frames
        // end, so each cycle of five logical frames uses the surfaces as the first did.
        EXPECT_EQ(border_colour((n - 1) % 5 % 3), n) << "logical frame " << n;
    }
    test_host().on_pump = nullptr;

    // Frame numbers 0 mark a stale surface, shown with weight 0.
    const struct {
        int64_t t;
        int ifbclk;
        float previous_weight;
        int previous_frame;
        float current_weight;
        int current_frame;
    } table[] = {
        {58240, 0, 1.0f, 0, 0.0f, 0},  {116480, 1, 0.0f, 0, 1.0f, 1}, {174720, 2, 0.2f, 1, 0.8f, 2},
        {232960, 3, 0.4f, 2, 0.6f, 3}, {291200, 4, 0.6f, 3, 0.4f, 4}, {349440, 5, 0.8f, 4, 0.2f, 5},
        {407680, 0, 1.0f, 5, 0.0f, 0}, {465920, 1, 0.0f, 0, 1.0f, 6},
    };
    ASSERT_EQ(ends.size(), std::size(table));
    for (size_t i = 0; i < ends.size(); i++) {
        const FrameEnd& e = ends[i];
        SCOPED_TRACE("physical frame end " + std::to_string(i + 1));
        EXPECT_EQ(e.t, table[i].t);
        EXPECT_EQ(e.tstatesh, TPFH);
        EXPECT_EQ(e.ifbclk, table[i].ifbclk);
        EXPECT_EQ(e.previous, (e.current + 2) % 3);
        EXPECT_FLOAT_EQ(e.previous_weight, table[i].previous_weight);
        EXPECT_FLOAT_EQ(e.current_weight, table[i].current_weight);
        if (table[i].previous_frame) {
            EXPECT_EQ(e.previous_border, table[i].previous_frame);
        }
        if (table[i].current_frame) {
            EXPECT_EQ(e.current_border, table[i].current_frame);
        }
        // The audio device starts once three slots are filled (AUDIO_LEAD): at the fourth
        // physical frame end, the first after the third logical frame.
        EXPECT_EQ(e.audio_paused, i < 3);
    }
    // Before the first logical frame the surfaces shown are 1 and 2, as they were.
    EXPECT_EQ(ends[0].previous, 1);
    EXPECT_EQ(ends[0].current, 2);
    // At 349440 both frames end on the same instruction, the logical one first.
    EXPECT_EQ(ends[5].logical, 5u);
    EXPECT_EQ(test_host().stats.audio_resumes, 1u);
}

TEST(MachineSchedule, AnInstructionThatCrossesTheFrameEndCarriesItsOvershoot) {
    Session& s = machine_running({0xC5}); // PUSH BC: 11 T-states, uncontended
    Spectrum& m = s.machine;
    m.tstates = 69880;
    ASSERT_TRUE(s.run_machine(1));
    EXPECT_EQ(m.tstates, 3);
    EXPECT_EQ(m.tstatesh, 11);
    EXPECT_EQ(m.z80.PC, 0x8001);
}

// A 19 T-state loop (LD A,n; JR) lands on neither frame grid; over a second of emulated
// time no T-state is lost or gained on either.
TEST(MachineSchedule, FrameGridsKeepEveryTState) {
    Session& s = machine_running({0x3E, 0x00, 0x18, 0xFC});
    Spectrum& m = s.machine;
    ASSERT_TRUE(s.run_machine(50));
    const int64_t by_logical = 50LL * TPF_48 + m.tstates;
    const int64_t by_physical = static_cast<int64_t>(s.physical_frames) * TPFH + m.tstatesh;
    EXPECT_EQ(by_logical, by_physical);
    // Instructions end at 19k and 19k + 7; the first after 3494400 is 19 * 183916.
    EXPECT_EQ(m.tstates, 4);
    EXPECT_EQ(s.physical_frames, 59u) << "the 60th ends with the next pass";
}

// The ULA holds the interrupt line during T-states 0 to 31 of the frame.
TEST(MachineSchedule, InterruptIsTakenAtABoundaryUpTo31Only) {
    for (int32_t start : {31, 32}) {
        Session& s = machine_running({}); // NOPs (bank 0 at 0xC000 holds the stack)
        Spectrum& m = s.machine;
        m.poke_rom(0, 0x38, 0x76); // the handler halts with interrupts off
        m.z80.IFF1 = m.z80.IFF2 = 1;
        m.z80.IM = 1;
        m.tstates = start;
        ASSERT_TRUE(s.run_machine(1));
        if (start == 31) {
            EXPECT_EQ(m.z80.PC, 0x0038);
            EXPECT_TRUE(m.z80.halted);
            EXPECT_EQ(m.RAM[0x3FEE] | m.RAM[0x3FEF] << 8, 0x8000) << "the return address";
        } else {
            EXPECT_GT(m.z80.PC, 0x8000);
            EXPECT_EQ(m.z80.IFF1, 1);
        }
    }
}

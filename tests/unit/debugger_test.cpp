// Breakpoints, watchpoints and stepping over a program pasmo assembles at test time, and the
// symbol file it writes read back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

#include "frontend/debugger.h"
#include "frontend/symbols.h"
#include "tests/support/support.h"

namespace {

const char* const PROGRAM = R"(
        org $8000
start:  di
        ld sp, $9000
        ld a, $12
site:   call routine
after:  ld ($9100), a
        out ($fe), a
        ei
        halt
spin:   jr spin
routine: inc a
        ret
)";

class DebuggerTest : public testing::Test {
  protected:
    Symbols symbols;
    Debugger d;
    Spectrum* m = nullptr;

    void SetUp() override {
        if (std::system("command -v pasmo >/dev/null") != 0) GTEST_SKIP() << "no pasmo";
        if (!fresh_machine_with_rom()) GTEST_SKIP() << "no ROM";
        const auto dir = std::filesystem::temp_directory_path() /
                         ("marrowgleam-debugger-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "p.asm") << PROGRAM;
        const std::string bin = (dir / "p.bin").string(), sym = (dir / "p.sym").string();
        ASSERT_EQ(
            std::system(("pasmo " + (dir / "p.asm").string() + " " + bin + " " + sym).c_str()), 0);
        std::ifstream in(bin, std::ios::binary);
        const std::vector<uint8_t> code((std::istreambuf_iterator<char>(in)), {});
        std::string error;
        ASSERT_TRUE(symbols.load(sym, error)) << error;
        std::filesystem::remove_all(dir);
        m = &test_machine();
        for (size_t i = 0; i < code.size(); i++) m->RAM[2 * 0x4000 + i] = code[i];
        m->z80.PC = 0x8000;
        m->z80.IY = 0x5C3A;
        m->z80.IM = 1;
        m->tstates = 1000; // past the interrupt
    }
    uint16_t at(const char* name) {
        uint16_t value = 0;
        EXPECT_TRUE(symbols.address(name, value)) << name;
        return value;
    }
};

} // namespace

TEST_F(DebuggerTest, StopsAtABreakpointAndStepsOverACall) {
    d.points.push_back({.first = at("SITE")});
    ASSERT_TRUE(d.run(*m, m->tpf, INT32_MAX));
    EXPECT_EQ(d.reason, "BREAK AT $8006");
    EXPECT_EQ(m->z80.PC, at("site"));
    // Run again from the stop: the breakpoint there lets the CALL go.
    EXPECT_EQ(Debugger::step_over_target(*m), at("after"));
    d.run_until(at("after"));
    ASSERT_TRUE(d.run(*m, m->tpf, INT32_MAX));
    EXPECT_EQ(d.reason, "STEP");
    EXPECT_EQ(m->z80.PC, at("after"));
    EXPECT_EQ(m->z80.A(), 0x13);
    EXPECT_EQ(m->z80.SP, 0x9000);
    d.step(*m); // one instruction: the store
    EXPECT_EQ(m->z80.PC, at("after") + 3);
    EXPECT_EQ(m->RAM[2 * 0x4000 + 0x1100], 0x13);
    EXPECT_EQ(Debugger::step_over_target(*m), -1); // OUT is no call
}

// Watchpoints stop after the access, told with the instruction's address; a condition on a
// register that does not hold lets the access go.
TEST_F(DebuggerTest, WatchesMemoryAndPorts) {
    using K = Breakpoint::Kind;
    const struct {
        Breakpoint point;
        const char* reason;
    } cases[] = {
        {{.kind = K::write, .first = 0x90FF, .last = 0x9100}, "WRITE $9100=$13 AT PC $8009"},
        {{.kind = K::write, .first = 0x8FFE, .last = 0x8FFF}, "WRITE $8FFF=$80 AT PC $8006"},
        {{.kind = K::read, .first = 0x8FFE, .last = 0x8FFE}, "READ $8FFE=$09 AT PC $8013"},
        {{.kind = K::port_out, .first = 0xFE, .mask = 0xFF}, "OUT $13FE=$13 AT PC $800C"},
        {{.kind = K::write, .first = 0x9100, .last = 0x9100, .when = {"A", 0x13}},
         "WRITE $9100=$13 AT PC $8009"},
        {{.kind = K::write, .first = 0x9100, .last = 0x9100, .when = {"A", 0x99}}, ""},
        {{.kind = K::port_in, .first = 0xFE, .mask = 0xFF}, ""},
    };
    for (const auto& c : cases) {
        SetUp();
        Debugger watch;
        watch.points.push_back(c.point);
        watch.run(*m, 20000, INT32_MAX);
        EXPECT_EQ(watch.reason, c.reason) << c.reason;
    }
}

// HALT waits for the frame's interrupt: a breakpoint at its handler, and a watchpoint on the
// interrupt's push of PC (watched as any write), stop before the handler's first instruction,
// at the frame's start, with the HALT's successor pushed. The breakpoint is set from the
// start (the frame before does not stop at it); the watchpoint after the CALL's push.
TEST_F(DebuggerTest, StopsAtTheInterruptHandlerAndWatchesItsPush) {
    const struct {
        Breakpoint point;
        bool from_the_start;
        const char* reason;
    } cases[] = {
        {{.first = 0x0038}, true, "BREAK AT $0038"},
        {{.kind = Breakpoint::Kind::write, .first = 0x8FFE, .last = 0x8FFF},
         false,
         "WRITE $8FFF=$80 AT PC "},
    };
    for (const auto& c : cases) {
        SetUp();
        Debugger watch;
        if (c.from_the_start) watch.points.push_back(c.point);
        ASSERT_FALSE(watch.run(*m, m->tpf, INT32_MAX)) << c.reason;
        EXPECT_TRUE(m->z80.halted);
        m->end_logical_frame();
        if (!c.from_the_start) watch.points.push_back(c.point);
        ASSERT_TRUE(watch.run(*m, m->tpf, INT32_MAX)) << c.reason;
        EXPECT_EQ(watch.reason.substr(0, std::string(c.reason).size()), c.reason);
        EXPECT_EQ(m->z80.PC, 0x0038) << c.reason;
        EXPECT_EQ(m->z80.SP, 0x8FFE) << c.reason;
        EXPECT_LT(m->tstates, 40) << c.reason;
        EXPECT_EQ(m->RAM[2 * 0x4000 + 0x0FFE] | (m->RAM[2 * 0x4000 + 0x0FFF] << 8), at("spin"));
    }
}

// Stopped and resumed anywhere in its frames, the checking path leaves the machine exactly
// as its own run does, interrupts, contention and frame ends included, on both models.
TEST(DebuggerRun, StopsAndResumesExactly) {
    for (const int model : {48, 128}) {
        ASSERT_TRUE(fresh_machine_with_rom());
        Spectrum& m = test_machine();
        if (model == 128) {
            std::vector<uint8_t> roms(2 * ROM_SIZE);
            std::copy(m.basic_rom(), m.basic_rom() + ROM_SIZE, roms.begin());
            std::copy(m.basic_rom(), m.basic_rom() + ROM_SIZE, roms.begin() + ROM_SIZE);
            m.power_on(128, roms);
        }
        auto plain = std::make_unique<Spectrum>(m);
        Debugger d;
        d.points.push_back({.first = 0x0038});
        d.points.push_back({.first = 0x11DC}); // the ROM's RAM fill loop
        d.points.push_back({.kind = Breakpoint::Kind::write, .first = 0x5C78, .last = 0x5C78});
        int stops = 0;
        for (int frame = 0; frame < 100; frame++) {
            plain->z80_run(plain->tpf, INT32_MAX);
            while (d.run(m, m.tpf, INT32_MAX)) stops++;
            plain->end_logical_frame();
            m.end_logical_frame();
            ASSERT_TRUE(m == *plain) << model << " frame " << frame;
        }
        EXPECT_GT(stops, 50) << model;
    }
}

TEST(Symbols, ReadsEveryFormAndNumber) {
    Symbols s;
    std::string error;
    ASSERT_TRUE(s.parse("START EQU 08000H\nloop: equ $8003 ; the loop\nscr = 16384\n"
                        "attr:=#5800\n\nPORT EQU 0xFE\nTOP EQU 65535\n",
                        error))
        << error;
    const struct {
        const char* text;
        int value; // -1: not an address
    } cases[] = {{"START", 0x8000}, {"Loop", 0x8003}, {"SCR", 16384}, {"attr", 0x5800},
                 {"port", 0xFE},    {"top", 0xFFFF},  {"$1F", 0x1F},  {"#1f", 0x1F},
                 {"0x1F", 0x1F},    {"1Fh", 0x1F},    {"Fh", -1},     {"01Fh", 0x1F},
                 {"31", 31},        {"65536", -1},    {"$10000", -1}, {"nope", -1},
                 {"", -1}};
    for (const auto& c : cases) {
        uint16_t value = 0;
        EXPECT_EQ(s.address(c.text, value), c.value >= 0) << c.text;
        if (c.value >= 0) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    EXPECT_EQ(s.name_at(0x8003), "loop");
    EXPECT_EQ(s.name_at(0x8004), "");
    for (const char* bad : {"X EQU", "= 5", "Y EQU zz", "Z 5"})
        EXPECT_FALSE(Symbols().parse(bad, error)) << bad;
}

// "Step over" runs to the instruction after whatever comes back or repeats at PC; anything
// else is a plain step.
TEST(DebuggerStepOver, StopsAfterCallsRestartsLoopsAndHalt) {
    const struct {
        std::vector<uint8_t> bytes;
        bool interrupts_on;
        int32_t target;
    } cases[] = {
        {{0xCD, 0x00, 0x90}, false, 0x8003}, // CALL nn
        {{0xDC, 0x00, 0x90}, false, 0x8003}, // CALL C,nn
        {{0xFF}, false, 0x8001},             // RST $38
        {{0x10, 0xFE}, false, 0x8002},       // DJNZ
        {{0xED, 0xB0}, false, 0x8002},       // LDIR
        {{0xED, 0xB3}, false, 0x8002},       // OTIR
        {{0x76}, true, 0x8001},              // HALT: the interrupt returns past it
        {{0x76}, false, -1},                 // HALT with no interrupt to come
        {{0x18, 0xFE}, false, -1},           // JR
        {{0xED, 0xA0}, false, -1},           // LDI
    };
    for (const auto& c : cases) {
        Spectrum& m = fresh_machine();
        for (size_t i = 0; i < c.bytes.size(); i++) m.RAM[2 * 0x4000 + i] = c.bytes[i];
        m.z80.PC = 0x8000;
        m.z80.IFF1 = c.interrupts_on;
        EXPECT_EQ(Debugger::step_over_target(m), c.target) << std::hex << int(c.bytes[0]);
    }
}

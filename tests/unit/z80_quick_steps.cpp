// A run over whole frames does exactly what stepping one instruction at a time does: the
// run's quick steps (no interrupt test, no EI epilogue, no opcode note) must not show.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"

namespace {

// Eight passes of a loop of contended screen writes, EI and DI close together and a DD/FD
// chain, then a chain of 300 DD prefixes (one step of 1204 T-states, often a frame's last),
// and round again with interrupts on. The interrupt routine is EI; RET.
void load_program() {
    z80_poke(0x0038, {0xFB, 0xC9});
    z80_poke(0x8000, {0xF3, 0x21, 0x00, 0x40, 0x06, 0x00, // DI; LD HL,4000h; LD B,0
                      0x70, 0x23, 0xFB, 0x00, 0xF3,       // LD (HL),B; INC HL; EI; NOP; DI
                      0xFD, 0xDD, 0x21, 0x34, 0x12, 0xFB, // LD IX,1234h (after FD); EI
                      0x10, 0xF3});                       // DJNZ 8006h
    uint16_t a = 0x8013;
    for (int i = 0; i < 300; i++) z80_poke(a++, 0xDD);
    z80_poke(a, {0x21, 0x00, 0x00, 0xFB, 0x00, 0xC3, 0x04, 0x80}); // LD IX,0; EI; NOP; JP 8004h
}

void expect_same(const Spectrum& run, const Spectrum& stepped, int frame) {
    EXPECT_TRUE(run == stepped) << frame << ": PC " << run.z80.PC << " and " << stepped.z80.PC
                                << ", tstates " << run.tstates << " and " << stepped.tstates;
}

// Runs `frames` frames of the program loaded in the test machine twice, whole and one
// instruction at a time, and compares the two after every frame; `each` sees the run.
template <class Each> void run_and_step(int frames, Each each) {
    const Spectrum& m = test_machine();
    const auto run = std::make_unique<Spectrum>(m), stepped = std::make_unique<Spectrum>(m);
    for (int frame = 0; frame < frames; frame++) {
        run->tstatesh = stepped->tstatesh = 0;
        run->z80_run(run->tpf, INT32_MAX);
        while (stepped->tstates < stepped->tpf) stepped->z80_step();
        expect_same(*run, *stepped, frame);
        each(*run);
        run->tstates -= run->tpf;
        stepped->tstates -= stepped->tpf;
    }
}

void start_at(uint16_t pc) {
    Spectrum& m = test_machine();
    m.z80.SP = 0x9000;
    m.z80.PC = pc;
    m.z80.IM = 1;
}

TEST(Z80QuickSteps, AFrameRunIsTheSameAsSteppingEveryInstruction) {
    fresh_machine();
    z80_map_low_ram();
    load_program();
    start_at(0x8000);
    int chain_last = 0; // frames whose last step was the prefix chain
    run_and_step(30, [&](const Spectrum& run) {
        chain_last += run.z80.opcode == 0xDD && run.tstatesd > 1000;
    });
    EXPECT_GT(chain_last, 0) << "no frame ended in the long chain: the case is not tested";
    fresh_machine();
}

// A HALT's repeated fetches are taken in a loop of their own: the same T-states, R and
// contention as stepping them. EI; HALT in uncontended and in contended memory by turns,
// eight times, then DI; HALT in contended memory for the rest.
TEST(Z80QuickSteps, AHaltedFrameIsTheSameAsSteppingEveryFetch) {
    fresh_machine();
    z80_map_low_ram();
    z80_poke(0x0038, {0xFB, 0xC9});                               // EI; RET
    z80_poke(0x8000, {0x06, 0x08, 0xFB, 0x76, 0xC3, 0x00, 0x60}); // LD B,8; EI; HALT; JP 6000h
    z80_poke(0x6000, {0xFB, 0x76, 0x05, 0xC2, 0x02, 0x80,         // EI; HALT; DEC B; JP NZ,8002h
                      0xF3, 0x76});                               // DI; HALT
    start_at(0x8000);
    int halted = 0, contended = 0;
    run_and_step(24, [&](const Spectrum& run) {
        halted += run.z80.halted != 0;
        contended += run.z80.halted && run.z80.PC >= 0x4000 && run.z80.PC < 0x8000;
    });
    EXPECT_GE(halted, 20);
    EXPECT_GE(contended, 12);
    fresh_machine();
}

// A repeating block instruction runs its next pass at once where the run would take it as
// a quick step: the same T-states, R, flags, memory and screen capture as stepping every
// pass, in both CPU models, with the interrupt taken between passes. LDIR from plain RAM
// onto the screen, LDDR within contended RAM, CPIR, INIR and OTIR on the ULA's port, and a
// DD LDIR in contended RAM that overwrites its own second opcode byte with LDI.
TEST(Z80QuickSteps, ARepeatingBlockInstructionIsTheSameAsSteppingEveryPass) {
    for (const CpuModel model : {CpuModel::standard, CpuModel::zilog}) {
        SCOPED_TRACE(model == CpuModel::zilog ? "zilog" : "standard");
        fresh_machine();
        z80_map_low_ram();
        test_machine().cpu_model = model;
        z80_poke(0x0038, {0xFB, 0xC9}); // EI; RET
        z80_poke(0x8000, {
                             0xFB, 0x3E, 0xB0, 0x32, 0x0B, 0x60, // EI; LD A,B0h; LD (600Bh),A
                             0x21, 0x00, 0x90, 0x11, 0x00, 0x40, // LD HL,9000h; LD DE,4000h
                             0x01, 0x00, 0x08, 0xED, 0xB0,       // LD BC,0800h; LDIR
                             0x21, 0xFF, 0x47, 0x11, 0xFF, 0x4F, // LD HL,47FFh; LD DE,4FFFh
                             0x01, 0x00, 0x04, 0xED, 0xB8,       // LD BC,0400h; LDDR
                             0x21, 0x00, 0x40, 0x01, 0x00, 0x10, // LD HL,4000h; LD BC,1000h
                             0x3E, 0x5A, 0xED, 0xB1,             // LD A,5Ah; CPIR
                             0x21, 0x00, 0x50, 0x01, 0xFE, 0x20, // LD HL,5000h; LD BC,20FEh
                             0xED, 0xB2,                         // INIR
                             0x21, 0x00, 0x90, 0x01, 0xFE, 0x10, // LD HL,9000h; LD BC,10FEh
                             0xED, 0xB3, 0xC3, 0x00, 0x60,       // OTIR; JP 6000h
                         });
        for (int i = 0; i < 0x800; i++) z80_poke(static_cast<uint16_t>(0x9000 + i), (i * 7) & 0xFF);
        // The DD LDIR at 600Ah copies LDI over its own B0; the LDI copies INC (HL) to 600Ch,
        // which counts the passes at 9102h.
        z80_poke(0x9100, {0xA0, 0x34, 0x00});                 // LDI; INC (HL); the count
        z80_poke(0x6000, {0x21, 0x00, 0x91, 0x11, 0x0B, 0x60, // LD HL,9100h; LD DE,600Bh
                          0x01, 0x10, 0x00, 0xDD, 0xED, 0xB0, // LD BC,16; DD LDIR
                          0x00, 0xC3, 0x00, 0x80});           // (INC (HL)); JP 8000h
        start_at(0x8000);
        int passes = 0;
        run_and_step(14, [&](const Spectrum& run) { passes = run.readbyte_internal(0x9102); });
        EXPECT_GE(passes, 5) << "the program went wrong: the cases are not tested";
        fresh_machine();
    }
}

} // namespace

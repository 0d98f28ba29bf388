// The machine's state as one value: a copy equals its original in every kind of moment, one
// step of either tells them apart, and the same step of the other makes them equal again.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "spectrum/machine.h"
#include "tests/support/files_images.h"

namespace {
// At 0x8000: LD A,n / OUT (FE),A / INC (HL) / LD (DE),A / JR back; it writes the screen, the
// border and the speaker as it runs.
const uint8_t LOOP[] = {0x3E, 0x17, 0xD3, 0xFE, 0x34, 0x12, 0x18, 0xF8};

void load_at_8000(Spectrum& m, std::vector<uint8_t> code) {
    std::memcpy(m.RAM + 2 * 0x4000, code.data(), code.size());
    m.z80.PC = 0x8000;
    m.z80.SP = 0xFF00;
    m.z80.HL = 0x4000;
    m.z80.DE = 0x5800;
}

struct Moment {
    const char* name;
    std::function<void(Spectrum&)> make;
};

const Moment MOMENTS[] = {
    {"48K mid-frame",
     [](Spectrum& m) {
         load_at_8000(m, {std::begin(LOOP), std::end(LOOP)});
         m.z80_run(30000, INT32_MAX);
     }},
    {"128K paged, the shadow screen shown",
     [](Spectrum& m) {
         m.model = 128;
         m.tpf = TPF_128;
         load_at_8000(m, {std::begin(LOOP), std::end(LOOP)});
         m.writeport(0x7FFD, 0x0B); // bank 3 at 0xC000, screen in bank 7
         m.z80.DE = 0xC000;
         m.z80_run(20000, INT32_MAX);
     }},
    {"halted",
     [](Spectrum& m) {
         load_at_8000(m, {0xF3, 0x76}); // DI; HALT
         m.z80_step();
         m.z80_step();
     }},
    {"in an EI's shadow",
     [](Spectrum& m) {
         load_at_8000(m, {0xFB, 0x00, 0x00}); // EI; NOP; NOP
         m.tstates = 1000;
         m.z80_step();
     }},
    {"a tape playing",
     [](Spectrum& m) {
         load_at_8000(m, {0xDB, 0xFE, 0x18, 0xFC}); // IN A,(FE); JR back
         m.attach_tape(tap_block(0xFF, std::vector<uint8_t>(64, 0xA5)));
         m.tape_play();
         m.z80_run(40000, INT32_MAX);
     }},
};

TEST(MachineRecord, ACopyIsEqualAndOneStepTellsItApart) {
    for (const Moment& moment : MOMENTS) {
        SCOPED_TRACE(moment.name);
        const auto m = std::make_unique<Spectrum>();
        moment.make(*m);
        const auto copy = std::make_unique<Spectrum>(*m);
        EXPECT_TRUE(*copy == *m);

        copy->z80_step();
        EXPECT_FALSE(*copy == *m) << "a step changes the machine";
        m->z80_step();
        EXPECT_TRUE(*copy == *m) << "the same step makes the two equal again";

        // Assignment over a machine that ran apart is a copy too.
        const auto other = std::make_unique<Spectrum>();
        other->z80_run(5000, INT32_MAX);
        *other = *m;
        EXPECT_TRUE(*other == *m);
    }
}

TEST(MachineRecord, CopiesShareTheTapeAndKeepItWhenOneAppends) {
    const auto m = std::make_unique<Spectrum>();
    m->attach_tape(tap_block(0xFF, {1, 2, 3}));
    const auto copy = std::make_unique<Spectrum>(*m);
    EXPECT_EQ(&copy->tape.get(), &m->tape.get()) << "the image is shared, not copied";
    EXPECT_EQ(&copy->tape_deck.blocks.get(), &m->tape_deck.blocks.get());

    copy->append_tape_records(tap_block(0x00, {4}));
    EXPECT_EQ(copy->tape_deck.blocks.size(), 2u);
    EXPECT_EQ(m->tape_deck.blocks.size(), 1u) << "the original's tape is as it was";
    EXPECT_EQ(m->tape, tap_block(0xFF, {1, 2, 3}));
    EXPECT_FALSE(*copy == *m);
}

} // namespace

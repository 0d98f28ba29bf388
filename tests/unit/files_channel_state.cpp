// Channels hold the whole machine: what was saved is restored equal (==), whatever machine
// it is restored into, and a damaged file changes nothing.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "spectrum/machine.h"
#include "tests/fuzz/bare.h"
#include "tests/support/files_images.h"

namespace {
const std::vector<uint8_t> TAPE = tap_block(0xFF, std::vector<uint8_t>(300, 0x5A));

// INC A; OUT (FEh),A; JR back: a border and speaker change every 22 T-states.
void border_loop(Spectrum& m) {
    const uint8_t code[] = {0x3C, 0xD3, 0xFE, 0x18, 0xFB};
    std::memcpy(m.RAM + 2 * BANK_SIZE, code, sizeof code);
    m.z80.PC = 0x8000;
}

// Runs to T-state t of the frame, the physical frames ending as the main loop ends them.
void run_to(Spectrum& m, int32_t t) {
    while (m.tstates < t) {
        m.z80_run(t, m.tpfh);
        if (m.tstatesh >= m.tpfh) m.end_physical_frame();
    }
}

struct Case {
    const char* name;
    void (*prepare)(Spectrum&);
};
const Case CASES[] = {
    {"48K at power-on", [](Spectrum&) {}},
    {"128K bank 3 and the shadow screen",
     [](Spectrum& m) {
         m.model = 128;
         m.tpf = TPF_128;
         m.writeport(0x7FFD, 0x0B);
         run_frames(m, 1);
     }},
    {"mid-frame",
     [](Spectrum& m) {
         border_loop(m);
         run_frames(m, 2);
         run_to(m, 33333);
     }},
    {"halted",
     [](Spectrum& m) {
         m.RAM[2 * BANK_SIZE] = 0x76;
         m.z80.PC = 0x8000;
         run_to(m, 1000);
     }},
    {"in an EI shadow",
     [](Spectrum& m) {
         m.RAM[2 * BANK_SIZE] = 0xFB;
         m.z80.PC = 0x8000;
         m.z80_step();
     }},
    {"tape playing",
     [](Spectrum& m) {
         m.attach_tape(TAPE);
         m.tape_play();
         m.tape_deck.by_hand = true;
         uint8_t samples[SAMPLES_PER_FRAME] = {};
         for (int f = 0; f < 3; f++) {
             run_to(m, m.tpf);
             m.tape_frame_end(samples);
             m.end_logical_frame();
         }
         run_to(m, 20000);
         m.tape_ear(0xFF);
     }},
    {"sound chip playing",
     [](Spectrum& m) {
         m.ay_on_48 = true;
         for (uint8_t r : {0, 1, 6, 7, 8, 11, 12, 13})
             m.writeport(0xFFFD, r), m.writeport(0xBFFD, static_cast<uint8_t>(0x3E - r));
         float left[SAMPLES_PER_FRAME], right[SAMPLES_PER_FRAME];
         run_to(m, m.tpf);
         m.ay_frame_end(left, right);
         m.end_logical_frame();
         run_to(m, 5000);
         m.writeport(0xFFFD, 9);
         m.writeport(0xBFFD, 12);
     }},
    {"border events pending",
     [](Spectrum& m) {
         border_loop(m);
         run_to(m, 1000);
         m.key_rows[3] = 0x11;
         m.kempston = 0x10;
     }},
};

class WholeChannel : public testing::TestWithParam<Case> {};

TEST_P(WholeChannel, RestoresAnEqualMachineIntoAnother) {
    auto saved = bare_machine();
    GetParam().prepare(*saved);
    const std::vector<uint8_t> image = channel_image(*saved);
    ASSERT_TRUE(channel_usable(image));

    // Another model that has run elsewhere, with the same tape (or none) attached.
    auto other = bare_machine();
    other->model = 176 - saved->model;
    other->tpf = other->tpf_for_model();
    if (saved->tape_deck.attached()) other->attach_tape(TAPE);
    border_loop(*other);
    run_frames(*other, 1);
    other->key_rows[0] = 0x1F;
    ASSERT_FALSE(*other == *saved);

    restore_channel(*other, image);
    EXPECT_TRUE(other->z80 == saved->z80);
    EXPECT_TRUE(other->ay == saved->ay);
    EXPECT_TRUE(other->tape_deck == saved->tape_deck);
    EXPECT_TRUE(*other == *saved);
    EXPECT_EQ(other->SLTPTR[3], other->RAM + (saved->SLTPTR[3] - saved->RAM));
    EXPECT_EQ(channel_image(*other), image);
}

INSTANTIATE_TEST_SUITE_P(States, WholeChannel, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// A file that is short, long, of an unknown version or holds a value no machine has is
// refused whole, and restoring it anyway leaves the machine as it was.
TEST(WholeChannelFile, DamagedFilesAreRefused) {
    const std::vector<uint8_t> good = channel_image(*bare_machine());
    ASSERT_EQ(good.size(), CHANNEL_FILE_SIZE_WHOLE);
    const size_t end = good.size();
    const float nan = std::nanf("");
    uint32_t nan_bits;
    std::memcpy(&nan_bits, &nan, 4);
    const struct {
        const char* what;
        size_t offset, size;
        uint32_t value;
    } broken[] = {
        {"an unknown version", 131184, 1, 3},
        {"no such model", 131185, 4, 64},
        {"a frame of another length", 131194, 4, 58000},
        {"the envelope's step past its ramp", 138152, 1, 16},
        {"a synthesis sum that is no number", 138176 + 40, 4, nan_bits},
        {"more speaker events than a frame holds", 147049, 4, 7001},
        {"a flag of 2", end - 129, 1, 2},
        {"a phase the deck has not", end - 63, 1, 9},
        {"a call from a block the tape has not", end - 38, 1, 1},
    };
    for (const auto& f : broken) {
        auto file = good;
        for (size_t i = 0; i < f.size; i++)
            file[f.offset + i] = static_cast<uint8_t>(f.value >> (8 * i));
        EXPECT_FALSE(channel_usable(file)) << f.what;
        auto m = bare_machine();
        border_loop(*m);
        run_frames(*m, 1);
        const Spectrum before = *m;
        restore_channel(*m, file);
        EXPECT_TRUE(*m == before) << f.what;
    }
    for (size_t size : {end - 1, end + 1}) {
        auto file = good;
        file.resize(size);
        EXPECT_FALSE(channel_usable(file)) << size;
    }
}

// Restored with the tape it was saved with, the deck goes on where it was; with another
// tape attached it cannot: it starts that one from its beginning, and plays it.
TEST(WholeChannelFile, AnotherTapeStartsFromItsBeginning) {
    auto saved = bare_machine();
    CASES[5].prepare(*saved);
    ASSERT_GT(saved->tape_deck.count, 0u);
    const std::vector<uint8_t> image = channel_image(*saved);
    auto same = bare_machine();
    same->attach_tape(TAPE);
    restore_channel(*same, image);
    EXPECT_TRUE(same->tape_deck == saved->tape_deck) << "the same tape goes on where it was";
    auto m = bare_machine();
    m->attach_tape(tap_block(0xFF, {1, 2, 3}));
    restore_channel(*m, image);
    EXPECT_EQ(m->tape_deck.index, 0u);
    EXPECT_EQ(m->tape_deck.count, 0u);
    EXPECT_FALSE(m->tape_deck.playing);
    EXPECT_EQ(m->tape_pos, 0u);
    EXPECT_TRUE(m->z80 == saved->z80);
    m->tape_play();
    m->tape_deck.by_hand = true;
    run_frames(*m, 200);
    EXPECT_TRUE(m->tape_deck.at_end());
}
} // namespace

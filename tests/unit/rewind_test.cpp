// Rewinding gives back, frame by frame, machines equal (==) to the ones that ran; the ring
// keeps within its seconds and its memory; a run ahead leaves the machine as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frontend/rewind.h"
#include "frontend/run_ahead.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"

namespace {
constexpr int FRAMES = 130;

// INC A; OUT (FEh),A; JR back: border and speaker events every frame (the image's lists
// change length from frame to frame).
void border_loop(Spectrum& m) {
    const uint8_t code[] = {0x3C, 0xD3, 0xFE, 0x18, 0xFB};
    std::memcpy(m.RAM + 2 * BANK_SIZE, code, sizeof code);
    m.z80.PC = 0x8000;
}

// Pages the next bank but 2 (the program's) at 0xC000 (BC = 7FFDh, the counter at 8100h), pushes 16
// words that R stirs below the place kept at 8102h, keeps that place (a byte lower, so that no bank
// is written twice alike) within 0xC000-0xFFFF, and again.
void bank_writer(Spectrum& m) {
    m.model = 128;
    m.tpf = TPF_128;
    std::vector<uint8_t> code = {0x3A, 0x00, 0x81, 0x3C, 0x32, 0x00, 0x81, 0xE6, 0x07, 0xFE,
                                 0x02, 0x20, 0x01, 0x3C, 0xED, 0x79, 0xED, 0x7B, 0x02, 0x81};
    for (int i = 0; i < 16; i++) code.insert(code.end(), {0xED, 0x5F, 0xAA, 0x57, 0xD5, 0x1C});
    code.insert(code.end(), {0x21, 0x00, 0x00, 0x39, 0x2B, 0x7C, 0xF6, 0xC0, 0x67, 0x22, 0x02, 0x81,
                             0xC3, 0x00, 0x80});
    std::memcpy(m.RAM + 2 * BANK_SIZE, code.data(), code.size());
    m.z80.PC = 0x8000;
    m.z80.BC = 0x7FFD;
}

void tape_and_chip(Spectrum& m) {
    border_loop(m);
    m.attach_tape(tap_block(0xFF, std::vector<uint8_t>(3000, 0xA5)));
    m.tape_play();
    m.tape_deck.by_hand = true;
    m.ay_on_48 = true;
    for (uint8_t r : {0, 1, 6, 7, 8, 11, 12, 13})
        m.writeport(0xFFFD, r), m.writeport(0xBFFD, static_cast<uint8_t>(0x3E - r));
}

struct Case {
    const char* name;
    void (*prepare)(Spectrum&);
    bool mid_frame; // each state taken part of the way into the next frame
};
const Case CASES[] = {
    {"48K border and speaker", border_loop, false},
    {"48K border and speaker mid-frame", border_loop, true},
    {"128K every bank written", bank_writer, false},
    {"48K tape playing and sound chip", tape_and_chip, false},
};

// Frame f; mid-frame, then on to a T-state that differs from frame to frame, so that the
// states hold more or fewer of the frame's events.
void advance(Spectrum& m, const Case& c, int f) {
    run_logical_frame(m, {});
    const int32_t t = 1000 + f * 997 % 60000;
    while (c.mid_frame && m.tstates < t) {
        m.z80_run(t, m.tpfh);
        if (m.tstatesh >= m.tpfh) m.end_physical_frame();
    }
}

std::unique_ptr<Spectrum> machine_of(const Case& c) {
    auto m = std::make_unique<Spectrum>();
    c.prepare(*m);
    return m;
}

class Rewind : public testing::TestWithParam<Case> {};

// Each state rewound to is the machine as it was after that frame, and a machine rewound
// and run on with the same input reaches the same machine again. Patches both as they are
// and deflated.
TEST_P(Rewind, GivesBackTheMachineOfEachFrame) {
    for (size_t deflate_from : {size_t{0}, SIZE_MAX}) {
        SCOPED_TRACE(deflate_from ? "as they are" : "deflated");
        RewindRing ring(RewindRing::DEFAULT_SECONDS, RewindRing::DEFAULT_BUDGET, deflate_from);
        auto m = machine_of(GetParam());
        std::unique_ptr<Spectrum> kept[FRAMES];
        for (int f = 0; f < FRAMES; f++) {
            advance(*m, GetParam(), f);
            ring.push(*m);
            if (f % 10 == 0 || f >= FRAMES - 2) kept[f] = std::make_unique<Spectrum>(*m);
        }
        ASSERT_EQ(ring.size(), size_t{FRAMES});
        EXPECT_TRUE(*kept[0] != *kept[FRAMES - 1]);

        ASSERT_TRUE(ring.step_back(*m));
        EXPECT_TRUE(*m == *kept[FRAMES - 2]);
        ASSERT_TRUE(ring.rewind(*m, FRAMES - 2 - 100));
        EXPECT_TRUE(*m == *kept[100]);
        ASSERT_TRUE(ring.rewind(*m, 40));
        EXPECT_TRUE(*m == *kept[60]);
        EXPECT_EQ(ring.size(), 61u);

        for (int f = 61; f <= 100; f++) {
            advance(*m, GetParam(), f);
            ring.push(*m);
        }
        EXPECT_TRUE(*m == *kept[100]) << "run on from a rewound machine";

        // As far as the oldest, and no further.
        ASSERT_TRUE(ring.rewind(*m, 1000));
        EXPECT_TRUE(*m == *kept[0]);
        EXPECT_EQ(ring.size(), 1u);
        EXPECT_FALSE(ring.step_back(*m));
        EXPECT_TRUE(*m == *kept[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(Programs, Rewind, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

// The ring holds no more than its seconds, and no more than its memory, dropping the oldest
// states; the oldest kept is still the machine of its frame.
TEST(RewindRingLimits, KeepsTheNewestWithinSecondsAndMemory) {
    const struct {
        int seconds;
        size_t budget;
        size_t most_states;
    } limits[] = {
        {0, RewindRing::DEFAULT_BUDGET, 0},
        {1, RewindRing::DEFAULT_BUDGET, 51},
        {60, 600000, FRAMES - 1},
    };
    for (const auto& l : limits) {
        SCOPED_TRACE(l.seconds);
        RewindRing ring(l.seconds, l.budget, SIZE_MAX);
        auto m = machine_of(CASES[2]);
        for (int f = 0; f < FRAMES; f++) {
            run_logical_frame(*m, {});
            ring.push(*m);
            ASSERT_LE(ring.memory(), l.budget);
        }
        ASSERT_LE(ring.size(), l.most_states);
        if (l.most_states == 0) {
            EXPECT_FALSE(ring.rewind(*m, 1));
            continue;
        }
        EXPECT_GT(ring.size(), 20u);
        EXPECT_DOUBLE_EQ(ring.seconds(), static_cast<double>(ring.size() - 1) / 50);
        auto oldest = machine_of(CASES[2]);
        for (size_t f = 0; f <= FRAMES - ring.size(); f++) run_logical_frame(*oldest, {});
        ASSERT_TRUE(ring.rewind(*m, INT_MAX));
        EXPECT_TRUE(*m == *oldest);
    }
}

// The copy run ahead is the machine those frames later with the same input, its picture the
// one that machine paints; the machine itself has not moved.
TEST(RunAhead, ShowsTheFramesAheadAndLeavesTheMachine) {
    auto m = machine_of(CASES[2]);
    m->key_rows[2] = 0x05; // keys held: the copy must keep the newest input
    run_logical_frame(*m, {});
    const size_t surface_size = ULA_SURFACE_W * ULA_SURFACE_H * 4;
    for (int frames : {1, 2}) {
        SCOPED_TRACE(frames);
        const Spectrum before = *m;
        Spectrum ahead;
        std::vector<uint8_t> shown(surface_size), expected(surface_size);
        run_ahead(*m, ahead, frames, [&](Spectrum& s, bool last) {
            run_logical_frame(s, {last ? shown.data() : nullptr});
        });
        EXPECT_TRUE(*m == before);
        EXPECT_EQ(std::memcmp(m->RAM, before.RAM, sizeof m->RAM), 0);

        Spectrum real = *m;
        for (int f = 0; f < frames; f++)
            run_logical_frame(real, {f == frames - 1 ? expected.data() : nullptr});
        EXPECT_TRUE(ahead == real);
        EXPECT_TRUE(ahead != before);
        EXPECT_EQ(shown, expected);
    }
}
} // namespace

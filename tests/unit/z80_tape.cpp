// The tape block transfer and the two ROM hook points of the CPU.
#include <gtest/gtest.h>

#include <vector>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

namespace {

class Z80Tape : public testing::Test {
  protected:
    void SetUp() override { fresh_machine(); }
    void TearDown() override { fresh_machine(); } // detaches the tape

    // Attaches a tape image holding `bytes`, as loading a TAP file does.
    static void attach(const std::vector<uint8_t>& bytes) {
        Spectrum& m = test_machine();
        m.attach_tape(bytes);
        ASSERT_EQ(m.tape, bytes);
        ASSERT_EQ(m.tape_pos, 0u);
        ASSERT_EQ(m.is_tape, 1);
    }
};

TEST_F(Z80Tape, PatchWithDeZeroReadsFourBytesAndStoresNothing) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    attach({0x02, 0x00, 0xFF, 0xAA, 0x77});
    z80.IX = 0x8000;
    z80.DE = 0;
    m.tstates = 100;
    m.PatchZ80();
    EXPECT_EQ(m.tape_pos, 4u);
    EXPECT_EQ(z80.IX, 0x8000);
    EXPECT_EQ(z80_peek(0x8000), 0);
    EXPECT_EQ(m.tstates, 100);
}

TEST_F(Z80Tape, PatchStoresDeBytesWithTimedWrites) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    // Length 5, flag, three data bytes, checksum; then the next block.
    attach({0x05, 0x00, 0xFF, 0x11, 0x22, 0x33, 0x99, 0x03, 0x00});
    z80.IX = 0x8000;
    z80.DE = 3;
    z80.AF = 0x12C5;
    m.tstates = 100;
    m.PatchZ80();
    EXPECT_EQ(z80_peek(0x8000), 0x11);
    EXPECT_EQ(z80_peek(0x8002), 0x33);
    EXPECT_EQ(z80_peek(0x8003), 0);
    EXPECT_EQ(z80.IX, 0x8003);
    EXPECT_EQ(z80.DE, 3);
    EXPECT_EQ(z80.AF, 0x12C5);
    EXPECT_EQ(m.tape_pos, 7u);
    EXPECT_EQ(m.tstates, 109);
}

// A record shorter than DE data bytes and the checksum, by its length field or because the
// image ends inside it, stores only the bytes it holds and fails.
TEST_F(Z80Tape, AShortRecordStoresWhatItHoldsAndFails) {
    const struct {
        std::vector<uint8_t> image;
        std::vector<uint8_t> stored;
    } CASES[] = {
        {{0x06, 0x00, 0xFF, 0x41, 0x42}, {0x41, 0x42, 0, 0}}, // the image ends inside
        {{0x06, 0x00, 0x5E}, {0, 0, 0, 0}},                   // only the flag byte
        {{0x04, 0x00, 0xFF, 0x41, 0x42, 0x43, 0x02, 0x00}, {0x41, 0x42, 0x43, 0}}, // too short
    };
    for (const auto& c : CASES) {
        Spectrum& m = fresh_machine();
        attach(c.image);
        m.z80.IX = 0x8000;
        m.z80.DE = 4;
        EXPECT_FALSE(m.PatchZ80());
        EXPECT_EQ(std::vector<uint8_t>(
                      {z80_peek(0x8000), z80_peek(0x8001), z80_peek(0x8002), z80_peek(0x8003)}),
                  c.stored);
    }
}

TEST_F(Z80Tape, PatchWrapsIxAndDropsBytesAimedAtTheRom) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    attach({0x04, 0x00, 0xFF, 0x61, 0x62, 0x00});
    m.poke_rom(0, 0, 0xF3);
    z80.IX = 0xFFFF;
    z80.DE = 2;
    m.PatchZ80();
    EXPECT_EQ(z80_peek(0xFFFF), 0x61);
    EXPECT_EQ(m.basic_rom()[0], 0xF3);
    EXPECT_EQ(z80.IX, 0x0001);
}

TEST_F(Z80Tape, LongBlockIsChargedWithContentionAndCarriesPastTheTables) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    // 30,000 bytes into 0x4000 upward from T-state 14,000: the first ones meet the screen's
    // contention, the later ones run past the end of the tables, where nothing is added.
    std::vector<uint8_t> image = {0x32, 0x75, 0xFF};
    image.resize(3 + 30000 + 1, 0xE7);
    attach(image);
    z80.IX = 0x4000;
    z80.DE = 30000;
    m.tstates = 14000;
    m.PatchZ80();
    int32_t t = 14000;
    for (int i = 0; i < 30000; i++) {
        const uint16_t addr = static_cast<uint16_t>(0x4000 + i);
        if (addr < 0x8000 && t >= 14335 && t < 14335 + 192 * 224 && (t - 14335) % 224 < 128) {
            static const int PATTERN[8] = {6, 5, 4, 3, 2, 1, 0, 0};
            t += PATTERN[(t - 14335) % 224 % 8];
        }
        t += 3;
    }
    EXPECT_GT(t, 80000);
    EXPECT_EQ(m.tstates, t);
    EXPECT_EQ(z80_peek(0x4000 + 29999), 0xE7);
}

TEST_F(Z80Tape, LoadTrapTakesOneBlockAndReturnsToTheCaller) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    attach({0x04, 0x00, 0xFF, 0x10, 0x20, 0x30, 0x01, 0x00, 0x00}); // block, then another
    z80.IX = 0x9000;
    z80.DE = 2;
    z80.SP = 0xA000;
    z80_poke(0xA000, {0x34, 0x12});
    z80.AF = 0x00C5;
    z80.HL = 0x4321;
    z80.MEMPTR = 0x5555;
    m.tstates = 100;
    EXPECT_TRUE(m.tape_load_trap());
    EXPECT_EQ(z80_peek(0x9000), 0x10);
    EXPECT_EQ(z80_peek(0x9001), 0x20);
    EXPECT_EQ(m.tape_pos, 6u); // DE + 4: this block's checksum byte was 0x30
    EXPECT_EQ(z80.PC, 0x1234);
    EXPECT_EQ(z80.SP, 0xA002);
    EXPECT_EQ(z80.IX, 0x9002);
    EXPECT_EQ(z80.AF, 0x00C5);
    EXPECT_EQ(z80.HL, 0x4321);
    EXPECT_EQ(z80.MEMPTR, 0x5555);
    EXPECT_EQ(m.tstates, 100 + 3 * 2 + 6);
}

TEST_F(Z80Tape, LoadTrapWithoutATapeDoesNothing) {
    Spectrum& m = test_machine();
    Z80& z80 = m.z80;
    attach({0x04, 0x00, 0xFF, 0x10});
    m.is_tape = 0;
    z80.SP = 0xA000;
    m.tstates = 100;
    EXPECT_FALSE(m.tape_load_trap());
    EXPECT_EQ(m.tape_pos, 0u);
    EXPECT_EQ(z80.SP, 0xA000);
    EXPECT_EQ(m.tstates, 100);
    EXPECT_FALSE(m.tape_save_trap());
}

// RET NZ fetched from the block loader's hook addresses calls the load trap after its
// first five T-states, whatever Z says; anywhere else it is a plain RET NZ.
TEST_F(Z80Tape, RetNzAtTheLoaderHookLoadsEvenWithZSet) {
    const struct {
        uint16_t at;
        bool hooked;
    } CASES[] = {{0x056B, true}, {0x0111, true}, {0x056C, false}, {0x0110, false}};
    for (const auto& c : CASES) {
        Spectrum& m = fresh_machine();
        Z80& z80 = m.z80;
        m.poke_rom(0, c.at, 0xC0); // RET NZ
        attach({0x03, 0x00, 0xFF, 0xAB, 0x00});
        z80.PC = c.at;
        z80.IX = 0x9000;
        z80.DE = 1;
        z80.SP = 0xA000;
        z80_poke(0xA000, {0x00, 0x80});
        z80.AF = FLAG_Z;
        m.tstates = 60000;
        m.z80_step();
        if (c.hooked) {
            EXPECT_EQ(z80_peek(0x9000), 0xAB) << std::hex << c.at;
            EXPECT_EQ(z80.PC, 0x8000) << std::hex << c.at;
            EXPECT_EQ(m.tstatesd, 5 + 3 + 6) << std::hex << c.at;
        } else {
            EXPECT_EQ(m.tape_pos, 0u) << std::hex << c.at;
            EXPECT_EQ(z80.PC, c.at + 1) << std::hex << c.at;
            EXPECT_EQ(m.tstatesd, 5) << std::hex << c.at;
        }
    }
}

TEST_F(Z80Tape, ExAfAfAtTheSaverHookStillExchanges) {
    // The save trap lets the ROM save as usual, so the exchange happens there too.
    for (const uint16_t at : {0x04D0, 0x0076, 0x04D1}) {
        Spectrum& m = fresh_machine();
        Z80& z80 = m.z80;
        m.poke_rom(0, at, 0x08);
        z80.PC = at;
        z80.AF = 0x1234;
        z80.AF_ = 0x5678;
        m.z80_step();
        EXPECT_EQ(z80.AF, 0x5678) << std::hex << at;
        EXPECT_EQ(z80.AF_, 0x1234) << std::hex << at;
        EXPECT_EQ(m.tstatesd, 4) << std::hex << at;
    }
}

} // namespace

// The work and the memory a tape may cost: loops, calls and pulses of no length stop the
// deck within its budget of steps, blocks that expand a hundredfold stop the tape at its
// bound of memory, and an image over the size limit is refused rather than cut.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/tzx.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"

namespace {
using Bytes = std::vector<uint8_t>;

void put(Bytes& b, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
Bytes block(uint8_t id, uint32_t length_field, int length_bytes, const Bytes& body) {
    Bytes b = {id};
    put(b, length_field, length_bytes);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
std::vector<TapeBlock> parse(const Bytes& image) {
    std::vector<TapeBlock> blocks;
    std::string why;
    EXPECT_TRUE(tzx_blocks(image, blocks, why)) << why;
    return blocks;
}
} // namespace

// Each tape loops for ever at little or no cost in time: the deck stops in its first frame
// with a message naming the block, having taken no more steps than the two windows the frame
// touches allow, and started again it stops again as soon.
TEST(TapeBounds, LoopsThatTakeNoTimeStopTheDeckWithinItsBudget) {
    Bytes zeros = {0x13, 40};
    for (int i = 0; i < 39; i++) put(zeros, 0, 2);
    put(zeros, 1, 2);
    Bytes returns = {0x26};
    put(returns, 1000, 2);
    for (int i = 0; i < 1000; i++) put(returns, 2, 2);
    const struct {
        const char* name;
        Bytes image;
        const char* fault;
    } CASES[] = {
        // 99 bytes: 65535 times 39 pulses of no length and one of 1 T-state, then again.
        {"zero pulses", tzx_image({{0x24, 0xFF, 0xFF}, zeros, {0x25}, {0x23, 0xFD, 0xFF}}),
         " TAPE BLOCK 13 AT 13 TOO FAST "},
        {"information only",
         tzx_image({{0x24, 0xFF, 0xFF},
                    {0x30, 1, 'a'},
                    {0x21, 1, 'g'},
                    {0x22},
                    {0x25},
                    {0x13, 1, 1, 0},
                    {0x23, 0xFA, 0xFF}}),
         " TAPE BLOCK 25 AT 20 TOO FAST "},
        {"calls", tzx_image({returns, {0x13, 1, 1, 0}, {0x27}, {0x23, 0xFD, 0xFF}}),
         " TAPE BLOCK 27 AT 2017 TOO FAST "},
    };
    for (const auto& c : CASES) {
        TapeDeck deck;
        deck.load(parse(c.image));
        for (int start = 0; start < 2; start++) {
            const uint64_t before = deck.work_done;
            deck.play(deck.frame_base);
            deck.run_to(deck.frame_base + TPF_48);
            EXPECT_FALSE(deck.playing) << c.name;
            EXPECT_EQ(deck.take_event(), TapeEvent::FAULT) << c.name;
            EXPECT_EQ(deck.fault, c.fault) << c.name;
            EXPECT_LE(deck.work_done - before, 2 * (TapeDeck::WORK_BUDGET + 1)) << c.name;
            deck.frame_base += TPF_48;
        }
    }
}

// Blocks of a few hundred bytes each expand into four million pulses: a generalized data
// symbol of 255 pulses repeated, a compressed CSW stream of one-sample pulses. The fifth
// passes the tape's bound: it becomes the stop that says so, and the memory stays within
// the bound. Zero-length TAP records, a block each, stop at the bound the same way.
TEST(TapeBounds, BlocksThatExpandStopAtTheTapesMemoryBound) {
    Bytes symbols = {0, 0};
    put(symbols, 1, 4);                       // TOTP
    symbols.insert(symbols.end(), {255, 1});  // NPP, ASP
    put(symbols, 0, 4);                       // TOTD
    symbols.insert(symbols.end(), {1, 1, 0}); // NPD, ASD, the symbol's flags
    for (int i = 0; i < 255; i++) put(symbols, 600, 2);
    symbols.push_back(0);
    put(symbols, 15300, 2); // the pilot stream: symbol 0, 15300 times
    const Bytes generalized = block(0x19, static_cast<uint32_t>(symbols.size()), 4, symbols);

    const Bytes ones(3900000, 1);
    Bytes packed(compressBound(ones.size()));
    uLongf packed_size = packed.size();
    ASSERT_EQ(compress(packed.data(), &packed_size, ones.data(), ones.size()), Z_OK);
    packed.resize(packed_size);
    Bytes csw = {0, 0, 0x44, 0xAC, 0x00, 2};
    put(csw, static_cast<uint32_t>(ones.size()), 4);
    csw.insert(csw.end(), packed.begin(), packed.end());
    const Bytes recording = block(0x18, static_cast<uint32_t>(csw.size()), 4, csw);

    for (const Bytes& b : {generalized, recording}) {
        const std::vector<TapeBlock> blocks = parse(tzx_image({b, b, b, b, b}));
        ASSERT_EQ(blocks.size(), 5u);
        EXPECT_EQ(blocks[3].kind, TapeBlock::SIGNAL);
        EXPECT_EQ(blocks[4].kind, TapeBlock::STOP);
        char message[48];
        std::snprintf(message, sizeof message, " TAPE BLOCK %02X AT %zu TOO LARGE ", b[0],
                      10 + 4 * b.size());
        EXPECT_EQ(blocks[4].message, message);
        EXPECT_LE(tape_memory(blocks), MOST_TAPE_MEMORY);
    }

    const std::vector<TapeBlock> records = tap_blocks_of(Bytes(2 * 500000, 0));
    ASSERT_LT(records.size(), 500000u);
    EXPECT_EQ(records.back().message,
              " TAPE BLOCK 10 AT " + std::to_string(2 * (records.size() - 1)) + " TOO LARGE ");
    EXPECT_LE(tape_memory(records), MOST_TAPE_MEMORY);
}

// A TAP image one byte over the limit is refused with the reason, the machine as it was; it
// is not attached cut short.
TEST(TapeBounds, TapeImagesOverTheLimitAreRefused) {
    TempDir dir;
    const std::string path = (dir.path() / "big.tap").string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    // Records of 65535 bytes from end to end, the file sparse between their lengths.
    for (size_t at = 0; at < TAPE_LIMIT; at += 65537) {
        std::fseek(f, static_cast<long>(at), SEEK_SET);
        std::fwrite("\xFF\xFF", 1, 2, f);
    }
    std::fseek(f, static_cast<long>(TAPE_LIMIT), SEEK_SET);
    std::fputc(0, f);
    std::fclose(f);
    const auto m = std::make_unique<Spectrum>();
    const LoadResult result = load_speccy(*m, path);
    EXPECT_EQ(result.status, LoadResult::REFUSED);
    EXPECT_NE(result.why.find("64 MiB"), std::string::npos) << result.why;
    EXPECT_FALSE(m->tape_deck.attached());
}

// The tape deck: the EAR bit at the T-state of each read, pauses, frame ends, the TZX
// control blocks, the parser's limits, starting and stopping, and the traps around it.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/tzx.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"

namespace {
using Bytes = std::vector<uint8_t>;

Bytes tone(uint16_t len, uint16_t count) {
    return {0x12, static_cast<uint8_t>(len), static_cast<uint8_t>(len >> 8),
            static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
}
Bytes pause_block(uint16_t ms) {
    return {0x20, static_cast<uint8_t>(ms), static_cast<uint8_t>(ms >> 8)};
}

std::vector<TapeBlock> parse(const Bytes& image, std::string* why = nullptr) {
    std::vector<TapeBlock> blocks;
    std::string reason;
    EXPECT_TRUE(tzx_blocks(image, blocks, reason)) << reason;
    if (why) *why = reason;
    return blocks;
}

// Attaches a TZX image to a fresh machine of `model` and starts it at tstates `start`.
Spectrum& playing(const Bytes& image, int model, int32_t start) {
    Spectrum& m = fresh_machine();
    m.model = model;
    m.tpf = m.tpf_for_model();
    m.attach_tape_blocks(image, parse(image));
    m.tstates = start;
    m.tape_play();
    return m;
}

// XDG_DATA_HOME for the life of the object, then as it was.
struct DataHome {
    explicit DataHome(const std::filesystem::path& dir) {
        if (const char* old = std::getenv("XDG_DATA_HOME")) old_ = old, had_ = true;
        setenv("XDG_DATA_HOME", dir.c_str(), 1);
    }
    ~DataHome() { had_ ? setenv("XDG_DATA_HOME", old_.c_str(), 1) : unsetenv("XDG_DATA_HOME"); }
    std::string old_;
    bool had_ = false;
};

// The EAR bit of an untimed ULA read at `t` in the current frame.
int ear_at(Spectrum& m, int32_t t) {
    m.tstates = t;
    return (m.readport_internal(0x7FFE) >> 6) & 1;
}
} // namespace

// Two pulses of 1000 T-states and a 5 ms pause: high, low, then the edge that ends the last
// pulse holds 1 ms (3500 T-states) and the level goes low for the rest.
TEST(TapeDeck, EarFollowsPulsesAndThePauseToTheTState) {
    Spectrum& m = playing(tzx_image({tone(1000, 2), pause_block(5)}), 48, 100);
    const struct {
        int32_t t;
        int level;
    } READS[] = {{100, 1},  {1099, 1}, {1100, 0}, {2099, 0},
                 {2100, 1}, {5599, 1}, {5600, 0}, {19599, 0}};
    for (const auto& r : READS) EXPECT_EQ(ear_at(m, r.t), r.level) << "at " << r.t;
    EXPECT_TRUE(m.tape_deck.playing);
    ear_at(m, 100 + 2000 + 5 * 3500); // the pause over: the tape is at its end
    EXPECT_FALSE(m.tape_deck.playing);
    EXPECT_EQ(m.tape_deck.take_event(), TapeEvent::END);
}

// An edge that falls after the frame end is heard at the same absolute T-state of the next
// frame, on both frame lengths. The 128K plays the tape's 3.5 MHz T-states at its own
// 3.5469 MHz: a pulse of 3000 lasts 3040.2 of its T-states.
TEST(TapeDeck, EdgesKeepTheirTimeAcrossFrameEnds) {
    for (const int model : {48, 128}) {
        Spectrum& m = playing(tzx_image({tone(3000, 4)}), model, 0);
        const int32_t tpf = m.tpf;
        const int32_t start = tpf - 1000;
        const int32_t second = model == 48 ? 2000 : 2040, third = model == 48 ? 5000 : 5080;
        m.tape_rewind();
        m.tstates = start;
        m.tape_play(); // edges at tpf - 1000, tpf + second, tpf + third
        EXPECT_EQ(ear_at(m, tpf - 1), 1) << model;
        m.tstates = tpf + 10; // the last instruction's overshoot
        uint8_t slot[SAMPLES_PER_FRAME];
        m.beeper_frame_end(slot);
        m.end_logical_frame();
        EXPECT_EQ(m.tstates, 10);
        EXPECT_EQ(ear_at(m, second - 1), 1) << model;
        EXPECT_EQ(ear_at(m, second), 0) << model;
        EXPECT_EQ(ear_at(m, third - 1), 0) << model;
        EXPECT_EQ(ear_at(m, third), 1) << model;
    }
}

// A tape keeps real time on the 128K's faster clock: the fractions of each scaled pulse are
// carried, so the 1000th edge of a 2168 T-state pilot falls where 1000 pulses of real time
// end (2,197,051.2 of the 128K's T-states), not 1000 rounded pulses on (2,197,000).
TEST(TapeDeck, The128KPlaysATapeInRealTime) {
    TapeDeck deck;
    deck.load(parse(tzx_image({tone(2168, 1001)})));
    deck.cpu_hz = CLOCK_HZ_128;
    deck.record_edges = true;
    deck.play(0);
    deck.run_to(3000000);
    ASSERT_EQ(deck.edge_times.size(), 1001u);
    EXPECT_EQ(deck.edge_times[1], 2197);
    EXPECT_EQ(deck.edge_times[1000], 2197051);
    EXPECT_EQ(deck.edge_times[1000] - deck.edge_times[999], 2197); // 2197.05 carried on
}

// IN A,(0xFE) reads the port 10 T-states into the instruction (4 + 3, then 1 and 2 of the
// port cycle, no contention in the top border): the level at that T-state is the one read.
TEST(TapeDeck, AnInstructionReadsTheLevelAtItsOwnPortCycle) {
    for (const int32_t offset : {-1, 0}) {
        Spectrum& m = playing(tzx_image({tone(2000, 2)}), 48, 1000); // edges at 1000 and 3000
        z80_poke(0x8000, {0xDB, 0xFE});                              // IN A,(0xFE)
        m.z80.PC = 0x8000;
        m.z80.AF = 0x7F00;
        m.tstates = 3000 - 10 + offset;
        m.z80_step();
        const int level = (m.z80.AF >> 14) & 1;
        EXPECT_EQ(level, offset < 0 ? 1 : 0) << "instruction starting " << -offset << " early";
    }
}

// A loop block with a counter, a jump and a call sequence play in the right order; the
// information blocks and an unknown block with a length are passed over.
TEST(TapeDeck, LoopJumpAndCallSequencePlayInOrder) {
    const Bytes image = tzx_image({
        tone(1000, 1),                  // 0  A
        {0x24, 3, 0},                   // 1  loop 3 times
        tone(2000, 1),                  // 2  B
        {0x25},                         // 3  loop end
        {0x23, 2, 0},                   // 4  jump to 6
        tone(3000, 1),                  // 5  C, never played
        {0x26, 2, 0, 4, 0, 6, 0},       // 6  call 10, then 12
        {0x30, 3, 'a', 'b', 'c'},       // 7  text
        tone(4000, 1),                  // 8  D, after the calls
        {0x20, 0, 0},                   // 9  stop the tape
        tone(5000, 1),                  // 10 E
        {0x27},                         // 11 return
        {0x4B, 2, 0, 0, 0, 0xAA, 0xBB}, // 12 unknown, 2 bytes long
        {0x21, 1, 'g'},                 // 13 group start
        tone(6000, 1),                  // 14 F
        {0x22},                         // 15 group end
        {0x27},                         // 16 return
    });
    TapeDeck deck;
    deck.load(parse(image));
    ASSERT_EQ(deck.blocks.size(), 17u);
    deck.record_edges = true;
    deck.play(0);
    deck.run_to(1000000);
    EXPECT_FALSE(deck.playing);
    EXPECT_EQ(deck.take_event(), TapeEvent::STOP);
    EXPECT_EQ(deck.index, 10u) << "the deck waits after the stop block";
    const std::vector<int32_t> starts = {0, 1000, 3000, 5000, 7000 /*E*/, 12000 /*F*/, 18000 /*D*/};
    EXPECT_EQ(deck.edge_times, starts);
}

// A cut-off or malformed block ends the list with a stop naming it and its offset; what
// came before it plays. An image without the signature is refused.
TEST(TapeDeck, UnreadableBlocksStopTheTapeWithTheirOffset) {
    std::string why;
    const struct {
        Bytes block;
        const char* message;
    } CASES[] = {
        {{0x11, 1, 2, 3}, " TAPE BLOCK 11 AT 15 UNREADABLE "},
        {{0x10, 0xE8, 0x03, 0x10, 0x00, 0xFF}, " TAPE BLOCK 10 AT 15 UNREADABLE "},
        {{0x4B, 0xFF, 0xFF, 0, 0, 1}, " TAPE BLOCK 4B AT 15 UNREADABLE "},
        {{0x23, 0, 0}, " TAPE BLOCK 23 AT 15 UNREADABLE "},
        // A pilot stream naming symbol 5 of an alphabet of one.
        {{0x19, 20, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 100, 0, 5, 1, 0},
         " TAPE BLOCK 19 AT 15 UNREADABLE "},
    };
    for (const auto& c : CASES) {
        const std::vector<TapeBlock> blocks = parse(tzx_image({tone(100, 2), c.block}));
        ASSERT_EQ(blocks.size(), 2u);
        EXPECT_EQ(blocks[1].kind, TapeBlock::STOP);
        EXPECT_EQ(blocks[1].message, c.message);
        TapeDeck deck;
        deck.load(blocks);
        deck.play(0);
        deck.run_to(10000);
        EXPECT_EQ(deck.take_event(), TapeEvent::FAULT);
        EXPECT_EQ(deck.fault, c.message);
    }
    std::vector<TapeBlock> blocks;
    EXPECT_FALSE(tzx_blocks({'Z', 'X', 'T', 'a', 'p', 'e', '?', 0x1A, 1, 20}, blocks, why));
    EXPECT_FALSE(why.empty());
}

// A program that reads the EAR bit in a tight loop starts the tape; reads a frame apart (the
// ROM's keyboard scan) never do.
TEST(TapeDeck, TightPollingStartsTheTape) {
    for (const int32_t gap : {40, 5000}) {
        Spectrum& m = fresh_machine();
        const Bytes image = tzx_image({tone(1000, 100)});
        m.attach_tape_blocks(image, parse(image));
        int reads = 0;
        for (int32_t t = 0; t < 60000 && !m.tape_deck.playing; t += gap, reads++) ear_at(m, t);
        if (gap < 1000) {
            EXPECT_TRUE(m.tape_deck.playing);
            EXPECT_EQ(reads, static_cast<int>(TapeDeck::POLL_RUN));
        } else {
            EXPECT_FALSE(m.tape_deck.playing);
        }
    }
}

// A tape that started itself and that no loader listens to (a program that reads the port
// once a frame, as the keyboard scan does) stops after three seconds; one started with F11
// plays on until F11 stops it; a tape that ends says so.
TEST(TapeDeck, PlayStopAndTheirMessages) {
    Session& s = fresh_session();
    use_code_charset();
    const Bytes image = tzx_image({tone(1000, 60000)});
    s.machine.attach_tape_blocks(image, parse(image));
    s.machine.poke_rom(0, 0x38, 0xFB);                                  // EI
    s.machine.poke_rom(0, 0x39, 0xC9);                                  // RET
    z80_poke(0x8000, {0xED, 0x56, 0xFB, 0x76, 0xDB, 0xFE, 0x18, 0xFB}); // IM 1; EI; HALT;
    s.machine.z80.PC = 0x8000;                                          // IN A,(0xFE); JR
    auto row23 = [] {
        std::string row = text_row(MESSAGE_ROW);
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    };
    int pumps = 0; // F11 down at the first pump of events only
    test_host().on_pump = [&pumps] { test_host().keys[key::F11] = pumps++ == 0; };
    s.run_machine(s.logical_frames + 2);
    test_host().on_pump = nullptr;
    EXPECT_TRUE(s.machine.tape_deck.playing);
    EXPECT_EQ(row23(), " TAPE PLAY");
    s.run_machine(s.logical_frames + 200); // four seconds
    EXPECT_TRUE(s.machine.tape_deck.playing) << "started by hand";
    s.tape_key();
    EXPECT_FALSE(s.machine.tape_deck.playing);
    s.machine.tape_play();                 // as a loader starts it
    s.run_machine(s.logical_frames + 140); // under three seconds
    EXPECT_TRUE(s.machine.tape_deck.playing);
    s.run_machine(s.logical_frames + 20);
    EXPECT_FALSE(s.machine.tape_deck.playing);
    EXPECT_EQ(row23(), " TAPE STOP");
    // Playing to the end (a short tape now): the end is shown.
    const Bytes short_image = tzx_image({tone(1000, 10)});
    s.machine.attach_tape_blocks(short_image, parse(short_image));
    s.machine.tape_play();
    s.run_machine(s.logical_frames + 2);
    EXPECT_EQ(row23(), " TAPE END");
}

// The ROM's loader entered with a turbo block next: the trap lifts the loader patch and lets
// the loader start; at its own RET NZ (SA/LD-RET on the stack) the patch goes back and the
// tape plays. With a standard block next, the trap takes it at once; with none, the loader
// starts and listens.
TEST(TapeDeck, TheLoadTrapTakesStandardBlocksAndLetsTheLoaderHearTheRest) {
    Spectrum& m = fresh_machine();
    m.poke_rom(0, 0x0556, 0xF3);
    m.poke_rom(0, 0x0557, 0x14);
    m.poke_rom(0, 0x0558, 0x08);
    const Bytes turbo = {0x11, 0x78, 0x05, 0xC2, 0x01, 0xF4, 0x01, 0x44, 0x02, 0x88, 0x04,
                         0x10, 0x00, 8,    0xE8, 0x03, 2,    0,    0,    0xFF, 0x42};
    const Bytes standard = {0x10, 0xE8, 0x03, 4, 0, 0xFF, 0x11, 0x22, 0xCC};
    const Bytes image = tzx_image({turbo, {0x30, 1, 'x'}, standard});
    m.attach_tape_blocks(image, parse(image));
    ASSERT_EQ(m.basic_rom()[0x0556], 0xC3) << "attached: the loader is patched";
    m.z80.SP = 0xA000;
    z80_poke(0xA000, {0x34, 0x12});
    EXPECT_TRUE(m.tape_load_trap());
    EXPECT_EQ(m.z80.PC, 0x0556);
    EXPECT_EQ(m.basic_rom()[0x0556], 0xF3) << "the loader's own start runs";
    EXPECT_FALSE(m.tape_deck.playing);
    m.z80.SP = 0x9FFE;
    z80_poke(0x9FFE, {0x3F, 0x05}); // SA/LD-RET, pushed by the loader
    EXPECT_FALSE(m.tape_load_trap()) << "the loader's RET NZ runs as usual";
    EXPECT_EQ(m.basic_rom()[0x0556], 0xC3);
    EXPECT_TRUE(m.tape_deck.playing);

    // The turbo block played out: the next call takes the standard block at once.
    m.tape_deck.run_to(m.tape_now() + 5000000); // into the pilot of the standard block
    m.tape_stop();
    m.z80.SP = 0xA000;
    m.z80.IX = 0x9000;
    m.z80.DE = 2;
    EXPECT_TRUE(m.tape_load_trap());
    EXPECT_EQ(z80_peek(0x9000), 0x11);
    EXPECT_EQ(z80_peek(0x9001), 0x22);
    EXPECT_EQ(m.z80.PC, 0x1234);
    EXPECT_TRUE(m.tape_deck.at_end());
    // No block left: the loader's own start runs and listens; nothing is stored.
    m.z80.SP = 0xA000;
    EXPECT_TRUE(m.tape_load_trap());
    EXPECT_EQ(m.z80.PC, 0x0556);
    EXPECT_EQ(z80_peek(0x9002), 0);
    EXPECT_EQ(m.tape_deck.take_event(), TapeEvent::END);
}

// The ROM's saver hands each block over as a TAP record and returns through the address it
// pushed; without tape_saves it saves as ever.
TEST(TapeDeck, TheSaveTrapMakesTapRecords) {
    Spectrum& m = fresh_machine();
    m.tape_saves = 1;
    z80_poke(0x9000, {0x01, 0x02, 0x04});
    m.z80.IX = 0x9000;
    m.z80.DE = 3;
    m.z80.AF = 0xFF45;
    m.z80.SP = 0xA000;
    z80_poke(0xA000, {0x3F, 0x05});
    EXPECT_TRUE(m.tape_save_trap());
    ASSERT_EQ(m.saved_blocks.size(), 1u);
    EXPECT_EQ(m.saved_blocks[0], (Bytes{5, 0, 0xFF, 1, 2, 4, 0xFF ^ 7}));
    EXPECT_EQ(m.z80.PC, 0x053F);
    EXPECT_EQ(m.z80.SP, 0xA002);
    m.tape_saves = 0;
    EXPECT_FALSE(m.tape_save_trap());
    EXPECT_EQ(m.saved_blocks.size(), 1u);
}

// The key that confirmed a SAVE may still be down when the header goes: the trap waits at
// the hook, interrupts off, until it is let go, and hands a header over only with the data
// that follows it.
TEST(TapeDeck, TheSaveTrapWaitsForTheKeysAndKeepsNoLoneHeader) {
    Spectrum& m = fresh_machine();
    m.tape_saves = 1;
    m.z80.IFF1 = 1;
    m.key_rows[7] = 0x01; // SPACE
    for (const uint16_t count : {17, 17, 3}) {
        m.z80.AF = count == 17 ? 0x0045 : 0xFF45;
        m.z80.DE = count;
        m.z80.SP = 0xA000;
        m.z80.PC = 0x04D1;
        z80_poke(0xA000, {0x3F, 0x05});
        m.tstates += 500;
        EXPECT_TRUE(m.tape_save_trap());
        EXPECT_EQ(m.z80.PC, m.key_rows[7] ? 0x04D0 : 0x053F);
        EXPECT_EQ(m.saved_blocks.size(), count == 17 ? 0u : 2u);
        m.key_rows[7] = 0;
    }
    EXPECT_EQ(m.z80.IFF1, 0);
}

// While a tape plays as a signal the loop shows a frame only now and then and mutes the
// sound; with tape_sound it shows every frame and the signal is in the sound.
TEST(TapeDeck, FastLoadingShowsFewFramesAndTapeSoundMixesTheSignal) {
    for (const bool sound : {false, true}) {
        Session& s = fresh_session();
        s.sound.mix.coupling = false; // the signal's own level, not sinking back to 0
        s.tape_sound = sound;
        const Bytes image = tzx_image({tone(700, 60000)});
        s.machine.attach_tape_blocks(image, parse(image));
        z80_poke(0x8000, {0xF3, 0xDB, 0xFE, 0x18, 0xFC}); // DI; IN A,(0xFE); JR back
        s.machine.z80.PC = 0x8000;
        s.machine.tape_play();
        s.run_machine(s.logical_frames + 100);
        ASSERT_TRUE(s.machine.tape_deck.playing);
        // 120 physical frames: every one shown, or one a tenth of a second of real time.
        const uint64_t presents = test_host().stats.presents;
        if (sound) EXPECT_EQ(presents, s.physical_frames);
        else EXPECT_LT(presents, s.physical_frames / 4);
        int mixed = 0;
        for (const StereoSample sample : s.sound.AUDBUF) mixed += sample == beeper_sample(0x7F);
        if (sound) EXPECT_GT(mixed, 1000) << "half-level samples: the signal without the beeper";
        else EXPECT_EQ(mixed, 0);
    }
}

// A .tzx name attaches a TZX image (the requester lists it too); a file without the
// signature is refused and leaves the attached tape as it was.
TEST(TapeDeck, TzxFilesLoadAndAreListed) {
    TempDir dir;
    Spectrum& m = fresh_machine();
    dir.file("good.TZX", tzx_image({tone(1000, 3), pause_block(10)}));
    dir.file("bad.tzx", {'n', 'o', 't', ' ', 'a', ' ', 't', 'a', 'p', 'e', 0x12});
    ASSERT_TRUE(load_speccy(m, "good.TZX"));
    EXPECT_TRUE(m.is_tape);
    EXPECT_EQ(m.tape_deck.blocks.size(), 2u);
    const LoadResult bad = load_speccy(m, "bad.tzx");
    EXPECT_EQ(bad.status, LoadResult::REFUSED);
    EXPECT_NE(bad.why.find("TZX"), std::string::npos) << bad.why;
    EXPECT_EQ(m.tape_deck.blocks.size(), 2u) << "the good tape stays attached";
    for (const char* name : {"game.tzx", "GAME.TZX", "gametzx"})
        EXPECT_TRUE(requester_lists(name, false)) << name;
    EXPECT_FALSE(requester_lists("game.tzxx", false));
}

// Saved blocks go to the file the session saves to, named on row 23; a write that fails
// says so and leaves the file as it was.
TEST(TapeDeck, SavedBlocksAreAppendedOrTheFailureShown) {
    TempDir dir;
    Session& s = fresh_session();
    use_code_charset();
    auto row23 = [] {
        std::string row = text_row(MESSAGE_ROW);
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    };
    const Bytes old = {2, 0, 0xFF, 0xFF};
    dir.file("old.tap", old);
    s.files.save_tape_path = (dir.path() / "old.tap").string();
    s.machine.saved_blocks = {{3, 0, 0xFF, 7, 0xF8}};
    s.tape_frame();
    EXPECT_EQ(row23(), " SAVED old.tap");
    EXPECT_EQ(read_file(dir.path() / "old.tap"), (Bytes{2, 0, 0xFF, 0xFF, 3, 0, 0xFF, 7, 0xF8}));
    EXPECT_TRUE(s.machine.saved_blocks.empty());

    // A disk that fills up part of the way: what went on is taken off again.
    rlimit limit{}, old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    limit = old_limit;
    limit.rlim_cur = 11;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    s.machine.saved_blocks = {{4, 0, 0, 1, 2, 3}};
    s.tape_frame();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_EQ(row23(), " SAVE FAILED");
    EXPECT_EQ(read_file(dir.path() / "old.tap"), (Bytes{2, 0, 0xFF, 0xFF, 3, 0, 0xFF, 7, 0xF8}));
    EXPECT_NE(s.files.tape_save_failure.find("old.tap: File too large"), std::string::npos)
        << s.files.tape_save_failure;
}

// An append never reads back or rewrites the tape: one past the size a tape is read to keeps
// its tail; a write-protected one keeps its bytes and mode, and the blocks go to a new file
// in the data directory.
TEST(TapeDeck, SavesNeverRewriteTheTapeFile) {
    TempDir dir;
    Session& s = fresh_session();
    use_code_charset();
    const Bytes block = {3, 0, 0xFF, 7, 0xF8};
    auto save_to = [&s, &block](const std::string& path, int64_t length) {
        s.files.save_tape_path = path;
        s.files.save_tape_length = length;
        s.machine.saved_blocks = {block};
        s.tape_frame();
        std::string row = text_row(MESSAGE_ROW);
        return row.erase(row.find_last_not_of(' ') + 1);
    };
    const uint64_t big = TAPE_LIMIT + 3;
    {
        std::ofstream out(dir.path() / "big.tap", std::ios::binary);
        out.seekp(static_cast<std::streamoff>(big - 3));
        out.write("end", 3);
    }
    EXPECT_EQ(save_to("big.tap", static_cast<int64_t>(big)), " SAVED big.tap");
    const Bytes image = read_file(dir.path() / "big.tap");
    ASSERT_EQ(image.size(), big + block.size());
    EXPECT_EQ(Bytes(image.end() - 8, image.end()), (Bytes{'e', 'n', 'd', 3, 0, 0xFF, 7, 0xF8}));

    const DataHome data_home(dir.path() / "data");
    dir.file("locked.tap", {2, 0, 0xFF, 0xFF});
    const auto read_only = std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                           std::filesystem::perms::others_read;
    std::filesystem::permissions(dir.path() / "locked.tap", read_only);
    EXPECT_EQ(save_to("locked.tap", 4), " READ-ONLY: SAVED TO DATA DIR");
    EXPECT_EQ(read_file(dir.path() / "locked.tap"), (Bytes{2, 0, 0xFF, 0xFF}));
    EXPECT_EQ(std::filesystem::status(dir.path() / "locked.tap").permissions(), read_only);
    std::vector<std::filesystem::path> saved;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() / "data/marrowgleam"))
        saved.push_back(e.path());
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(read_file(saved[0]), block);
}

// A SAVE onto the attached TAP image goes onto the deck as well, after the blocks it
// holds: the deck, at its end after loading, plays the new block, and the load trap takes
// it from the image. A tape that is not the file saved to keeps its blocks.
TEST(TapeDeck, BlocksSavedToTheAttachedTapeCanBeLoadedAtOnce) {
    TempDir dir;
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    dir.file("deck.tap", {2, 0, 0xFF, 0xFF});
    ASSERT_TRUE(s.load_file((dir.path() / "deck.tap").string()));
    m.tape_deck.taken(0); // the first block was loaded
    ASSERT_TRUE(m.tape_deck.at_end());
    m.saved_blocks = {{3, 0, 0xFF, 7, 0xF8}};
    s.tape_frame();
    EXPECT_EQ(m.tape, read_file(dir.path() / "deck.tap"));
    ASSERT_EQ(m.tape_deck.blocks.size(), 2u);
    EXPECT_FALSE(m.tape_deck.at_end());
    EXPECT_EQ(m.tape_deck.next_standard_block(), 1);
    EXPECT_EQ(m.tape_deck.blocks[1].record_offset, 4u);
    EXPECT_EQ(m.tape_deck.blocks[1].data, (Bytes{0xFF, 7, 0xF8}));

    // A TZX image attached: the saves go to a new file, the deck keeps its one block.
    const Bytes image = tzx_image({tone(1000, 2)});
    dir.file("t.tzx", image);
    ASSERT_TRUE(s.load_file((dir.path() / "t.tzx").string()));
    const char* const old = std::getenv("XDG_DATA_HOME");
    const std::string old_value = old ? old : "";
    setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    m.saved_blocks = {{3, 0, 0xFF, 7, 0xF8}};
    s.tape_frame();
    if (old) setenv("XDG_DATA_HOME", old_value.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(m.tape_deck.blocks.size(), 1u);
    EXPECT_EQ(m.tape, image);
}

// "Stop the tape if in 48K mode" stops only a 48K machine; "set signal level" sets the level
// the next pulse starts from.
TEST(TapeDeck, StopIn48KModeAndSetSignalLevel) {
    const Bytes image = tzx_image({tone(1000, 1),
                                   {0x2A, 0, 0, 0, 0},
                                   {0x2B, 1, 0, 0, 0, 0},
                                   {0x13, 1, 0xD0, 0x07},
                                   {0x2B, 1, 0, 0, 0, 1},
                                   {0x13, 1, 0xD0, 0x07}});
    for (const bool is48 : {true, false}) {
        TapeDeck deck;
        deck.load(parse(image));
        deck.machine_48k = is48;
        deck.play(0);
        EXPECT_EQ(deck.level_at(999), 1);
        deck.level_at(1000);
        if (is48) {
            EXPECT_FALSE(deck.playing);
            EXPECT_EQ(deck.take_event(), TapeEvent::STOP);
            continue;
        }
        // Low set, then the pulse's edge: high for 2000 (without the set, low); high set
        // again, the edge: low.
        EXPECT_EQ(deck.level_at(1000), 1);
        EXPECT_EQ(deck.level_at(2999), 1);
        EXPECT_EQ(deck.level_at(3000), 0);
        EXPECT_TRUE(deck.playing);
        deck.level_at(5000);
        EXPECT_EQ(deck.take_event(), TapeEvent::END);
    }
}

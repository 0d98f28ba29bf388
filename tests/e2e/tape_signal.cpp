// Tapes played as a signal. The project's test tape, as a TAP image and as every kind of
// TZX data block (made by tools/mktzx), is loaded by a loader of the test's own that times
// the EAR edges itself (tests/programs/edge_loader.asm); the ROM's own loader hears the TAP
// image with the trap off; the trap still takes standard blocks of a TZX image at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
// Where tests/programs/edge_loader.asm keeps its parameters.
constexpr uint16_t LOADER = 0x8000, HALF = 0x8003, STATUS = 0x8004, DEST = 0x8005, BLOCKS = 0x8007,
                   LENGTHS = 0x8008;
constexpr uint16_t STOPPED = 0x7000; // where the loader returns to: DI, JR $
constexpr uint16_t LOADED_AT = 0xC000;
// The loop counts between a short and a long half-pulse: 46 T-states a pass.
constexpr uint8_t HALF_STANDARD = 28, HALF_TURBO = 19;

std::string program(const std::string& name) { return binary_path("tests/programs/" + name); }

void poke(Spectrum& m, uint16_t at, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); i++)
        m.SLTWR[(at + i) >> 14 & 3][(at + i) & 0x3FFF] = bytes[i];
}

std::vector<uint8_t> peek(const Spectrum& m, uint16_t at, size_t n) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < n; i++)
        bytes.push_back(m.readbyte_internal(static_cast<uint16_t>(at + i)));
    return bytes;
}

struct EdgeLoad {
    int status = -1;
    std::vector<uint8_t> loaded, expected;
    uint64_t frames = 0;
};

// Attaches `tape`, puts the edge loader in and runs it (the tape starts by itself when the
// loader polls the EAR bit) until it reports, for at most `frame_limit` frames.
EdgeLoad edge_load(const std::string& tape, uint8_t half, int model, uint64_t frame_limit) {
    EdgeLoad result;
    const std::vector<TapBlock> blocks = tap_blocks(read_file(program("tape_program.tap")));
    if (blocks.size() != 4) return result;
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    m.model = model;
    m.tpf = m.tpf_for_model();
    if (!s.load_file(tape)) return result;
    poke(m, LOADER, read_file(program("edge_loader.bin")));
    std::vector<uint8_t> lengths;
    for (const TapBlock& b : blocks) {
        lengths.push_back(static_cast<uint8_t>(b.body.size()));
        lengths.push_back(static_cast<uint8_t>(b.body.size() >> 8));
        result.expected.insert(result.expected.end(), b.body.begin(), b.body.end());
    }
    poke(m, HALF, {half});
    poke(m, DEST, {LOADED_AT & 0xFF, LOADED_AT >> 8});
    poke(m, BLOCKS, {static_cast<uint8_t>(blocks.size())});
    poke(m, LENGTHS, lengths);
    poke(m, STOPPED, {0xF3, 0x18, 0xFE});
    poke(m, 0x7FFE, {STOPPED & 0xFF, STOPPED >> 8});
    m.z80.SP = 0x7FFE;
    m.z80.PC = LOADER;
    while (s.logical_frames < frame_limit && m.readbyte_internal(STATUS) == 0)
        s.run_machine(s.logical_frames + 1);
    result.status = m.readbyte_internal(STATUS);
    result.loaded = peek(m, LOADED_AT, result.expected.size());
    result.frames = s.logical_frames;
    return result;
}
} // namespace

TEST(TapeSignal, EveryKindOfDataBlockLoadsThroughALoaderThatTimesTheEdges) {
    const struct {
        const char* file;
        uint8_t half;
        int model;
    } CASES[] = {
        {"tape_program.tap", HALF_STANDARD, 48},
        {"tape_program_standard.tzx", HALF_STANDARD, 48},
        {"tape_program_turbo.tzx", HALF_TURBO, 48},
        {"tape_program_turbo.tzx", HALF_TURBO, 128},
        {"tape_program_pulses.tzx", HALF_TURBO, 48},
        {"tape_program_direct.tzx", HALF_TURBO, 48},
        {"tape_program_csw.tzx", HALF_TURBO, 128},
        {"tape_program_generalized.tzx", HALF_TURBO, 48},
    };
    for (const auto& c : CASES) {
        SCOPED_TRACE(std::string(c.file) + " on the " + std::to_string(c.model) + "K frame");
        const EdgeLoad load = edge_load(program(c.file), c.half, c.model, 2500);
        ASSERT_FALSE(load.expected.empty()) << "the test tape is missing";
        EXPECT_EQ(load.status, 1) << "the loader should report every block loaded";
        EXPECT_EQ(load.loaded, load.expected);
    }
}

// The same loader with the wrong idea of the timing must fail: the bytes above come from the
// signal, not from anything else.
TEST(TapeSignal, TheLoaderDependsOnTheTiming) {
    const EdgeLoad load = edge_load(program("tape_program_turbo.tzx"), HALF_STANDARD, 48, 2500);
    ASSERT_FALSE(load.expected.empty());
    EXPECT_NE(load.loaded, load.expected);
}

namespace {
// Where tests/programs/tape_code.asm and the BASIC loader put things.
constexpr uint16_t CODE = 32768;
const std::string LOAD_KEYS = "100:type LOAD \"\"<enter>";

std::string row(const RunnerResult& run, size_t n) {
    return n < run.rows.size() ? run.rows[n] : "";
}
} // namespace

// The ROM's loader, the trap off: every block comes from the signal, and the program runs.
TEST(TapeSignal, TheRomLoaderHearsTheTapeWithTheTrapOff) {
    TempDir dir;
    const std::vector<TapBlock> blocks = tap_blocks(read_file(program("tape_program.tap")));
    ASSERT_EQ(blocks.size(), 4u);
    const std::vector<uint8_t> code = blocks[3].data();
    const RunnerResult run =
        run_runner({"--quiet", "--text", "--frames", "1500", "--keys", LOAD_KEYS, "--no-tape-trap",
                    "--dump", std::to_string(CODE) + ":" + std::to_string(code.size()) + ":code",
                    program("tape_program.tap")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(row(run, 2), "MARROWGLEAM TAPE TEST") << run.out;
    EXPECT_EQ(row(run, 4), "BACK IN BASIC") << run.out;
    EXPECT_EQ(read_file("code"), code);
    EXPECT_NE(run.err.find("tape: block 4 of 4, at its end"), std::string::npos) << run.err;
}

// With the trap on, a TZX image's standard blocks are taken at once: the program is in and
// running long before the signal could have brought it, and the tape never played.
TEST(TapeSignal, TheTrapTakesStandardTzxBlocksAtOnce) {
    TempDir dir;
    const RunnerResult run = run_runner({"--quiet", "--text", "--frames", "300", "--keys",
                                         LOAD_KEYS, program("tape_program_standard.tzx")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(row(run, 2), "MARROWGLEAM TAPE TEST") << run.out;
    EXPECT_EQ(row(run, 4), "BACK IN BASIC") << run.out;
    EXPECT_NE(run.err.find("tape: block 4 of 4, at its end"), std::string::npos) << run.err;
}

// A script plays and stops the tape, and the runner says where it stopped.
TEST(TapeSignal, RunnerScriptPlaysAndStopsTheTape) {
    TempDir dir;
    // The header's pilot alone lasts 5 s (250 frames): stopped inside the first block.
    const RunnerResult run =
        run_runner({"--quiet", "--frames", "120", "--keys", "10:tape play;60:tape stop",
                    program("tape_program_turbo.tzx")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("tape: block 1 of 4 (ID 11 at offset 10), stopped"), std::string::npos)
        << run.err;
    const RunnerResult bad = run_runner({"--keys", "10:tape rewind", "x.tzx"});
    EXPECT_EQ(bad.status, 2);
}

// A tape made from this project's own BASIC loader and machine code, loaded through the
// ROM's LOAD "" typed on the keyboard, with the block loader trapped: the program must run,
// and every block must land in memory as the image holds it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
// The key script of a user who types LOAD "" and Enter.
const std::string LOAD_KEYS = "100:type LOAD \"\"<enter>";

// Where tests/programs/tape_code.asm puts things.
constexpr uint16_t CODE = 32768;
constexpr uint16_t PATTERN = 0x9000;
constexpr uint16_t BLOCKS = 0xA000;
constexpr uint16_t RESULTS = 0xA800;
constexpr size_t TAIL = 32; // the unused table that ends the code

// The system variables the ROM keeps for the BASIC program.
constexpr uint16_t SYSVARS = 23552, VARS = 23627, PROG = 23635, BORDCR = 23624;

const std::string BUILT_TAPE = binary_path("tests/programs/tape_program.tap");

// The tape's four blocks: the loader's header and program, the code's header and bytes.
struct TestTape {
    std::vector<uint8_t> image;
    std::vector<TapBlock> blocks;
};

TestTape test_tape() {
    TestTape tape{read_file(BUILT_TAPE), {}};
    tape.blocks = tap_blocks(tape.image);
    return tape;
}

int word(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }

std::vector<uint8_t> slice(const std::vector<uint8_t>& bytes, size_t at, size_t n) {
    return {bytes.begin() + at, bytes.begin() + at + n};
}

std::string row(const RunnerResult& run, size_t n) {
    return n < run.rows.size() ? run.rows[n] : "";
}

class TapeProgram : public testing::Test {
  protected:
    void SetUp() override {
        tape_ = test_tape();
        ASSERT_EQ(tape_.blocks.size(), 4u) << "the built tape should hold two headers and "
                                              "their two data blocks";
        ASSERT_EQ(tape_.blocks[2].body[1], 3) << "the second header should be a CODE header";
        ASSERT_EQ(word(tape_.blocks[2].body, 14), CODE) << "the code should load at 32768";
    }

    std::vector<uint8_t> code() const { return tape_.blocks[3].data(); }

    // Runs the runner on `tape_file` with LOAD "" typed, plus `more` arguments.
    static RunnerResult load_tape(const std::string& tape_file, const std::string& frames,
                                  const std::vector<std::string>& more) {
        std::vector<std::string> args = {"--quiet", "--text", "--frames",
                                         frames,    "--keys", LOAD_KEYS};
        args.insert(args.end(), more.begin(), more.end());
        args.push_back(tape_file);
        return run_runner(args);
    }

    TempDir dir_; // the dumps and the tapes a test makes
    TestTape tape_;
};
} // namespace

TEST_F(TapeProgram, LoadsWithTheTypedLoadRunsAndReturnsToBasic) {
    const std::string code_dump =
        std::to_string(CODE) + ":" + std::to_string(code().size()) + ":code";
    const RunnerResult run = load_tape(
        binary_path("tests/programs/tape_program.tap"), "300",
        {"--dump", code_dump, "--dump", "0x9000:256:pattern", "--dump", "23552:0x800:basic"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(row(run, 2), "MARROWGLEAM TAPE TEST") << run.out;
    EXPECT_EQ(row(run, 4), "BACK IN BASIC") << run.out;

    // The machine code as the tape holds it, and what it wrote.
    EXPECT_EQ(read_file("code"), code());
    const std::vector<uint8_t> pattern = read_file("pattern");
    ASSERT_EQ(pattern.size(), 256u);
    for (int i = 0; i < 256; i++) EXPECT_EQ(pattern[i], i ^ 0xA5) << "at " << PATTERN + i;

    // The BASIC program where the ROM's PROG says, as long as the tape said, and as the tape
    // held it (the program has no variables).
    const std::vector<uint8_t> basic = read_file("basic");
    ASSERT_EQ(basic.size(), 0x800u);
    EXPECT_EQ(basic[BORDCR - SYSVARS], 4 * 8 + 7) << "the code ran to its end";
    const int prog = word(basic, PROG - SYSVARS), vars = word(basic, VARS - SYSVARS);
    const std::vector<uint8_t> program = tape_.blocks[1].data();
    ASSERT_EQ(vars - prog, static_cast<int>(program.size()));
    ASSERT_LE(vars - SYSVARS, 0x800);
    EXPECT_EQ(slice(basic, prog - SYSVARS, program.size()), program);
}

// The code's data block ends inside its unused tail table: the loader stores the bytes the
// image holds and fails, as on a short block of a real tape; the program does not run.
TEST_F(TapeProgram, CodeBlockCutShortIsALoadingError) {
    const std::vector<uint8_t> full = code();
    const size_t kept = full.size() - TAIL + 10;
    std::vector<uint8_t> image = tape_.image;
    image.resize(tape_.blocks[3].offset + 3 + kept); // length, flag, `kept` data bytes
    write_file("cut.tap", image);

    const RunnerResult run =
        load_tape("cut.tap", "300",
                  {"--dump", std::to_string(CODE) + ":" + std::to_string(full.size()) + ":code"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Loading error"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("BACK IN BASIC"), std::string::npos) << run.out;

    std::vector<uint8_t> expected(full.begin(), full.begin() + kept);
    expected.resize(full.size(), 0);
    EXPECT_EQ(read_file("code"), expected);
}

// LOAD "" with the whole tape loaded finds nothing: the loader waits for a signal until
// BREAK, and the program in memory stays. (SPACE is let go after a frame: held on, the
// ROM's keyboard scan, running again once the loader has given up, takes it as a key that
// clears the report.)
TEST_F(TapeProgram, LoadAtTheTapesEndWaitsAndKeepsTheProgram) {
    const RunnerResult run =
        load_tape(BUILT_TAPE, "460",
                  {"--keys", "250:type LOAD \"\"<enter>;400:press space;401:release space",
                   "--dump", "23552:0x800:basic"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("BREAK"), std::string::npos) << run.out;
    const std::vector<uint8_t> basic = read_file("basic");
    ASSERT_EQ(basic.size(), 0x800u);
    const int prog = word(basic, PROG - SYSVARS), vars = word(basic, VARS - SYSVARS);
    const std::vector<uint8_t> program = tape_.blocks[1].data();
    ASSERT_EQ(vars - prog, static_cast<int>(program.size()));
    EXPECT_EQ(slice(basic, prog - SYSVARS, program.size()), program);
}

// After the program, the code's second entry calls the ROM's block loader once per block
// that follows on the tape: an empty block with DE = 0, a 19-byte header block, a 300-byte
// data block and a block the image ends inside. Each call must take exactly its block (any
// other count would shift what the next one stores), store DE bytes from IX and return to
// the caller with carry set; the last stores the bytes there are and fails (carry clear).
TEST_F(TapeProgram, BlocksAfterTheProgramAreTakenOneACall) {
    std::vector<uint8_t> header = {3,   'e', 'x',  't',  'r',  'a',  ' ',  ' ', ' ',
                                   ' ', ' ', 0x2C, 0x01, 0x00, 0xA2, 0x00, 0x80};
    std::vector<uint8_t> data(300), cut(100);
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<uint8_t>(i * 7 + 1);
    for (size_t i = 0; i < cut.size(); i++) cut[i] = static_cast<uint8_t>(0x40 + i);
    const size_t cut_kept = 40;

    std::vector<uint8_t> image = tape_.image;
    for (const auto& block : {tap_block(0xFF, {}), tap_block(0x00, header), tap_block(0xFF, data)})
        image.insert(image.end(), block.begin(), block.end());
    ASSERT_EQ(image.size(), tape_.image.size() + 4 + 21 + 304);
    const std::vector<uint8_t> last = tap_block(0xFF, cut);
    image.insert(image.end(), last.begin(), last.begin() + 3 + cut_kept);
    write_file("blocks.tap", image);

    const RunnerResult run = load_tape(
        "blocks.tap", "520",
        {"--keys", "200:type RANDOMIZE USR 32771<enter>", "--dump", "0xA000:0x900:blocks"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(row(run, 6), "BLOCKS LOADED") << run.out;

    // The code filled 0xA000-0xA7FF with 0xEE before the calls.
    const std::vector<uint8_t> memory = read_file("blocks");
    ASSERT_EQ(memory.size(), 0x900u);
    auto expect_area = [&](uint16_t at, const std::vector<uint8_t>& bytes, size_t span) {
        std::vector<uint8_t> expected = bytes;
        expected.resize(span, 0xEE);
        EXPECT_EQ(slice(memory, at - BLOCKS, span), expected) << "area at " << std::hex << at;
    };
    expect_area(0xA000, {}, 0x100);
    expect_area(0xA100, header, 0x100);
    expect_area(0xA200, data, 0x200);
    expect_area(0xA400, std::vector<uint8_t>(cut.begin(), cut.begin() + cut_kept), 0x400);

    // IX after each call, and carry (bit 0 of F).
    const uint16_t ix_after[] = {0xA000, 0xA100 + 17, 0xA200 + 300, 0xA400 + cut_kept};
    for (int call = 0; call < 4; call++) {
        const size_t at = RESULTS - BLOCKS + 3 * call;
        EXPECT_EQ(word(memory, at), ix_after[call]) << "call " << call;
        EXPECT_EQ(memory[at + 2] & 1, call < 3 ? 1 : 0) << "call " << call;
    }
}

// SAVE typed in BASIC writes a TAP file in the user's data directory, and a fresh machine
// loads the program and the bytes from it with LOAD "".
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
constexpr uint16_t SYSVARS = 23552, VARS = 23627, PROG = 23635;
constexpr int BYTES_AT = 40000, BYTES = 16;

int word(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }

// Sets an environment variable for the runners this test starts, and puts it back.
class Environment {
  public:
    Environment(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~Environment() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};
} // namespace

TEST(TapeSave, SavedProgramAndCodeLoadIntoAFreshMachine) {
    TempDir dir;
    const Environment data_home("XDG_DATA_HOME", (dir.path() / "data").string());
    const RunnerResult save =
        run_runner({"--quiet", "--text", "--frames", "1150", "--keys",
                    "100:type 10 PRINT \"SAVED OK\"<enter>;"
                    "260:type SAVE \"prog\"<enter>;380:type <enter>;"
                    "480:type FOR i=0 TO 15: POKE 40000+i,i*7+1: NEXT i<enter>;"
                    "820:type SAVE \"bytes\" CODE 40000,16<enter>;1020:type <enter>"});
    ASSERT_EQ(save.status, 0) << save.err;

    // One new file in the data directory, a valid TAP image of four blocks.
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() / "data/marrowgleam"))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u) << save.out;
    EXPECT_EQ(files[0].extension(), ".tap");
    const std::vector<uint8_t> image = read_file(files[0]);
    const std::vector<TapBlock> blocks = tap_blocks(image);
    ASSERT_EQ(blocks.size(), 4u) << "two headers and their data";
    for (const TapBlock& b : blocks) {
        uint8_t sum = 0;
        for (const uint8_t byte : b.body) sum ^= byte;
        EXPECT_EQ(sum, 0) << "checksum of the block at " << b.offset;
    }
    const std::vector<uint8_t> header = blocks[0].data(), code_header = blocks[2].data();
    EXPECT_EQ(blocks[0].body[0], 0x00);
    EXPECT_EQ(header[0], 0) << "a program";
    EXPECT_EQ(std::string(header.begin() + 1, header.begin() + 11), "prog      ");
    EXPECT_EQ(code_header[0], 3) << "bytes";
    EXPECT_EQ(std::string(code_header.begin() + 1, code_header.begin() + 11), "bytes     ");
    EXPECT_EQ(word(code_header, 11), BYTES);
    EXPECT_EQ(word(code_header, 13), BYTES_AT);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < BYTES; i++) bytes.push_back(static_cast<uint8_t>(i * 7 + 1));
    EXPECT_EQ(blocks[3].data(), bytes);

    // A fresh machine loads both, the trap off: the program runs and the bytes are there. (The
    // tape stops a few seconds after the program, with BASIC not listening, and LOAD ""
    // CODE starts it again.)
    const RunnerResult load =
        run_runner({"--quiet", "--text", "--frames", "1500", "--no-tape-trap", "--keys",
                    "100:type LOAD \"\"<enter>;700:type RUN<enter>;760:type LOAD \"\" CODE<enter>",
                    "--dump", "40000:16:bytes", "--dump", "23552:0x800:basic", files[0].string()});
    ASSERT_EQ(load.status, 0) << load.err;
    EXPECT_EQ(load.rows.empty() ? "" : load.rows[0], "SAVED OK") << load.out;
    EXPECT_EQ(read_file("bytes"), bytes);
    const std::vector<uint8_t> basic = read_file("basic");
    ASSERT_EQ(basic.size(), 0x800u);
    const int prog = word(basic, PROG - SYSVARS), vars = word(basic, VARS - SYSVARS);
    const std::vector<uint8_t> program = blocks[1].data();
    ASSERT_EQ(vars - prog, static_cast<int>(program.size()));
    EXPECT_EQ(std::vector<uint8_t>(basic.begin() + (prog - SYSVARS),
                                   basic.begin() + (prog - SYSVARS) + program.size()),
              program);
}

// A SAVE with a TAP image attached appends to that file.
TEST(TapeSave, SaveAppendsToTheAttachedTapImage) {
    TempDir dir;
    const Environment data_home("XDG_DATA_HOME", (dir.path() / "data").string());
    const std::vector<uint8_t> first = tap_block(0xFF, {1, 2, 3});
    write_file("old.tap", first);
    const RunnerResult save =
        run_runner({"--quiet", "--frames", "460", "--keys",
                    "100:type SAVE \"x\" CODE 0,3<enter>;260:type <enter>", "old.tap"});
    ASSERT_EQ(save.status, 0) << save.err;
    const std::vector<uint8_t> image = read_file("old.tap");
    const std::vector<TapBlock> blocks = tap_blocks(image);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + first.size()), first);
    const std::vector<uint8_t> rom = read_file(binary_path("1982.rom"));
    ASSERT_GE(rom.size(), 3u);
    EXPECT_EQ(blocks[2].data(), std::vector<uint8_t>(rom.begin(), rom.begin() + 3))
        << "the ROM's first three bytes";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "data/marrowgleam"));
}

// A SAVE is confirmed by any key, SPACE too (the saver's pilot outlasts a key press); SPACE
// held through the pilot breaks it, and nothing is kept. A block too long for a TAP record
// and a data directory that cannot be made are failures, said on standard error.
TEST(TapeSave, SpaceConfirmsBreakKeepsNothingAndFailuresAreReported) {
    const std::string save = "100:type SAVE \"x\" CODE 0,3<enter>;";
    const struct {
        const char* name;
        std::string keys;
        bool impossible_data_dir;
        size_t blocks;     // in the one file saved; 0: no file at all
        const char* shown; // in the screen's text
        int status;
        const char* reported; // on standard error
    } CASES[] = {
        {"space", save + "300:press space;303:release space", false, 2, "OK", 0, ""},
        {"held", save + "300:press space;570:release space", false, 0, "BREAK", 0, ""},
        {"too long", "100:type SAVE \"x\" CODE 0,65535<enter>;300:type <enter>", false, 0, "", 1,
         "65,533"},
        {"no data dir", save + "300:type <enter>", true, 0, "", 1, "SAVE failed"},
    };
    for (const auto& c : CASES) {
        TempDir dir;
        write_file("file", {1});
        const std::filesystem::path data = dir.path() / (c.impossible_data_dir ? "file/d" : "d");
        const Environment data_home("XDG_DATA_HOME", data.string());
        const RunnerResult run =
            run_runner({"--quiet", "--text", "--frames", "800", "--keys", c.keys});
        EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
        EXPECT_NE(run.out.find(c.shown), std::string::npos) << c.name << ": " << run.out;
        EXPECT_NE(run.err.find(c.reported), std::string::npos) << c.name << ": " << run.err;
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(data / "marrowgleam", ec))
            files.push_back(e.path());
        ASSERT_EQ(files.size(), c.blocks ? 1u : 0u) << c.name;
        if (c.blocks) {
            EXPECT_EQ(tap_blocks(read_file(files[0])).size(), c.blocks) << c.name;
        }
    }
}

// Snapshots given to the headless runner on its command line: a 48K snapshot made here runs
// its program from the PC on its stack, and a file that cannot be loaded ends the runner.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <png.h>
#include <string>
#include <vector>

#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
constexpr size_t HEADER = 27;

void put(std::vector<uint8_t>& sna, uint16_t addr, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), sna.begin() + HEADER + (addr - 0x4000));
}

void put16(std::vector<uint8_t>& sna, size_t offset, uint16_t value) {
    sna[offset] = static_cast<uint8_t>(value);
    sna[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// A 48K snapshot taken, as the format has it, inside an interrupt: the PC of
// tests/programs/snapshot_screen.asm (0x8000) on the stack at 0xFF00, interrupts off, HL the
// screen cell of text row 10, column 4, and DE the message. White paper, red border.
std::vector<uint8_t> screen_snapshot() {
    std::vector<uint8_t> sna(SNA_48K_SIZE, 0);
    put16(sna, 9, 0x4844);  // HL: the third third of rows 8-15, row 10, column 4
    put16(sna, 11, 0x8100); // DE
    put16(sna, 23, 0xFF00); // SP
    sna[19] = 0x00;         // IFF1 = IFF2 = 0
    sna[25] = 1;            // IM 1
    sna[26] = 2;            // border red
    put(sna, 0x8000, read_file(binary_path("tests/programs/snapshot_screen.bin")));
    const std::string message = "SNAPSHOT RUNNING\xFF";
    put(sna, 0x8100, {message.begin(), message.end()});
    put(sna, 0xFF00, {0x00, 0x80});
    put(sna, 0x5800, std::vector<uint8_t>(768, 0x38));
    return sna;
}

// The red, green and blue of a pixel of a PNG file; empty if it cannot be read.
std::vector<uint8_t> png_pixel(const std::string& path, unsigned x, unsigned y) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    const bool read = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    if (!read || x >= image.width || y >= image.height) return {};
    const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
    return {pixels[at], pixels[at + 1], pixels[at + 2]};
}
} // namespace

TEST(TapeSnapshot, RunsFromThePcOnItsStack) {
    TempDir dir;
    write_file("screen.sna", screen_snapshot());
    const RunnerResult run = run_runner({"--quiet", "--text", "--frames", "3", "--png", "shot.png",
                                         "--dump", "0x9000:2:sp", "screen.sna"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_GE(run.rows.size(), 11u) << run.out;
    EXPECT_EQ(run.rows[10], "    SNAPSHOT RUNNING") << run.out;
    for (size_t r = 0; r < run.rows.size(); r++) {
        if (r == 10) continue;
        EXPECT_EQ(run.rows[r], "") << "row " << r;
    }
    EXPECT_EQ(read_file("sp"), (std::vector<uint8_t>{0x02, 0xFF})) << "PC popped from 0xFF00";

    // The border, from the snapshot's header, all round the picture.
    const std::vector<uint8_t> red = {RED[2], GRN[2], BLU[2]};
    EXPECT_EQ(png_pixel("shot.png", 8, 8), red);
    EXPECT_EQ(png_pixel("shot.png", 340, 280), red);
}

// F10 in a key script opens the requester, which runs frame by frame as a state of the main
// loop: the script goes on, Down and Return load the snapshot under the parent, Escape ends
// the run.
TEST(TapeSnapshot, TheRequesterWorksInTheRunner) {
    TempDir dir;
    write_file("screen.sna", screen_snapshot());
    RunnerResult run = run_runner({"--quiet", "--text", "--frames", "60", "--keys",
                                   "10:press f10;12:release f10;13:press down;14:release down;"
                                   "15:press enter;16:release enter"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_GE(run.rows.size(), 11u) << run.out;
    EXPECT_EQ(run.rows[10], "    SNAPSHOT RUNNING") << "loaded through the requester";

    run = run_runner({"--quiet", "--text", "--frames", "100", "--keys",
                      "10:press f10;12:release f10;20:press escape"});
    EXPECT_EQ(run.status, 0) << "Escape in the requester ends the run: " << run.err;
    EXPECT_EQ(run.rows.size(), 24u) << "and the runner still writes what was asked";

    // Paused, the script goes on as well: F7 pauses, F7 again runs on, Escape ends.
    run = run_runner({"--quiet", "--frames", "100", "--keys",
                      "10:press f7;11:release f7;30:press f7;31:release f7;40:press escape"});
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST(TapeSnapshot, UnloadableFileEndsTheRunnerWithStatusOne) {
    TempDir dir;
    write_file("short.sna", std::vector<uint8_t>(SNA_48K_SIZE - 1, 0));
    write_file("game.z99", std::vector<uint8_t>(SNA_48K_SIZE, 0));
    ASSERT_EQ(::mkfifo("pipe.sna", 0600), 0);
    ASSERT_EQ(::mkfifo("pipe.tap", 0600), 0);
    std::filesystem::create_directory("folder.tap");
    std::filesystem::create_symlink("loop.sna", "loop.sna");
    const std::string long_name = std::string(300, 'n') + ".sna";
    // One line on standard error naming the file and saying why. A named pipe is never
    // opened: nothing writes to it, and the runner must not wait for a writer.
    const std::pair<std::string, std::string> cases[] = {
        {"missing.sna", "Cannot load file missing.sna: No such file or directory\n"},
        {"missing.tap", "Cannot load file missing.tap: No such file or directory\n"},
        {"short.sna",
         "Cannot load file short.sna: a snapshot needs at least 49179 bytes, it has 49178\n"},
        {"game.z99", "Cannot load file game.z99: unknown file type (the name must end in SNA, "
                     "Z80, SZX, TAP or TZX)\n"},
        {"pipe.sna", "Cannot load file pipe.sna: it is a named pipe (FIFO)\n"},
        {"pipe.tap", "Cannot load file pipe.tap: it is a named pipe (FIFO)\n"},
        {"folder.tap", "Cannot load file folder.tap: it is a directory\n"},
        {"/dev/null", "Cannot load file /dev/null: it is a character device\n"},
        {"loop.sna", "Cannot load file loop.sna: Too many levels of symbolic links\n"},
        {long_name, "Cannot load file " + long_name + ": File name too long\n"},
    };
    for (const auto& [name, message] : cases) {
        const RunnerResult run = run_runner({"--quiet", "--png", "shot.png", name});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, message) << name;
        EXPECT_FALSE(file_exists("shot.png")) << name << ": the runner should stop at once";
    }
}

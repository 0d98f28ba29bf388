// The runner as a test runner: its stops, the state it reports there and its exit statuses.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
class RunnerStops : public testing::Test {
  protected:
    void SetUp() override {
        if (!file_exists(binary_path("marrowgleam-run")) || !file_exists(binary_path("1982.rom")))
            GTEST_SKIP() << "marrowgleam-run or its ROM is not built";
    }
};
} // namespace

// The ROM's interrupt handler (0x0038) runs every frame once the ROM has started; its
// first byte is the exit status asked for below; the start-up message shows by frame 100.
TEST_F(RunnerStops, StopsAndExitsAsAsked) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("marrowgleam-stops-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string symbols = (dir / "rom.sym").string();
    std::ofstream(symbols) << "MASK_INT EQU 0038H\nSTART: EQU 0\n";
    uint8_t rom[16384];
    ASSERT_TRUE(read_rom(rom));
    const struct {
        std::vector<std::string> args;
        int status;
        const char* stop;
    } cases[] = {
        {{"--break", "0x0038", "--timeout-frames", "200"}, 0, "stop: BREAK AT $0038"},
        {{"--symbols", symbols, "--until-pc", "mask_int"}, 0, "stop: BREAK AT $0038"},
        {{"--until-text", "Nine Tiles", "--timeout-frames", "300"}, 0, "stop: TEXT MATCHED"},
        {{"--until-text", "never shown", "--timeout-frames", "20"}, 3, "stop: END OF RUN"},
        {{"--break", "$FFF0", "--timeout-frames", "5"}, 3, "stop: END OF RUN"},
        {{"--break", "#38", "--symbols", symbols, "--exit-code-from", "MASK_INT"},
         rom[0x38],
         "stop: BREAK AT $0038"},
        // FRAMES is first written by the RAM test (IY not yet set), then by the handler.
        {{"--watch-write", "23672", "--timeout-frames", "200"},
         0,
         "stop: WRITE $5C78=$00 AT PC $11E7"},
        {{"--watch-write", "0x5C70-0x5C78,IY=0x5C3A", "--timeout-frames", "200"},
         0,
         "stop: WRITE $5C78=$01 AT PC $003D"},
        {{"--watch-out", "0xFE/0xFF", "--timeout-frames", "200"},
         0,
         "stop: OUT $07FE=$07 AT PC $128D"},
        {{"--break", "mask_int,SP=1", "--symbols", symbols, "--timeout-frames", "20"},
         3,
         "stop: END OF RUN"},
        {{"--break", "0x38,A=256"}, 2, nullptr},
        {{"--watch-read", "0x5800-0x4000"}, 2, nullptr},
        {{"--break", "nowhere"}, 2, nullptr},
        {{"--timeout-frames", "0"}, 2, nullptr},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--quiet");
        const RunnerResult run = run_runner(args);
        EXPECT_EQ(run.status, c.status) << args[0] << " " << args[1] << "\n" << run.err;
        if (!c.stop) continue;
        ASSERT_GE(run.rows.size(), 3u) << run.out;
        EXPECT_EQ(run.rows[0], c.stop);
        EXPECT_EQ(run.rows[1].rfind("frame ", 0), 0u) << run.rows[1];
        EXPECT_NE(run.rows[1].find(" line "), std::string::npos) << run.rows[1];
        if (std::string(c.stop).find("0038") != std::string::npos) {
            EXPECT_EQ(run.rows[2].rfind("PC=0038 ", 0), 0u) << run.rows[2];
        }
    }

    // The trace from the handler's first instruction to its second, with the name given it.
    const std::string trace = (dir / "trace.txt").string();
    const RunnerResult traced =
        run_runner({"--symbols", symbols, "--trace", trace, "--trace-from", "pc=MASK_INT",
                    "--trace-to", "pc=0x39", "--frames", "150", "--quiet"});
    EXPECT_EQ(traced.status, 0) << traced.err;
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" 0038 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(" 0039 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[0].find("AF="), std::string::npos) << lines[0];
    std::filesystem::remove_all(dir);
}

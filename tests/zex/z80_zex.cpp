// The CP/M instruction exercisers ZEXDOC and ZEXALL, run to their end on this Z80 through the
// CP/M harness, on each CPU model: every one of their 67 tests must print OK.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/support.h"
#include "tests/support/z80_sha256.h"
#include "tools/cpm.h"

namespace {

// The files are identified by their SHA-256 (the first two as the folder's README lists
// them), so that a changed file fails here instead of passing or failing for another reason.
const std::string ZEXDOC_SHA256 =
    "34923a7ed82285d3038b2d54bd64899e12173eebb61f9d07b4fc72e78af2ae8f";
const std::string ZEXALL_SHA256 =
    "6e2da55147a04f28d303d5da6a1e6b771557ac244653590a0f24a2d39c8537e8";
const std::string EXPECTED_SHA256 =
    "344071aba13e04efafe8660984d6ede669864cc4dd60a543838d24ad78b97177";

// Both programs run about 47 billion T-states; this bounds a run that never ends.
constexpr uint64_t MAX_TSTATES = 100'000'000'000ULL;

// The output split at its line ends (LF CR).
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char ch : text) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (ch != '\r') {
            line += ch;
        }
    }
    lines.push_back(line);
    return lines;
}

void run_exerciser(const std::string& name, const std::string& sha256, CpuModel model) {
    const std::string program = testdata_path("zex/" + name);
    const std::string expected_file = testdata_path("zex/expected_output_pass.txt");
    if (!file_exists(program) || !file_exists(expected_file))
        GTEST_SKIP() << "no instruction exercisers at " << testdata_path("zex")
                     << " (the third-party test material is not beside this checkout)";
    ASSERT_EQ(z80_sha256_file(program), sha256) << program << " is not the expected file";
    ASSERT_EQ(z80_sha256_file(expected_file), EXPECTED_SHA256)
        << expected_file << " is not the expected file";

    std::ifstream in(expected_file, std::ios::binary);
    const std::string expected((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());

    // The harness holds 64 KiB of memory: kept out of the stack.
    static CpmMachine cpm;
    ASSERT_EQ(cpm.load(program), "");
    cpm.model = model;
    // Each result line shows as it is printed: a full run takes a while.
    const CpmRun run = cpm.run(MAX_TSTATES, [](char ch) {
        if (ch != '\r') std::putchar(ch);
        if (ch == '\n') std::fflush(stdout);
    });
    std::printf("\n%s: %llu T-states\n", name.c_str(),
                static_cast<unsigned long long>(run.tstates));
    EXPECT_TRUE(run.finished) << name << " did not reach its end";

    const auto want = lines_of(expected), got = lines_of(run.output);
    ASSERT_EQ(want.size(), 1u + 67u + 1u); // banner, 67 tests, "Tests complete"
    for (size_t i = 0; i < want.size(); i++) {
        const std::string actual = i < got.size() ? got[i] : "(nothing)";
        EXPECT_EQ(actual, want[i]) << name << " line " << i;
    }
    EXPECT_EQ(run.output, expected) << name << ": the output differs byte for byte";
}

TEST(Zex, ZexdocPassesEveryTest) { run_exerciser("zexdoc.com", ZEXDOC_SHA256, CpuModel::standard); }

TEST(Zex, ZexallPassesEveryTest) { run_exerciser("zexall.com", ZEXALL_SHA256, CpuModel::standard); }

TEST(Zex, ZexdocPassesEveryTestOnTheZilogModel) {
    run_exerciser("zexdoc.com", ZEXDOC_SHA256, CpuModel::zilog);
}

TEST(Zex, ZexallPassesEveryTestOnTheZilogModel) {
    run_exerciser("zexall.com", ZEXALL_SHA256, CpuModel::zilog);
}

} // namespace

// Channels: the running state saved to and restored from "CH<n>".
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include "formats/formats.h"
#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
// A machine in the middle of a frame, every stored item set to something recognisable.
// Every byte of the register image is set; the decode state after it is not part of it.
void set_state(uint8_t seed) {
    Spectrum& m = test_machine();
    for (size_t i = 0; i < sizeof m.RAM; i++)
        m.RAM[i] = static_cast<uint8_t>(i * 13 + seed + (i >> 14));
    auto* regs = reinterpret_cast<uint8_t*>(&m.z80);
    for (size_t i = 0; i < Z80_IMAGE_SIZE; i++) regs[i] = static_cast<uint8_t>(seed * 3 + i * 11);
    m.IO[0xFE] = static_cast<uint8_t>(seed & 7);
    m.tstates = 30000 + seed;
    m.tstatesd = 4 + seed % 20;
    m.tstatesh = 50000 + seed;
    m.IFBCLK = seed % 6;
    m.IFB_buffer = seed % 3;
}

// A channel directory of its own: channel files go beside the "executable".
struct ChannelTest : testing::Test {
    TempDir dir;
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    void SetUp() override {
        use_code_charset();
        s.application_path = dir.path().string() + "/";
    }
    std::filesystem::path channel(int n) const { return dir.path() / ("CH" + std::to_string(n)); }
};

uint32_t le32(const std::vector<uint8_t>& b, size_t offset) {
    return b[offset] | b[offset + 1] << 8 | b[offset + 2] << 16 | uint32_t(b[offset + 3]) << 24;
}
} // namespace

TEST_F(ChannelTest, SaveThenLoadBringsEverythingBack) {
    set_state(1);
    const MachineState saved = capture_state();
    s.save_channel(4);
    EXPECT_EQ(text_row(23).substr(0, 17), " SAVE CHANNEL 4  ");
    EXPECT_EQ(s.overlay_timeout, 200);

    set_state(2);
    ASSERT_FALSE(capture_state() == saved);
    s.load_channel(4);
    EXPECT_TRUE(capture_state() == saved);
    EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 4  ");
}

TEST_F(ChannelTest, FileLayout) {
    set_state(5);
    s.save_channel(0);
    const auto file = read_file(channel(0));
    ASSERT_EQ(file.size(), 131158u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 24), "VOLKMERETOBRANIKB11 SNAP");
    EXPECT_EQ(std::memcmp(&file[24], m.RAM, sizeof m.RAM), 0);
    EXPECT_EQ(std::memcmp(&file[131096], &m.z80, 44), 0);
    EXPECT_EQ(file[131140], m.IO[0xFE]);
    EXPECT_EQ(le32(file, 131141), uint32_t(m.tstates));
    EXPECT_EQ(le32(file, 131145), uint32_t(m.tstatesd));
    EXPECT_EQ(le32(file, 131149), uint32_t(m.tstatesh));
    EXPECT_EQ(le32(file, 131153), uint32_t(m.IFBCLK));
    EXPECT_EQ(file[131157], m.IFB_buffer);
    EXPECT_FALSE(std::filesystem::exists(channel(0).string() + ".tmp"));
}

TEST_F(ChannelTest, OtherTagsLoadTheSameWay) {
    set_state(7);
    const MachineState saved = capture_state();
    s.save_channel(9);
    auto file = read_file(channel(9));
    std::memset(file.data(), 'x', 24);
    write_file(channel(9), file);
    set_state(8);
    s.load_channel(9);
    EXPECT_TRUE(capture_state() == saved);
}

TEST_F(ChannelTest, MissingChannelChangesNothing) {
    set_state(3);
    const MachineState before = capture_state();
    s.load_channel(7);
    EXPECT_TRUE(capture_state() == before);
    EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 7  ");
    EXPECT_EQ(s.overlay_timeout, 200);
}

TEST_F(ChannelTest, FileThatIsNoChannelChangesNothing) {
    set_state(3);
    s.save_channel(2);
    const auto good = read_file(channel(2));
    auto bad_clock = good;
    bad_clock[131153] = 6;
    auto bad_buffer = good;
    bad_buffer[131157] = 3;
    const std::vector<std::vector<uint8_t>> files = {
        {},
        std::vector<uint8_t>(good.begin(), good.end() - 1),
        [&] {
            auto longer = good;
            longer.push_back(0);
            return longer;
        }(),
        bad_clock,
        bad_buffer};

    set_state(4);
    const MachineState before = capture_state();
    for (size_t i = 0; i < files.size(); i++) {
        write_file(channel(2), files[i]);
        s.load_channel(2);
        EXPECT_TRUE(capture_state() == before) << "file " << i;
        EXPECT_EQ(text_row(23).substr(0, 19), " BAD CHANNEL FILE  ") << "file " << i;
    }
}

TEST_F(ChannelTest, FailedSaveKeepsTheOldChannel) {
    set_state(1);
    const MachineState first = capture_state();
    s.save_channel(5);
    const auto old_file = read_file(channel(5));
    set_state(2);

    // A disk that fills up in the middle of the file: writes beyond 64 KiB fail.
    rlimit saved_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    rlimit small = saved_limit;
    small.rlim_cur = 65536;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    s.save_channel(5);
    setrlimit(RLIMIT_FSIZE, &saved_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(read_file(channel(5)), old_file);
    EXPECT_FALSE(std::filesystem::exists(channel(5).string() + ".tmp"));
    EXPECT_EQ(text_row(23).substr(0, 14), " SAVE FAILED  ");

    // The old save still restores.
    s.load_channel(5);
    EXPECT_TRUE(capture_state() == first);
}

TEST_F(ChannelTest, SaveOntoADirectoryFails) {
    std::filesystem::create_directory(channel(6));
    set_state(1);
    s.save_channel(6);
    EXPECT_TRUE(std::filesystem::is_directory(channel(6)));
    EXPECT_TRUE(std::filesystem::is_empty(channel(6)));
    EXPECT_EQ(text_row(23).substr(0, 14), " SAVE FAILED  ");
    const MachineState before = capture_state();
    s.load_channel(6);
    EXPECT_TRUE(capture_state() == before);
}

// A channel holds no pending EI: the one the machine had before the restore belongs to
// another moment and would switch the restored program's interrupts on after one step.
// The CPU model is a setting and stays.
TEST_F(ChannelTest, RestoreForgetsTheMachinesPendingEiAndKeepsTheCpuModel) {
    set_state(6);
    m.z80.IFF1 = m.z80.IFF2 = 0;
    m.z80.halted = 0;
    s.save_channel(3);
    m.cpu_model = CpuModel::zilog;
    m.z80.pending_EI = 1;
    m.z80.Q = 0x28;
    m.z80.after_ld_a_ir = 1;
    s.load_channel(3);
    EXPECT_EQ(m.z80.pending_EI, 0);
    EXPECT_EQ(m.z80.Q, 0);
    EXPECT_EQ(m.z80.after_ld_a_ir, 0);
    EXPECT_EQ(m.cpu_model, CpuModel::zilog);
    m.z80_step();
    EXPECT_EQ(m.z80.IFF1, 0);
}

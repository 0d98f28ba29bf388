// Channels: the running state saved to and restored from "CH<n>".
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>

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
    // The fields that select what the CPU does hold values the CPU can give them.
    m.z80.IM = seed % 3;
    m.z80.IFF1 = seed & 1;
    m.z80.IFF2 = (seed >> 1) & 1;
    m.z80.halted = (seed >> 2) & 1;
    m.port_fe = static_cast<uint8_t>(seed & 7);
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
        s.files.application_path = dir.path().string() + "/";
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
    s.files.save_channel(4, s.machine, s.text);
    EXPECT_EQ(text_row(23).substr(0, 17), " SAVE CHANNEL 4  ");
    EXPECT_EQ(s.text.overlay_timeout, 200);

    set_state(2);
    ASSERT_FALSE(capture_state() == saved);
    s.files.load_channel(4, s.machine, s.text);
    EXPECT_TRUE(capture_state() == saved);
    EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 4  ");
}

TEST_F(ChannelTest, FileLayout) {
    set_state(5);
    s.files.save_channel(0, s.machine, s.text);
    const auto file = read_file(channel(0));
    // The machine tail last, with this frame's speaker and border events.
    ASSERT_EQ(file.size(),
              CHANNEL_FILE_SIZE_WHOLE + 4 * m.OUTSTK.size() + 6 * m.BORDER_EVENTS.size());
    EXPECT_EQ(std::string(file.begin(), file.begin() + 24), "VOLKMERETOBRANIKB11 SNAP");
    EXPECT_EQ(std::memcmp(&file[24], m.RAM, sizeof m.RAM), 0);
    EXPECT_EQ(std::memcmp(&file[131096], &m.z80, 44), 0);
    EXPECT_EQ(file[131140], m.port_fe);
    EXPECT_EQ(le32(file, 131141), uint32_t(m.tstates));
    EXPECT_EQ(le32(file, 131145), uint32_t(m.tstatesd));
    EXPECT_EQ(le32(file, 131149), uint32_t(m.tstatesh));
    EXPECT_EQ(le32(file, 131153), uint32_t(m.IFBCLK));
    EXPECT_EQ(file[131157], m.IFB_buffer);
    EXPECT_EQ(std::string(file.begin() + 131158, file.begin() + 131162), "AY38");
    EXPECT_EQ(std::memcmp(&file[131162], m.ay.regs.data(), 16), 0);
    EXPECT_EQ(file[131178], m.ay.selected);
    EXPECT_EQ(file[131179], m.ay_on_48 ? 1 : 0);
    EXPECT_EQ(std::string(file.begin() + 131180, file.begin() + 131184), "MACH");
    EXPECT_EQ(file[131185], m.model);
    EXPECT_EQ(file[131186], m.port_7ffd);
    EXPECT_EQ(std::memcmp(&file[131207], m.RTFB, sizeof m.RTFB), 0);
    EXPECT_FALSE(std::filesystem::exists(channel(0).string() + ".tmp"));
}

// The sound chip's registers travel in the tail; a file from before the chip (no tail)
// still loads, with the chip cleared; a tail with another tag is no channel.
TEST_F(ChannelTest, SoundChipTailAndFilesWithoutIt) {
    set_state(6);
    m.ay_on_48 = true;
    for (int r = 0; r < 16; r++)
        m.ay.regs[r] = static_cast<uint8_t>((r * 37) & AY_REGISTER_MASK[r]);
    m.ay.selected = 9;
    const auto regs = m.ay.regs;
    s.files.save_channel(5, s.machine, s.text);
    const auto file = read_file(channel(5));

    m.ay.reset();
    m.ay_on_48 = false;
    s.files.load_channel(5, s.machine, s.text);
    EXPECT_EQ(m.ay.regs, regs);
    EXPECT_EQ(m.ay.selected, 9);
    EXPECT_TRUE(m.ay_on_48);

    write_file(channel(5), std::vector<uint8_t>(file.begin(), file.begin() + 131158));
    set_state(6);
    s.files.load_channel(5, s.machine, s.text);
    EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 5  ");
    EXPECT_EQ(m.ay.regs, decltype(m.ay.regs){}) << "an old file clears the chip";
    EXPECT_TRUE(m.ay_on_48) << "and leaves the add-on as it was";

    auto other = file;
    other[131158] = 'X';
    write_file(channel(5), other);
    s.files.load_channel(5, s.machine, s.text);
    EXPECT_EQ(text_row(23).substr(0, 19), " BAD CHANNEL FILE  ");
}

TEST_F(ChannelTest, OtherTagsLoadTheSameWay) {
    set_state(7);
    const MachineState saved = capture_state();
    s.files.save_channel(9, s.machine, s.text);
    auto file = read_file(channel(9));
    std::memset(file.data(), 'x', 24);
    write_file(channel(9), file);
    set_state(8);
    s.files.load_channel(9, s.machine, s.text);
    EXPECT_TRUE(capture_state() == saved);
}

TEST_F(ChannelTest, MissingChannelChangesNothing) {
    set_state(3);
    const MachineState before = capture_state();
    s.files.load_channel(7, s.machine, s.text);
    EXPECT_TRUE(capture_state() == before);
    EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 7  ");
    EXPECT_EQ(s.text.overlay_timeout, 200);
}

TEST_F(ChannelTest, FileThatIsNoChannelChangesNothing) {
    set_state(3);
    s.files.save_channel(2, s.machine, s.text);
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
        s.files.load_channel(2, s.machine, s.text);
        EXPECT_TRUE(capture_state() == before) << "file " << i;
        EXPECT_EQ(text_row(23).substr(0, 19), " BAD CHANNEL FILE  ") << "file " << i;
    }
}

// Counters and selectors outside what the machine can produce: a counter far past its frame
// end would hold the picture for minutes (and overflow at 2^31), a negative one would run
// the frame backwards; an interrupt mode of 3 or a flip-flop of 2 is no state of the CPU.
TEST_F(ChannelTest, CountersAndSelectorsOutOfRangeAreRefused) {
    set_state(3);
    s.files.save_channel(2, s.machine, s.text);
    const auto good = read_file(channel(2));
    struct Field {
        const char* name;
        size_t offset, size;
        int64_t bad, good; // a value refused, and the largest value taken
    };
    const int64_t longest_step = 65535 * 9 + 64;
    const Field fields[] = {
        {"tstates", 131141, 4, 2147483647, TPF_128 + longest_step},
        {"tstates", 131141, 4, -2147483648LL, 0},
        {"tstates", 131141, 4, TPF_128 + longest_step + 1, 0},
        {"tstates", 131141, 4, -1, 0},
        {"tstatesd", 131145, 4, -1, longest_step},
        {"tstatesd", 131145, 4, longest_step + 1, 0},
        {"tstatesh", 131149, 4, -2147483648LL, TPFH + longest_step},
        {"tstatesh", 131149, 4, TPFH + longest_step + 1, 0},
        {"IFBCLK", 131153, 4, -1, 5},
        {"IFBCLK", 131153, 4, 6, 0},
        {"IFB_buffer", 131157, 1, 3, 2},
        {"IM", 131096 + 31, 1, 3, 2},
        {"IFF1", 131096 + 32, 1, 2, 1},
        {"IFF2", 131096 + 33, 1, 0xFF, 1},
        {"halted", 131096 + 40, 4, 2, 1},
        {"halted", 131096 + 40, 4, -1, 0},
    };
    const auto with = [&](const Field& f, int64_t value) {
        auto file = good;
        for (size_t i = 0; i < f.size; i++)
            file[f.offset + i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
        return file;
    };
    for (const Field& f : fields) {
        set_state(4);
        const MachineState before = capture_state();
        write_file(channel(2), with(f, f.bad));
        s.files.load_channel(2, s.machine, s.text);
        EXPECT_TRUE(capture_state() == before) << f.name << " = " << f.bad;
        EXPECT_EQ(text_row(23).substr(0, 19), " BAD CHANNEL FILE  ") << f.name << " = " << f.bad;
        // The edge of the range is taken.
        write_file(channel(2), with(f, f.good));
        s.files.load_channel(2, s.machine, s.text);
        EXPECT_FALSE(capture_state() == before) << f.name << " = " << f.good;
        EXPECT_EQ(text_row(23).substr(0, 17), " LOAD CHANNEL 2  ") << f.name << " = " << f.good;
    }
}

// A channel name that is a named pipe is never opened (nothing would ever write to it).
TEST_F(ChannelTest, ChannelThatIsANamedPipeIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(channel(3).c_str(), 0600), 0);
    set_state(4);
    const MachineState before = capture_state();
    s.files.load_channel(3, s.machine, s.text);
    EXPECT_TRUE(capture_state() == before);
    EXPECT_EQ(text_row(23).substr(0, 19), " BAD CHANNEL FILE  ");
}

// A channel that cannot be read says why; the machine runs on.
TEST_F(ChannelTest, ChannelThatCannotBeReadSaysWhy) {
    std::filesystem::create_symlink(channel(8), channel(8));
    set_state(4);
    const MachineState before = capture_state();
    s.files.load_channel(8, s.machine, s.text);
    EXPECT_TRUE(capture_state() == before);
    EXPECT_EQ(text_row(23), " CANNOT LOAD CHANNEL: Too many levels   ");
}

// Started through a relative path, the program fixes the executable's directory as an
// absolute path at once: channels stay there when the working directory changes later.
TEST(ChannelPlace, BesideTheExecutableWhateverTheWorkingDirectory) {
    TempDir dir;
    dir.directory("bin");
    dir.directory("elsewhere/bin");
    Session& s = fresh_session();
    use_code_charset();
    std::string error;
    s.load_data_files("bin/marrowgleam", error); // no ROM there: the path is set all the same
    EXPECT_EQ(s.files.application_path, (dir.path() / "bin").string() + "/");
    std::filesystem::current_path("elsewhere");
    s.files.save_channel(1, s.machine, s.text);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "bin" / "CH1"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "elsewhere" / "bin" / "CH1"));
    EXPECT_EQ(s.files.channel_name(1), (dir.path() / "bin" / "CH1").string());
}

TEST_F(ChannelTest, FailedSaveKeepsTheOldChannel) {
    set_state(1);
    const MachineState first = capture_state();
    s.files.save_channel(5, s.machine, s.text);
    const auto old_file = read_file(channel(5));
    set_state(2);

    // A disk that fills up in the middle of the file: writes beyond 64 KiB fail.
    rlimit saved_limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved_limit), 0);
    rlimit small = saved_limit;
    small.rlim_cur = 65536;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    s.files.save_channel(5, s.machine, s.text);
    setrlimit(RLIMIT_FSIZE, &saved_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(read_file(channel(5)), old_file);
    EXPECT_FALSE(std::filesystem::exists(channel(5).string() + ".tmp"));
    EXPECT_EQ(text_row(23).substr(0, 14), " SAVE FAILED  ");

    // The old save still restores.
    s.files.load_channel(5, s.machine, s.text);
    EXPECT_TRUE(capture_state() == first);
}

TEST_F(ChannelTest, SaveOntoADirectoryFails) {
    std::filesystem::create_directory(channel(6));
    set_state(1);
    s.files.save_channel(6, s.machine, s.text);
    EXPECT_TRUE(std::filesystem::is_directory(channel(6)));
    EXPECT_TRUE(std::filesystem::is_empty(channel(6)));
    EXPECT_EQ(text_row(23).substr(0, 14), " SAVE FAILED  ");
    const MachineState before = capture_state();
    s.files.load_channel(6, s.machine, s.text);
    EXPECT_TRUE(capture_state() == before);
}

// A channel holds no pending EI: the one the machine had before the restore belongs to
// another moment and would switch the restored program's interrupts on after one step.
// The CPU model is a setting and stays.
TEST_F(ChannelTest, RestoreForgetsTheMachinesPendingEiAndKeepsTheCpuModel) {
    set_state(6);
    m.z80.IFF1 = m.z80.IFF2 = 0;
    m.z80.halted = 0;
    s.files.save_channel(3, s.machine, s.text);
    m.cpu_model = CpuModel::zilog;
    m.z80.pending_EI = 1;
    m.z80.Q = 0x28;
    m.z80.after_ld_a_ir = 1;
    s.files.load_channel(3, s.machine, s.text);
    EXPECT_EQ(m.z80.pending_EI, 0);
    EXPECT_EQ(m.z80.Q, 0);
    EXPECT_EQ(m.z80.after_ld_a_ir, 0);
    EXPECT_EQ(m.cpu_model, CpuModel::zilog);
    m.z80_step();
    EXPECT_EQ(m.z80.IFF1, 0);
}

// Loading snapshots and attaching tape images.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstring>

#include "formats/formats.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
constexpr int BANK = 16384;
uint8_t* bank(int n) { return test_machine().RAM + n * BANK; }

// True when bank n holds the test snapshot's image `chunk` (see chunk_byte).
bool bank_holds(int n, int chunk) {
    for (int j = 0; j < BANK; j++)
        if (bank(n)[j] != chunk_byte(chunk, j)) return false;
    return true;
}

bool bank_filled_with(int n, uint8_t value) {
    for (int j = 0; j < BANK; j++)
        if (bank(n)[j] != value) return false;
    return true;
}

// A machine that has been running: state a load must replace or, failing, keep.
void run_a_while() {
    Spectrum& m = test_machine();
    std::memset(m.RAM, 0xEE, sizeof m.RAM);
    m.tstates = 12345;
    m.tstatesh = 4321;
    m.z80.PC = 0x1234;
    m.z80.SP = 0xFF00;
    m.z80.IFF1 = m.z80.IFF2 = 1;
    m.z80.halted = 1;
    m.port_fe = 0x07;
    m.model = 128;
    m.tpf = TPF_128;
    m.port_7ffd = 0x16;
    m.map_slot3(6);
}
} // namespace

TEST(FilesPaths, GetextIsTheLastThreeCharactersUpperCased) {
    const struct {
        const char* name;
        const char* ext;
    } cases[] = {
        {"", ""},
        {"sna", ""},
        {"a.sn", ".SN"},
        {"abcd.sna", "SNA"},
        {"gamesna", "SNA"},
        {"dir/Prog.Tap", "TAP"},
        {"prog.tapx", "APX"},
        {"x.z80", "Z80"},
    };
    for (const auto& c : cases) EXPECT_EQ(getext(c.name), c.ext) << c.name;
}

TEST(FilesPaths, GetpathKeepsTheDirectoryWithItsSlash) {
    EXPECT_EQ(getpath("/usr/games/marrowgleam"), "/usr/games/");
    EXPECT_EQ(getpath("marrowgleam"), "");
    EXPECT_EQ(getpath("/marrowgleam"), "/");
    EXPECT_EQ(getpath("build/"), "build/");
}

// Which test image lands in which bank: -1 for a bank the load must not touch.
TEST(FilesSnapshot, ImagesGoToTheirBanks) {
    const struct {
        size_t size;
        uint8_t paging;
        int model, slot3;
        std::array<int, 8> chunk_of_bank;
    } cases[] = {
        // 48K: banks 5, 2 and 0 (slot 3 always bank 0); no paging byte in the file.
        {SNA_48K_SIZE, 0, 48, 0, {2, -1, 1, -1, -1, 0, -1, -1}},
        // Paging 0x13: bank 3 in slot 3, then banks 0, 1, 4, 6, 7.
        {SNA_128K_SIZE, 0x13, 128, 3, {3, 4, 1, 2, 5, 0, 6, 7}},
        // Bank 5 paged: its image comes twice (the second copy stays), and the six extra
        // banks of the long form are all read, bank 7 included.
        {SNA_128K_SIX_SIZE, 0x05, 128, 5, {3, 4, 1, 5, 6, 2, 7, 8}},
        {SNA_128K_SIX_SIZE, 0x0A, 128, 2, {3, 4, 2, 5, 6, 0, 7, 8}},
        // A longer file than the class needs: the extra bytes are ignored.
        {SNA_48K_SIZE + 1000, 0, 48, 0, {2, -1, 1, -1, -1, 0, -1, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " paging " << int(c.paging));
        Spectrum& m = fresh_machine();
        TempDir dir;
        dir.file("game.sna", sna_image(c.size, c.paging));
        run_a_while();

        ASSERT_TRUE(load_speccy(m, "game.sna"));
        EXPECT_EQ(m.model, c.model);
        EXPECT_EQ(m.tpf, c.model == 48 ? 69888 : 70908);
        // 48K: popped from 0x8000, the start of bank 2's image; 128K: from the file.
        const int pc48 = chunk_byte(1, 0) | chunk_byte(1, 1) << 8;
        EXPECT_EQ(m.z80.PC, c.model == 48 ? pc48 : 0x6E5D);
        EXPECT_EQ(m.z80.SP, c.model == 48 ? 0x8002 : 0x8000);
        EXPECT_EQ(m.port_7ffd, c.paging);
        EXPECT_EQ(m.SLTPTR[3], bank(c.slot3));
        EXPECT_EQ(m.SLTWR[3], bank(c.slot3));
        EXPECT_EQ(m.SLTPTR[1], bank(5));
        EXPECT_EQ(m.SLTPTR[2], bank(2));
        for (int n = 0; n < 8; n++) {
            if (c.chunk_of_bank[n] < 0)
                EXPECT_TRUE(bank_filled_with(n, 0xEE)) << "bank " << n << " was touched";
            else
                EXPECT_TRUE(bank_holds(n, c.chunk_of_bank[n]))
                    << "bank " << n << " should hold image " << c.chunk_of_bank[n];
        }
    }
}

TEST(FilesSnapshot, RegistersOf48KSnapshotAndPcPoppedWithoutTime) {
    Spectrum& m = fresh_machine();
    TempDir dir;
    auto sna = sna_image(SNA_48K_SIZE);
    // SP 0x8000 is the first byte of bank 2, the file's second image.
    sna[27 + BANK] = 0x5B;
    sna[27 + BANK + 1] = 0x7A;
    dir.file("game.sna", sna);
    run_a_while();
    m.z80.I = 0x11;
    m.z80.MEMPTR = 0x2222;

    ASSERT_TRUE(load_speccy(m, "game.sna"));
    EXPECT_EQ(m.z80.I, 0x3F);
    EXPECT_EQ(m.z80.HL_, 0x1122);
    EXPECT_EQ(m.z80.DE_, 0x3344);
    EXPECT_EQ(m.z80.BC_, 0x5566);
    EXPECT_EQ(m.z80.AF_, 0x7788);
    EXPECT_EQ(m.z80.HL, 0x99AA);
    EXPECT_EQ(m.z80.DE, 0xBBCC);
    EXPECT_EQ(m.z80.BC, 0xDDEE);
    EXPECT_EQ(m.z80.IY, 0x5C3A);
    EXPECT_EQ(m.z80.IX, 0xFEDC);
    EXPECT_EQ(m.z80.AF, 0x1234);
    EXPECT_EQ(m.z80.R, 0xA5);
    EXPECT_EQ(m.z80.R7, 0xA5);
    EXPECT_EQ(m.z80.IM, 1);
    EXPECT_EQ(m.z80.IFF1, 1);
    EXPECT_EQ(m.z80.IFF2, 1);
    EXPECT_EQ(m.port_fe, 0x03);
    EXPECT_EQ(m.z80.PC, 0x7A5B);
    EXPECT_EQ(m.z80.SP, 0x8002);
    // The reset before the load: not in the header, so as the reset left them.
    EXPECT_EQ(m.z80.MEMPTR, 0);
    EXPECT_EQ(m.z80.halted, 0);
    EXPECT_EQ(m.tstates, 0) << "the pop costs no T-states";
    EXPECT_EQ(m.tstatesh, 0);
    EXPECT_TRUE(m.is_snapshot);
    EXPECT_FALSE(m.is_tape);
    EXPECT_TRUE(m.tape.empty()) << "no tape image held";
    EXPECT_EQ(m.tape_pos, 0u);
}

TEST(FilesSnapshot, InterruptFlagsAndModeMapping) {
    const struct {
        uint8_t flags, mode;
        int iff, im;
    } cases[] = {
        {0x00, 0, 0, 0}, {0x04, 1, 1, 1},    {0xFB, 2, 0, 2},
        {0xFF, 3, 1, 0}, {0x04, 0xFF, 1, 0}, {0x02, 0x02, 0, 2},
    };
    Spectrum& m = fresh_machine();
    TempDir dir;
    for (const auto& c : cases) {
        auto sna = sna_image(SNA_48K_SIZE);
        sna[19] = c.flags;
        sna[25] = c.mode;
        dir.file("game.sna", sna);
        m.z80.IFF1 = m.z80.IFF2 = 1 - c.iff;
        ASSERT_TRUE(load_speccy(m, "game.sna"));
        EXPECT_EQ(m.z80.IFF1, c.iff) << "flags " << int(c.flags);
        EXPECT_EQ(m.z80.IFF2, c.iff) << "flags " << int(c.flags);
        EXPECT_EQ(m.z80.IM, c.im) << "mode byte " << int(c.mode);
    }
}

TEST(FilesSnapshot, UnloadableFilesChangeNothing) {
    Spectrum& m = fresh_machine();
    TempDir dir;
    dir.file("short.sna", sna_image(SNA_48K_SIZE - 1));
    // 128K files without every bank: with bank 5 or 2 paged the format holds six more.
    dir.file("cut5.sna", sna_image(SNA_128K_SIZE, 0x05));
    dir.file("cut2.sna", sna_image(SNA_128K_SIX_SIZE - 1, 0x12));
    dir.file("empty.sna");
    dir.directory("folder.sna");
    dir.file("tape.tap", tap_block(0, {1, 2, 3}));
    ASSERT_TRUE(load_speccy(m, "tape.tap")); // a tape attached must stay attached
    run_a_while();
    const MachineState before = capture_state();

    ASSERT_EQ(::mkfifo("pipe.sna", 0600), 0);
    dir.file("notes.txt", sna_image(SNA_48K_SIZE));
    dir.file("game", sna_image(SNA_48K_SIZE));
    std::filesystem::create_symlink("loop.tap", "loop.tap");
    const std::string too_long = std::string(300, 'x') + ".sna";
    const struct {
        std::string name;
        LoadResult::Status status;
        std::string why;
    } cases[] = {
        {"short.sna", LoadResult::REFUSED, "a snapshot needs at least 49179 bytes, it has 49178"},
        {"empty.sna", LoadResult::REFUSED, "a snapshot needs at least 49179 bytes, it has 0"},
        {"cut5.sna", LoadResult::REFUSED,
         "a 128K snapshot with bank 5 paged needs 147487 bytes, it has 131103"},
        {"cut2.sna", LoadResult::REFUSED,
         "a 128K snapshot with bank 2 paged needs 147487 bytes, it has 147486"},
        {"folder.sna", LoadResult::REFUSED, "it is a directory"},
        // Never opened: opening a named pipe waits for a writer.
        {"pipe.sna", LoadResult::REFUSED, "it is a named pipe (FIFO)"},
        {"/dev/zero", LoadResult::REFUSED, "it is a character device"},
        {"notes.txt", LoadResult::REFUSED,
         "unknown file type (the name must end in SNA, Z80, SZX, TAP or TZX)"},
        {"game", LoadResult::REFUSED,
         "unknown file type (the name must end in SNA, Z80, SZX, TAP or TZX)"},
        {"missing.sna", LoadResult::CANNOT_OPEN, "No such file or directory"},
        {"missing.tap", LoadResult::CANNOT_OPEN, "No such file or directory"},
        {"missing", LoadResult::CANNOT_OPEN, "No such file or directory"},
        {"loop.tap", LoadResult::CANNOT_OPEN, "Too many levels of symbolic links"},
        {too_long, LoadResult::CANNOT_OPEN, "File name too long"},
    };
    for (const auto& c : cases) {
        const LoadResult result = load_speccy(m, c.name);
        EXPECT_FALSE(result) << c.name;
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.why, c.why) << c.name;
        EXPECT_TRUE(capture_state() == before) << c.name << " changed the machine";
    }
    // The tape is still attached, at its first block.
    EXPECT_EQ(m.tape, tap_block(0, {1, 2, 3}));
    EXPECT_EQ(m.tape_pos, 0u);
}

TEST(FilesTape, NamesEndingInTapAttachATape) {
    const struct {
        const char* name;
        bool tape;
    } cases[] = {{"prog.tap", true},   {"PROG.TAP", true}, {"progtap", true},
                 {"prog.tapx", false}, {"abc", false},     {"prog.z81", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Spectrum& m = fresh_machine();
        TempDir dir;
        dir.file(c.name, tap_block(0, {1, 2, 3}));
        run_a_while();

        if (!c.tape) {
            // Any other type is refused, and the machine runs on untouched.
            const MachineState before = capture_state();
            const LoadResult result = load_speccy(m, c.name);
            EXPECT_EQ(result.status, LoadResult::REFUSED);
            EXPECT_EQ(result.why,
                      "unknown file type (the name must end in SNA, Z80, SZX, TAP or TZX)");
            EXPECT_TRUE(capture_state() == before);
            continue;
        }
        ASSERT_TRUE(load_speccy(m, c.name));
        // The machine is reset, memory and model kept.
        EXPECT_EQ(m.z80.PC, 0);
        EXPECT_EQ(m.tstates, 0);
        EXPECT_EQ(m.model, 128);
        EXPECT_EQ(m.tpf, 70908);
        EXPECT_TRUE(bank_filled_with(0, 0xEE));
        EXPECT_FALSE(m.is_snapshot);
        EXPECT_TRUE(m.is_tape);
        EXPECT_TRUE(m.basic_rom()[0x0556] == 0xC3 && m.basic_rom()[0x0557] == 0x6B &&
                    m.basic_rom()[0x0558] == 0x05);
        EXPECT_EQ(m.tape, tap_block(0, {1, 2, 3})) << "the whole image is held";
        EXPECT_EQ(m.tape_pos, 0u);
    }
}

TEST(FilesTape, SnapshotAfterTapeDetachesItButKeepsThePatch) {
    Spectrum& m = fresh_machine();
    TempDir dir;
    dir.file("prog.tap", tap_block(0, {1, 2, 3}));
    dir.file("game.sna", sna_image(SNA_48K_SIZE));
    ASSERT_TRUE(load_speccy(m, "prog.tap"));
    ASSERT_TRUE(load_speccy(m, "game.sna"));
    EXPECT_FALSE(m.is_tape);
    EXPECT_TRUE(m.is_snapshot);
    EXPECT_TRUE(m.tape.empty()) << "the tape is detached";
    EXPECT_EQ(m.tape_pos, 0u);
    EXPECT_EQ(m.basic_rom()[0x0556], 0xC3);
    EXPECT_EQ(m.basic_rom()[0x0557], 0x6B);
    EXPECT_EQ(m.basic_rom()[0x0558], 0x05);
    EXPECT_FALSE(m.tape_load_trap()) << "no tape: the hooked instruction runs as usual";
}

// The user's text files (symbols, key scripts) are read whole, but never from what is no
// regular file (a named pipe would wait for ever) nor past the limit.
TEST(FilesText, TextFilesAreRegularFilesWithinTheLimit) {
    TempDir dir;
    dir.file("four.txt", std::vector<uint8_t>{'a', 'b', 'c', '\n'});
    ASSERT_EQ(::mkfifo("pipe.txt", 0600), 0);
    const struct {
        std::string name;
        size_t limit;
        std::string text_or_error;
    } cases[] = {
        {"four.txt", 4, "abc\n"},
        {"four.txt", 3, "cannot read four.txt: over 3 bytes"},
        {"pipe.txt", 100, "cannot read pipe.txt: it is a named pipe (FIFO)"},
        {"missing.txt", 100, "cannot read missing.txt: No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string text, error;
        const bool read = read_text_file(c.name, c.limit, text, error);
        EXPECT_EQ(read ? text : error, c.text_or_error) << c.name;
    }
}

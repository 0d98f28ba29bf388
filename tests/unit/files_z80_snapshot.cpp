// Z80 snapshots made by hand, one for each corner of the format: version 1 with its end
// marker, the compression's runs of ED and the lone ED before a run, the 48K's pages 4, 5
// and 8, the 128K's pages 3 to 10, the T-state counter, and the files that must be refused
// without touching the running machine.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "spectrum/machine.h"

namespace {
using Bytes = std::vector<uint8_t>;
constexpr size_t PAGE = 16384;

// A version 1 header: A=0x12 F=0x34 BC=0x5678 HL=0x9ABC PC=0x8000 SP=0xFF00 I=0x3F
// R=0xC5 (bit 7 in byte 12) border 3, DE=0x1122, IY=0x5C3A, IX=0x7788, IFF1 on, IM 1.
Bytes v1_header(bool compressed) {
    Bytes h(30, 0);
    h[0] = 0x12, h[1] = 0x34, h[2] = 0x78, h[3] = 0x56, h[4] = 0xBC, h[5] = 0x9A;
    h[6] = 0x00, h[7] = 0x80, h[8] = 0x00, h[9] = 0xFF, h[10] = 0x3F, h[11] = 0x45;
    h[12] = static_cast<uint8_t>(0x01 | (3 << 1) | (compressed ? 0x20 : 0));
    h[13] = 0x22, h[14] = 0x11, h[23] = 0x3A, h[24] = 0x5C, h[25] = 0x88, h[26] = 0x77;
    h[27] = 1, h[28] = 1, h[29] = 1;
    return h;
}

// A version 3 header (54 more bytes) for hardware `mode`, PC 0x8123 and paging byte.
Bytes v3_header(uint8_t mode, uint8_t paging = 0, uint16_t extra = 54) {
    Bytes h = v1_header(false);
    h[6] = h[7] = 0; // versions 2 and 3
    h.resize(32 + extra, 0);
    h[30] = static_cast<uint8_t>(extra);
    h[31] = static_cast<uint8_t>(extra >> 8);
    h[32] = 0x23, h[33] = 0x81;
    h[34] = mode;
    h[35] = paging;
    return h;
}

// Appends a page: stored as it is (length 0xFFFF), or as the given compressed bytes.
void stored_page(Bytes& file, uint8_t page, uint8_t fill) {
    file.insert(file.end(), {0xFF, 0xFF, page});
    file.insert(file.end(), PAGE, fill);
}
void compressed_page(Bytes& file, uint8_t page, const Bytes& data) {
    file.insert(file.end(),
                {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8), page});
    file.insert(file.end(), data.begin(), data.end());
}
// `count` zeros as runs of at most 255.
void zero_runs(Bytes& out, size_t count) {
    while (count) {
        const size_t n = std::min<size_t>(count, 255);
        out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(n), 0x00});
        count -= n;
    }
}

// A machine to load into, with something in every place a load may change.
std::unique_ptr<Spectrum> used_machine() {
    auto m = std::make_unique<Spectrum>();
    for (size_t i = 0; i < sizeof m->RAM; i++) m->RAM[i] = static_cast<uint8_t>(i * 5 + 1);
    m->z80.PC = 0x1234;
    m->z80.SP = 0x4321;
    m->tstates = 777;
    m->port_fe = 0x05;
    m->tape = {1, 2, 3};
    m->is_tape = 1;
    return m;
}

LoadResult load(Spectrum& m, const Bytes& file) { return load_z80_snapshot(m, file); }

// A refused file leaves the machine exactly as it was, and says why.
void expect_refused(const Bytes& file, const std::string& reason) {
    auto m = used_machine();
    const auto before = std::make_unique<Spectrum>(*m);
    const LoadResult result = load(*m, file);
    EXPECT_EQ(result.status, LoadResult::REFUSED);
    EXPECT_NE(result.why.find(reason), std::string::npos) << "the reason: " << result.why;
    EXPECT_EQ(std::memcmp(m->RAM, before->RAM, sizeof m->RAM), 0);
    EXPECT_EQ(std::memcmp(&m->z80, &before->z80, Z80_IMAGE_SIZE), 0);
    EXPECT_EQ(m->tstates, 777);
    EXPECT_EQ(m->port_fe, 0x05);
    EXPECT_EQ(m->tape, before->tape);
    EXPECT_EQ(m->model, 48);
}
} // namespace

// Version 1, compressed: ED ED n b runs, a run of EDs, a lone ED followed by a run of the
// byte after it, and the end marker 00 ED ED 00.
TEST(Z80Snapshot, Version1CompressedRunsAndEndMarker) {
    Bytes file = v1_header(true);
    const Bytes data = {
        0xED, 0xED, 0x05, 0xAA,             // AA AA AA AA AA
        0xED, 0xED, 0x03, 0xED,             // ED ED ED
        0xED, 0x07, 0xED, 0xED, 0x04, 0x07, // a lone ED, its byte, then a run: ED 07 07 07 07 07
        0x01, 0xED, 0x00,                   // 01 ED 00: a lone ED and a byte
        0x00,                               // 00 as it is
    };
    file.insert(file.end(), data.begin(), data.end());
    const size_t made = 5 + 3 + 6 + 3 + 1;
    zero_runs(file, 3 * PAGE - made - 1);
    file.push_back(0x99); // the last byte of memory, at 0xFFFF
    file.insert(file.end(), {0x00, 0xED, 0xED, 0x00});

    auto m = used_machine();
    const LoadResult result = load(*m, file);
    ASSERT_TRUE(result) << result.why;
    const uint8_t want[] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xED, 0xED, 0xED, 0xED,
                            0x07, 0x07, 0x07, 0x07, 0x07, 0x01, 0xED, 0x00, 0x00};
    for (size_t i = 0; i < sizeof want; i++)
        EXPECT_EQ(m->readbyte_internal(static_cast<uint16_t>(0x4000 + i)), want[i]) << i;
    EXPECT_EQ(m->readbyte_internal(0x4000 + made), 0x00);
    EXPECT_EQ(m->readbyte_internal(0xFFFE), 0x00);
    EXPECT_EQ(m->readbyte_internal(0xFFFF), 0x99);

    EXPECT_EQ(m->z80.AF, 0x1234);
    EXPECT_EQ(m->z80.BC, 0x5678);
    EXPECT_EQ(m->z80.HL, 0x9ABC);
    EXPECT_EQ(m->z80.DE, 0x1122);
    EXPECT_EQ(m->z80.PC, 0x8000);
    EXPECT_EQ(m->z80.SP, 0xFF00);
    EXPECT_EQ(m->z80.IY, 0x5C3A);
    EXPECT_EQ(m->z80.IX, 0x7788);
    EXPECT_EQ(m->z80.I, 0x3F);
    EXPECT_EQ(r_register(*m), 0xC5) << "bits 0-6 from byte 11, bit 7 from byte 12";
    EXPECT_EQ(m->port_fe & 7, 3);
    EXPECT_EQ(m->z80.IFF1, 1);
    EXPECT_EQ(m->z80.IM, 1);
    EXPECT_EQ(m->model, 48);
    EXPECT_EQ(m->tpf, TPF_48);
    EXPECT_EQ(m->tstates, 0);
    EXPECT_TRUE(m->tape.empty()) << "a snapshot detaches the tape";
    EXPECT_EQ(std::memcmp(m->RTFB, m->RAM + 5 * PAGE, sizeof m->RTFB), 0)
        << "the beam's copy of the screen starts from the loaded screen";
}

TEST(Z80Snapshot, Version1StoredAndItsTruncations) {
    Bytes file = v1_header(false);
    for (size_t i = 0; i < 3 * PAGE; i++) file.push_back(static_cast<uint8_t>(i >> 8));
    auto m = used_machine();
    ASSERT_TRUE(load(*m, file));
    EXPECT_EQ(m->readbyte_internal(0x4000 + 0x1234), 0x12);
    EXPECT_EQ(m->readbyte_internal(0xFFFF), 0xBF);

    file.pop_back();
    expect_refused(file, "cut off");

    // Compressed data that ends (marker) before 48K is made, or makes more.
    Bytes short_file = v1_header(true);
    zero_runs(short_file, 3 * PAGE - 1);
    short_file.insert(short_file.end(), {0x00, 0xED, 0xED, 0x00});
    expect_refused(short_file, "49151 bytes of 49152");
    Bytes long_file = v1_header(true);
    zero_runs(long_file, 3 * PAGE + 1);
    expect_refused(long_file, "more than 49152");
    Bytes cut_run = v1_header(true);
    zero_runs(cut_run, 3 * PAGE - 4);
    cut_run.insert(cut_run.end(), {0xED, 0xED, 0x04});
    expect_refused(cut_run, "cut off");
}

// 48K: page 8 is 0x4000, page 4 0x8000, page 5 0xC000, in any order, stored or compressed;
// the ROM page 0 is skipped.
TEST(Z80Snapshot, Version3Pages48K) {
    Bytes file = v3_header(0);
    file[55] = 0x0B, file[56] = 0x44; // 0x440B = 17419: 52 T-states into the quarter
    file[57] = 0;                     // the second quarter
    stored_page(file, 5, 0x55);
    Bytes page8 = {0xED, 0x05, 0xED, 0xED, 0x05, 0x05};
    zero_runs(page8, PAGE - 8);
    page8.push_back(0x88);
    compressed_page(file, 8, page8);
    stored_page(file, 0, 0xEE); // ROM: skipped
    stored_page(file, 4, 0x44);

    auto m = used_machine();
    const LoadResult result = load(*m, file);
    ASSERT_TRUE(result) << result.why;
    const uint8_t want[] = {0xED, 0x05, 0x05, 0x05, 0x05, 0x05, 0x05, 0x00};
    for (size_t i = 0; i < sizeof want; i++)
        EXPECT_EQ(m->readbyte_internal(static_cast<uint16_t>(0x4000 + i)), want[i]) << i;
    EXPECT_EQ(m->readbyte_internal(0x7FFF), 0x88);
    EXPECT_EQ(m->readbyte_internal(0x8000), 0x44);
    EXPECT_EQ(m->readbyte_internal(0xC000), 0x55);
    EXPECT_EQ(m->readbyte_internal(0xFFFF), 0x55);
    EXPECT_EQ(m->basic_rom()[0], 0x00) << "the ROM page does not overwrite the ROM";
    EXPECT_EQ(m->z80.PC, 0x8123);
    EXPECT_EQ(m->tstates, 17472 + 52);
}

// 128K: pages 3 to 10 are banks 0 to 7; byte 35 pages one of them in at 0xC000.
TEST(Z80Snapshot, Version3Pages128K) {
    for (uint8_t mode : {4, 12}) {
        Bytes file = v3_header(mode, 0x1E); // bank 6, shadow screen, ROM 1
        file[57] = 3;                       // just after the interrupt...
        file[55] = 0x3E, file[56] = 0x45;   // ...the low counter at 17726 = quarter - 1
        file[37] = 0x04;
        file[38] = 0x0E;
        for (int r = 0; r < 16; r++) file[39 + r] = static_cast<uint8_t>(0xA0 + r);
        for (uint8_t page = 10; page >= 3; page--) stored_page(file, page, page);
        auto m = used_machine();
        const LoadResult result = load(*m, file);
        ASSERT_TRUE(result) << result.why;
        EXPECT_EQ(m->model, 128);
        EXPECT_EQ(m->tpf, TPF_128);
        EXPECT_EQ(m->tstates, 0);
        for (int bank = 0; bank < 8; bank++) EXPECT_EQ(m->RAM[bank * PAGE + 100], bank + 3);
        EXPECT_EQ(m->port_7ffd, 0x1E);
        EXPECT_EQ(m->readbyte_internal(0xC000), 9) << "bank 6 at 0xC000";
        EXPECT_EQ(m->screen_bank(), m->RAM + 7 * PAGE);
        EXPECT_EQ(m->ay.selected, 0x0E);
        EXPECT_EQ(m->ay.regs[15], 0xAF);
    }
    // Version 2: hardware mode 3 is the 128K, and 0xFFFF is a length, not "stored".
    Bytes v2 = v3_header(3, 0x02, 23);
    for (uint8_t page = 3; page <= 10; page++) {
        Bytes data;
        zero_runs(data, PAGE - 1);
        data.push_back(page);
        compressed_page(v2, page, data);
    }
    auto m = used_machine();
    ASSERT_TRUE(load(*m, v2));
    EXPECT_EQ(m->readbyte_internal(0xFFFF), 5) << "bank 2 at 0xC000";
    EXPECT_EQ(m->tstates, 0) << "version 2 has no T-state counter";
}

TEST(Z80Snapshot, MalformedFilesAreRefusedAndChangeNothing) {
    auto pages48 = [](Bytes file) {
        for (uint8_t page : {4, 5, 8}) stored_page(file, page, page);
        return file;
    };
    expect_refused(Bytes(20, 0), "32 bytes");
    expect_refused(v3_header(0, 0, 30), "unknown Z80 version");

    // Missing, doubled and foreign pages.
    Bytes missing = v3_header(0);
    stored_page(missing, 8, 1);
    stored_page(missing, 5, 1);
    expect_refused(missing, "page 4 is missing");
    Bytes twice = pages48(v3_header(0));
    stored_page(twice, 8, 2);
    expect_refused(twice, "page 8 is there twice");
    Bytes foreign = pages48(v3_header(0));
    stored_page(foreign, 3, 0);
    expect_refused(foreign, "page 3 is not a page of the 48K");
    Bytes beyond = v3_header(4);
    for (uint8_t page = 3; page <= 10; page++) stored_page(beyond, page, 0);
    stored_page(beyond, 11, 0);
    expect_refused(beyond, "page 11 is not a page of the 128K");
    Bytes missing128 = v3_header(4);
    for (uint8_t page = 3; page <= 10; page++)
        if (page != 7) stored_page(missing128, page, 0);
    expect_refused(missing128, "page 7 is missing");

    // Lengths past the end, bad compression.
    Bytes cut = pages48(v3_header(0));
    cut.pop_back();
    expect_refused(cut, "page 8 is cut off");
    Bytes half_header = pages48(v3_header(0));
    half_header.insert(half_header.end(), {0x10, 0x00});
    expect_refused(half_header, "page header is cut off");
    Bytes overrun = v3_header(0);
    Bytes data;
    zero_runs(data, PAGE - 2);
    data.insert(data.end(), {0xED, 0xED, 0x03, 0x11});
    compressed_page(overrun, 8, data);
    expect_refused(overrun, "page 8: the compressed data makes more than 16384");
    Bytes zero_run = v3_header(0);
    compressed_page(zero_run, 8, {0xED, 0xED, 0x00, 0x11});
    expect_refused(zero_run, "run of length 0");
    Bytes counter = pages48(v3_header(0));
    counter[55] = 0x40, counter[56] = 0x44; // 17472: not below a quarter frame
    expect_refused(counter, "T-state counter");

    // Machines this emulator is not, named.
    expect_refused(pages48(v3_header(7)), "+3");
    expect_refused(pages48(v3_header(9)), "Pentagon 128");
    expect_refused(pages48(v3_header(13)), "+2A");
    expect_refused(pages48(v3_header(14)), "TC2048");
    expect_refused(pages48(v3_header(2)), "SamRam");
    expect_refused(pages48(v3_header(128)), "TS2068");
}

// The saved version 3 file: its header, the counter, and the compression of the corners.
TEST(Z80Snapshot, SavedFileCompressesRunsAndTheByteAfterALoneED) {
    auto m = std::make_unique<Spectrum>();
    const uint8_t screen[] = {0xED, 0x05, 0x05, 0x05, 0x05, 0x05, 0x05,
                              0xED, 0xED, 0x01, 0x02, 0x02, 0x02, 0x02};
    std::memcpy(m->RAM + 5 * PAGE, screen, sizeof screen);
    m->z80.PC = 0xABCD;
    m->tstates = 17472 + 52;
    const SnapshotImage image = z80_image(*m);
    ASSERT_TRUE(image);
    const Bytes& f = image.bytes;
    ASSERT_GE(f.size(), 86u + 3);
    EXPECT_EQ(f[6] | f[7], 0) << "PC 0: version 2 or 3";
    EXPECT_EQ(f[30], 54) << "version 3";
    EXPECT_EQ(f[32] | f[33] << 8, 0xABCD);
    EXPECT_EQ(f[34], 0) << "48K";
    EXPECT_EQ(f[55] | f[56] << 8, 17419);
    EXPECT_EQ(f[57], 0);
    // The first page is page 8 (0x4000): ED, 05 as it is, then the run of five 05; two EDs
    // as a run; 01; four 02 as they are; then the zeros.
    EXPECT_EQ(f[88], 8);
    const Bytes want = {0xED, 0x05, 0xED, 0xED, 0x05, 0x05, 0xED, 0xED, 0x02, 0xED,
                        0x01, 0x02, 0x02, 0x02, 0x02, 0xED, 0xED, 0xFF, 0x00};
    EXPECT_EQ(Bytes(f.begin() + 89, f.begin() + 89 + static_cast<long>(want.size())), want);

    // Loaded back, the same memory and counter.
    auto back = std::make_unique<Spectrum>();
    ASSERT_TRUE(load(*back, f));
    EXPECT_EQ(std::memcmp(back->RAM + 5 * PAGE, m->RAM + 5 * PAGE, PAGE), 0);
    EXPECT_EQ(back->tstates, 17472 + 52);
    EXPECT_EQ(back->z80.PC, 0xABCD);
}

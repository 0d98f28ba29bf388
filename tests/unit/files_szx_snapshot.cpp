// SZX snapshots made by hand: the chunks read (Z80R, SPCR, RAMP compressed and plain, AY,
// KEYB, JOY), unknown chunks skipped by their size, the machines refused by name, and
// malformed files refused without touching the running machine.
#include <gtest/gtest.h>
#include <zlib.h>

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

void put16(Bytes& b, uint16_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; i++) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

Bytes header(uint8_t machine) { return {'Z', 'X', 'S', 'T', 1, 4, machine, 0}; }
void chunk(Bytes& file, const char* id, const Bytes& data) {
    file.insert(file.end(), id, id + 4);
    put32(file, static_cast<uint32_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());
}

// Registers: AF 0x0102 ... PC 0x8000 (12 pairs), I 0x3F, R 0x85, IFF1/IFF2 1, IM 2,
// `cycles` T-states into the frame, the given flags and MEMPTR 0xBEEF.
Bytes z80r(uint32_t cycles, uint8_t flags = 0, uint8_t iff = 1) {
    Bytes d;
    for (uint16_t v : {0x0102, 0x0304, 0x0506, 0x0708, 0x090A, 0x0B0C, 0x0D0E, 0x0F10, 0x1112,
                       0x1314, 0x9000, 0x8000})
        put16(d, v);
    d.insert(d.end(), {0x3F, 0x85, iff, iff, 2});
    put32(d, cycles);
    d.push_back(32);
    d.push_back(flags);
    put16(d, 0xBEEF);
    return d;
}

// A RAM page: the flags, the bank, 16 KiB of `fill` with the bank number in its first byte,
// compressed by zlib or plain.
Bytes ramp(uint8_t bank, uint8_t fill, bool compressed) {
    Bytes page(PAGE, fill);
    page[0] = bank;
    Bytes d = {uint8_t(compressed ? 1 : 0), 0, bank};
    if (!compressed) {
        d.insert(d.end(), page.begin(), page.end());
        return d;
    }
    uLongf length = compressBound(PAGE);
    Bytes z(length);
    EXPECT_EQ(compress2(z.data(), &length, page.data(), PAGE, 9), Z_OK);
    d.insert(d.end(), z.begin(), z.begin() + static_cast<long>(length));
    return d;
}

// A whole 48K file: registers, ports (border 4, 0xFE last 0x14), the three pages.
Bytes file48(const Bytes& regs = z80r(1000)) {
    Bytes f = header(1);
    chunk(f, "CRTR", Bytes(36, 0x41));
    chunk(f, "Z80R", regs);
    chunk(f, "SPCR", {4, 0, 0, 0x14, 0, 0, 0, 0});
    chunk(f, "RAMP", ramp(5, 0x55, true));
    chunk(f, "RAMP", ramp(2, 0x22, false));
    chunk(f, "RAMP", ramp(0, 0x00, true));
    return f;
}

std::unique_ptr<Spectrum> used_machine() {
    auto m = std::make_unique<Spectrum>();
    for (size_t i = 0; i < sizeof m->RAM; i++) m->RAM[i] = static_cast<uint8_t>(i * 3 + 7);
    m->z80.PC = 0x1234;
    m->tstates = 555;
    m->tape = {9, 9};
    return m;
}

void expect_refused(const Bytes& file, const std::string& reason) {
    auto m = used_machine();
    const auto before = std::make_unique<Spectrum>(*m);
    const LoadResult result = load_szx_snapshot(*m, file);
    EXPECT_EQ(result.status, LoadResult::REFUSED);
    EXPECT_NE(result.why.find(reason), std::string::npos) << "the reason: " << result.why;
    EXPECT_EQ(std::memcmp(m->RAM, before->RAM, sizeof m->RAM), 0);
    EXPECT_EQ(std::memcmp(&m->z80, &before->z80, Z80_IMAGE_SIZE), 0);
    EXPECT_EQ(m->tstates, 555);
    EXPECT_EQ(m->tape, before->tape);
}
} // namespace

TEST(SzxSnapshot, Loads48KWithEveryChunkAndSkipsUnknownOnes) {
    Bytes f = file48();
    chunk(f, "XYZW", Bytes(1000, 0xED)); // unknown: skipped by its size
    chunk(f, "KEYB", {1, 0, 0, 0, 2});
    chunk(f, "JOY\0", {0, 0, 0, 0, 1, 2});
    Bytes ay = {0, 9};
    for (int r = 0; r < 16; r++) ay.push_back(static_cast<uint8_t>(0x60 + r));
    chunk(f, "AY\0\0", ay);
    auto m = used_machine();
    const LoadResult result = load_szx_snapshot(*m, f);
    ASSERT_TRUE(result) << result.why;
    EXPECT_EQ(m->model, 48);
    EXPECT_EQ(m->tstates, 1000);
    EXPECT_EQ(m->readbyte_internal(0x4000), 5);
    EXPECT_EQ(m->readbyte_internal(0x4001), 0x55);
    EXPECT_EQ(m->readbyte_internal(0x8000), 2);
    EXPECT_EQ(m->readbyte_internal(0xBFFF), 0x22);
    EXPECT_EQ(m->readbyte_internal(0xFFFF), 0x00);
    EXPECT_EQ(m->z80.AF, 0x0102);
    EXPECT_EQ(m->z80.HL_, 0x0F10);
    EXPECT_EQ(m->z80.IY, 0x1314);
    EXPECT_EQ(m->z80.SP, 0x9000);
    EXPECT_EQ(m->z80.PC, 0x8000);
    EXPECT_EQ(m->z80.I, 0x3F);
    EXPECT_EQ(r_register(*m), 0x85);
    EXPECT_EQ(m->z80.IM, 2);
    EXPECT_EQ(m->z80.IFF1, 1);
    EXPECT_EQ(m->z80.MEMPTR, 0xBEEF);
    EXPECT_EQ(m->port_fe, 0x14) << "border 4, speaker bit from the last write";
    EXPECT_EQ(m->OUTOLD, 0xFF);
    EXPECT_EQ(m->ay.selected, 9);
    EXPECT_EQ(m->ay.regs[3], 0x03) << "0x63 kept to the register's 4 bits, as the chip keeps it";
    EXPECT_TRUE(m->tape.empty());
}

TEST(SzxSnapshot, Loads128KPagingAndTheCpuFlags) {
    Bytes f = header(2);
    chunk(f, "Z80R", z80r(70000, 0x01)); // the last instruction was EI
    chunk(f, "SPCR", {1, 0x0C, 0, 0, 0, 0, 0, 0});
    for (uint8_t bank = 0; bank < 8; bank++) chunk(f, "RAMP", ramp(bank, bank, bank & 1));
    auto m = used_machine();
    const LoadResult result = load_szx_snapshot(*m, f);
    ASSERT_TRUE(result) << result.why;
    EXPECT_EQ(m->model, 128);
    EXPECT_EQ(m->tpf, TPF_128);
    EXPECT_EQ(m->tstates, 70000);
    EXPECT_EQ(m->port_7ffd, 0x0C);
    EXPECT_EQ(m->readbyte_internal(0xC000), 4) << "bank 4 at 0xC000";
    EXPECT_EQ(m->screen_bank(), m->RAM + 7 * PAGE);
    for (int bank = 0; bank < 8; bank++) EXPECT_EQ(m->RAM[bank * PAGE + 1], bank);
    // EI just ran: the interrupts come on only after the next instruction.
    EXPECT_EQ(m->z80.IFF1, 0);
    EXPECT_EQ(m->z80.pending_EI, 1);

    // Halted, with PC after the HALT: PC is put back on it.
    Bytes halted = header(1);
    Bytes regs = z80r(10, 0x02);
    regs[22] = 0x01, regs[23] = 0x80; // PC 0x8001
    chunk(halted, "Z80R", regs);
    Bytes page2 = ramp(2, 0x00, false);
    page2[3] = 0x76; // HALT at 0x8000
    chunk(halted, "RAMP", ramp(5, 0, false));
    chunk(halted, "RAMP", page2);
    chunk(halted, "RAMP", ramp(0, 0, false));
    ASSERT_TRUE(load_szx_snapshot(*m, halted));
    EXPECT_EQ(m->z80.halted, 1);
    EXPECT_EQ(m->z80.PC, 0x8000);
}

TEST(SzxSnapshot, MachinesThisEmulatorIsNotAreRefusedByName) {
    const std::pair<uint8_t, const char*> machines[] = {
        {0, "16K"},       {4, "+2A"},     {5, "+3"},        {7, "Pentagon 128"},    {8, "TC2048"},
        {10, "Scorpion"}, {12, "TS2068"}, {15, "NTSC 48K"}, {99, "unknown machine"}};
    for (auto [id, name] : machines) {
        Bytes f = file48();
        f[6] = id;
        expect_refused(f, std::string("the machine is a ") + name);
    }
}

TEST(SzxSnapshot, MalformedFilesAreRefusedAndChangeNothing) {
    expect_refused({'Z', 'X', 'S'}, "no ZXST header");
    expect_refused({'Z', 'X', 'S', 'U', 1, 4, 1, 0}, "no ZXST header");
    Bytes version = file48();
    version[4] = 2;
    expect_refused(version, "SZX version 2");

    Bytes cut = file48();
    cut.pop_back();
    expect_refused(cut, "chunk RAMP runs");
    Bytes cut_header = file48();
    cut_header.insert(cut_header.end(), {'R', 'A', 'M'});
    expect_refused(cut_header, "chunk header is cut off");

    Bytes no_regs = header(1);
    for (uint8_t bank : {5, 2, 0}) chunk(no_regs, "RAMP", ramp(bank, 0, true));
    expect_refused(no_regs, "no Z80R chunk");
    Bytes short_regs = file48(Bytes(20, 0));
    expect_refused(short_regs, "chunk Z80R is too short");
    expect_refused(file48(z80r(69888)), "T-state count 69888 is past the frame");

    Bytes broken = ramp(7, 0, true);
    broken[1] = 0;
    broken[2] = 0; // bank 0 again, below
    broken[10] ^= 0xFF;
    Bytes f = header(2);
    chunk(f, "Z80R", z80r(0));
    for (uint8_t bank = 1; bank < 8; bank++) chunk(f, "RAMP", ramp(bank, 0, true));
    chunk(f, "RAMP", broken);
    expect_refused(f, "RAM page 0: bad compressed data");

    Bytes missing = header(1);
    chunk(missing, "Z80R", z80r(0));
    chunk(missing, "RAMP", ramp(5, 0, true));
    chunk(missing, "RAMP", ramp(0, 0, true));
    expect_refused(missing, "RAM page 2 is missing");
    Bytes twice = file48();
    chunk(twice, "RAMP", ramp(2, 0, true));
    expect_refused(twice, "RAM page 2 is there twice");
    Bytes foreign = file48();
    chunk(foreign, "RAMP", ramp(3, 0, true));
    expect_refused(foreign, "RAM page 3 is not a page of the 48K");
    Bytes beyond = file48();
    chunk(beyond, "RAMP", ramp(8, 0, true));
    expect_refused(beyond, "RAM page 8 does not exist");
    Bytes short_page = ramp(1, 0, false);
    short_page.pop_back();
    Bytes f128 = header(2);
    chunk(f128, "Z80R", z80r(0));
    chunk(f128, "RAMP", short_page);
    expect_refused(f128, "RAM page 1 holds 16383 bytes");
}

// The saved file: the header names the machine, every RAM page is zlib-compressed.
TEST(SzxSnapshot, SavedFileHasCompressedPages) {
    auto m = std::make_unique<Spectrum>();
    m->model = 128;
    m->tpf = TPF_128;
    const SnapshotImage image = szx_image(*m);
    ASSERT_TRUE(image);
    const Bytes& f = image.bytes;
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 8), header(2));
    int pages = 0;
    for (size_t i = 8; i + 8 <= f.size();) {
        const uint32_t size = f[i + 4] | f[i + 5] << 8 | f[i + 6] << 16 | uint32_t(f[i + 7]) << 24;
        if (!std::memcmp(&f[i], "RAMP", 4)) {
            pages++;
            EXPECT_EQ(f[i + 8] & 1, 1) << "compressed";
            EXPECT_LT(size, 1000u) << "a page of zeros compresses";
        }
        i += 8 + size;
    }
    EXPECT_EQ(pages, 8);
}

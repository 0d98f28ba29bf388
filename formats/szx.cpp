// SZX snapshots: a header and a series of chunks, loaded whole into a copy of the machine,
// and saved with zlib-compressed RAM pages.
//
// Header (8 bytes): "ZXST", major version (1), minor version (4), machine id, flags.
// Machine ids: 0 16K, 1 48K, 2 128K, 3 +2, 4 +2A, 5 +3, 6 +3e, 7 Pentagon 128, 8 TC2048,
// 9 TC2068, 10 Scorpion, 11 SE, 12 TS2068, 13 Pentagon 512, 14 Pentagon 1024, 15 NTSC 48K,
// 16 128Ke. 1 loads as the 48K, 2 and 3 as the 128K; the others are refused.
//
// Chunk: 4 bytes id, 4 bytes size of the data (little-endian), the data. Chunks not listed
// here are skipped by their size. Integers little-endian:
//   CRTR  32 creator name, 2 major, 2 minor version, then a command line (not read)
//   Z80R  2 each AF BC DE HL AF' BC' DE' HL' IX IY SP PC; 1 each I R IFF1 IFF2 IM;
//         4 T-states since the frame began; 1 T-states the interrupt line stays active
//         (not read); 1 flags: bit 0 the last instruction was EI, bit 1 halted;
//         2 MEMPTR (37 bytes; a 35-byte chunk of an older version has no MEMPTR)
//   SPCR  1 border, 1 the last byte written to port 0x7FFD, 1 port 0x1FFD or 0xEFF7,
//         1 the last byte written to port 0xFE, 4 reserved
//   RAMP  2 flags (bit 0: zlib-compressed), 1 RAM bank, the page: 16384 bytes, or its zlib
//         stream
//   KEYB  4 flags (bit 0: issue 2 keyboard), 1 joystick on the keys (read, not emulated)
//   AY    1 flags, 1 selected register, 16 registers
//   JOY   4 flags, 1 joystick of player 1, 1 of player 2 (read, not emulated)
#include <zlib.h>

#include <cstring>
#include <memory>
#include <string>

#include "formats/snapshots.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t HEADER = 8;
constexpr size_t Z80R_SIZE = 37;
constexpr size_t Z80R_OLD_SIZE = 35; // before MEMPTR was added
constexpr size_t SPCR_SIZE = 8;
constexpr size_t RAMP_HEAD = 3;
constexpr size_t KEYB_SIZE = 5;
constexpr size_t AY_SIZE = 18;
constexpr size_t JOY_SIZE = 6;
constexpr uint8_t EI_LAST = 0x01;
constexpr uint8_t HALTED = 0x02;
constexpr uint16_t COMPRESSED = 0x0001;
constexpr uint8_t AY_128 = 0x02;

const char* machine_name(int id) {
    static const char* const NAMES[] = {
        "16K",    "48K",          "128K",          "+2",       "+2A",      "+3",
        "+3e",    "Pentagon 128", "TC2048",        "TC2068",   "Scorpion", "SE",
        "TS2068", "Pentagon 512", "Pentagon 1024", "NTSC 48K", "128Ke"};
    return id < 17 ? NAMES[id] : "unknown machine";
}

LoadResult refuse(const std::string& why) { return {LoadResult::REFUSED, why}; }

std::string chunk_name(const uint8_t* id) {
    std::string name;
    for (int i = 0; i < 4; i++) name += (id[i] >= 0x20 && id[i] < 0x7F) ? char(id[i]) : '?';
    while (!name.empty() && (name.back() == '\0' || name.back() == ' ')) name.pop_back();
    return name;
}

void put_z80r(Spectrum& m, const uint8_t* d, size_t size) {
    Z80& z = m.z80;
    ByteReader r(d, size);
    for (uint16_t* pair :
         {&z.AF, &z.BC, &z.DE, &z.HL, &z.AF_, &z.BC_, &z.DE_, &z.HL_, &z.IX, &z.IY, &z.SP, &z.PC})
        *pair = r.u16();
    z.I = r.u8();
    z.R = z.R7 = r.u8();
    z.IFF1 = r.u8() ? 1 : 0;
    z.IFF2 = r.u8() ? 1 : 0;
    const uint8_t im = r.u8();
    z.IM = im <= 2 ? im : 0;
    const uint8_t flags = d[34];
    // The EI just run: interrupts turn on after the next instruction.
    if ((flags & EI_LAST) && z.IFF1) {
        z.IFF1 = z.IFF2 = 0;
        z.pending_EI = 1;
        z.ei_tstates = m.tstates;
    }
    // A halted CPU keeps PC on its HALT here; a file may hold the address after it.
    if (flags & HALTED) {
        if (m.readbyte_internal(z.PC) != 0x76 &&
            m.readbyte_internal(static_cast<uint16_t>(z.PC - 1)) == 0x76)
            z.PC--;
        z.halted = 1;
    }
    z.MEMPTR = size >= Z80R_SIZE ? ByteReader(d, size, 35).u16() : 0;
}
} // namespace

LoadResult load_szx_snapshot(Spectrum& m, const std::vector<uint8_t>& b) {
    if (b.size() < HEADER || std::memcmp(b.data(), "ZXST", 4) != 0)
        return refuse("not an SZX snapshot (no ZXST header)");
    if (b[4] != 1) return refuse("SZX version " + std::to_string(b[4]) + " is not known");
    const int id = b[6];
    int model;
    if (id == 1) model = 48;
    else if (id == 2 || id == 3) model = 128;
    else
        return refuse(std::string("the machine is a ") + machine_name(id) +
                      ", which this emulator is not");

    // First pass: every chunk within the file, and the registers and ports found, so that
    // the pages go into a machine whose paging is already known.
    const uint8_t* z80r = nullptr;
    size_t z80r_size = 0;
    const uint8_t* spcr = nullptr;
    const uint8_t* ay = nullptr;
    for (size_t i = HEADER; i < b.size();) {
        if (b.size() - i < 8)
            return refuse("a chunk header is cut off at byte " + std::to_string(i));
        const uint8_t* head = &b[i];
        const uint32_t size = ByteReader(head, 8, 4).u32();
        const std::string name = chunk_name(head);
        if (size > b.size() - i - 8)
            return refuse("chunk " + name + " runs " + std::to_string(size) + " bytes past byte " +
                          std::to_string(i + 8) + ", beyond the end");
        const uint8_t* data = head + 8;
        auto need = [&](size_t least) { return size >= least; };
        if (!std::memcmp(head, "Z80R", 4)) {
            if (!need(Z80R_OLD_SIZE)) return refuse("chunk Z80R is too short");
            z80r = data;
            z80r_size = size;
        } else if (!std::memcmp(head, "SPCR", 4)) {
            if (!need(SPCR_SIZE)) return refuse("chunk SPCR is too short");
            spcr = data;
        } else if (!std::memcmp(head, "AY\0\0", 4)) {
            if (!need(AY_SIZE)) return refuse("chunk AY is too short");
            ay = data;
        } else if (!std::memcmp(head, "RAMP", 4)) {
            if (!need(RAMP_HEAD)) return refuse("chunk RAMP is too short");
        } else if (!std::memcmp(head, "KEYB", 4)) {
            if (!need(KEYB_SIZE)) return refuse("chunk KEYB is too short");
        } else if (!std::memcmp(head, "JOY\0", 4)) {
            if (!need(JOY_SIZE)) return refuse("chunk JOY is too short");
        }
        i += 8 + size;
    }
    if (!z80r) return refuse("the snapshot has no Z80R chunk (the registers)");

    auto copy = std::make_unique<Spectrum>(m);
    Spectrum& n = *copy;
    const uint8_t paging = model == 128 && spcr ? spcr[1] : 0;
    begin_snapshot_load(n, model, paging);
    if (spcr) n.port_fe = static_cast<uint8_t>((spcr[3] & 0xF8) | (spcr[0] & 7));
    const uint32_t cycles = ByteReader(z80r, z80r_size, 29).u32();
    if (cycles >= static_cast<uint32_t>(n.tpf))
        return refuse("the T-state count " + std::to_string(cycles) + " is past the frame");
    n.tstates = static_cast<int32_t>(cycles);
    if (ay) {
        n.ay.selected = ay[1] & 15;
        for (int r = 0; r < 16; r++) n.ay.regs[r] = ay[2 + r] & AY_REGISTER_MASK[r];
        // A 48K whose snapshot holds a 128K-style chip has the add-on interface.
        if (model == 48 && (ay[0] & AY_128)) n.ay_on_48 = true;
    }

    bool seen[8] = {};
    for (size_t i = HEADER; i < b.size();) {
        const uint8_t* head = &b[i];
        const uint32_t size = ByteReader(head, 8, 4).u32();
        i += 8 + size;
        if (std::memcmp(head, "RAMP", 4)) continue;
        const uint8_t* data = head + 8;
        const uint16_t flags = ByteReader(data, size).u16();
        const int bank = data[2];
        if (bank > 7) return refuse("RAM page " + std::to_string(bank) + " does not exist");
        if (model == 48 && bank != 5 && bank != 2 && bank != 0)
            return refuse("RAM page " + std::to_string(bank) + " is not a page of the 48K");
        if (seen[bank]) return refuse("RAM page " + std::to_string(bank) + " is there twice");
        seen[bank] = true;
        uint8_t* out = n.RAM + bank * BANK_SIZE;
        const size_t length = size - RAMP_HEAD;
        if (flags & COMPRESSED) {
            uLongf made = BANK_SIZE;
            const int status = uncompress(out, &made, data + RAMP_HEAD, length);
            if (status != Z_OK || made != BANK_SIZE)
                return refuse("RAM page " + std::to_string(bank) + ": bad compressed data");
        } else {
            if (length != BANK_SIZE)
                return refuse("RAM page " + std::to_string(bank) + " holds " +
                              std::to_string(length) + " bytes, not 16384");
            std::memcpy(out, data + RAMP_HEAD, BANK_SIZE);
        }
    }
    for (int bank = 0; bank < 8; bank++) {
        if (model == 48 && bank != 5 && bank != 2 && bank != 0) continue;
        if (!seen[bank]) return refuse("RAM page " + std::to_string(bank) + " is missing");
    }
    // The registers last: a halted CPU's PC is checked against memory.
    put_z80r(n, z80r, z80r_size);
    finish_snapshot_load(n);
    m = n;
    return {LoadResult::DONE, ""};
}

SnapshotImage szx_image(const Spectrum& m) {
    const bool is128 = m.model == 128;
    std::vector<uint8_t> out = {'Z', 'X', 'S', 'T', 1, 4, static_cast<uint8_t>(is128 ? 2 : 1), 0};
    auto chunk = [&](const char* id, const std::vector<uint8_t>& data) {
        ByteWriter w(out);
        w.append(id, 4);
        w.u32(static_cast<uint32_t>(data.size()));
        w.append(data);
    };

    std::vector<uint8_t> creator(32, 0);
    std::memcpy(creator.data(), "Marrowgleam", 11);
    ByteWriter(creator).u16(0);
    ByteWriter(creator).u16(11);
    chunk("CRTR", creator);

    const Z80& z = m.z80;
    std::vector<uint8_t> regs;
    ByteWriter w(regs);
    for (uint16_t v : {z.AF, z.BC, z.DE, z.HL, z.AF_, z.BC_, z.DE_, z.HL_, z.IX, z.IY, z.SP, z.PC})
        w.u16(v);
    // An EI waiting for its next instruction is the "last instruction was EI" of the format.
    const bool ei_last = z.pending_EI && !z.IFF1;
    w.u8(z.I);
    w.u8(r_register(m));
    w.u8(z.IFF1 || ei_last);
    w.u8(z.IFF2 || ei_last);
    w.u8(z.IM);
    w.u32(static_cast<uint32_t>(m.tstates < 0 ? 0 : m.tstates));
    w.u8(static_cast<uint8_t>(m.timing().interrupt_end + 1)); // the INT line held
    w.u8(static_cast<uint8_t>((ei_last ? EI_LAST : 0) | (z.halted ? HALTED : 0)));
    w.u16(z.MEMPTR);
    chunk("Z80R", regs);

    const uint8_t fe = m.port_fe;
    chunk("SPCR",
          {static_cast<uint8_t>(fe & 7), is128 ? m.port_7ffd : uint8_t{0}, 0, fe, 0, 0, 0, 0});

    std::vector<uint8_t> sound = {static_cast<uint8_t>(m.ay_present() ? AY_128 : 0), m.ay.selected};
    sound.insert(sound.end(), m.ay.regs.begin(), m.ay.regs.end());
    chunk("AY\0\0", sound);

    for (int bank = 0; bank < 8; bank++) {
        if (!is128 && bank != 5 && bank != 2 && bank != 0) continue;
        // The 48K's 0xC000 page is whatever slot 3 shows.
        const uint8_t* page = is128 || bank != 0 ? m.RAM + bank * BANK_SIZE : m.SLTPTR[3];
        uLongf length = compressBound(BANK_SIZE);
        std::vector<uint8_t> ramp(RAMP_HEAD + length);
        if (compress2(ramp.data() + RAMP_HEAD, &length, page, BANK_SIZE, Z_BEST_COMPRESSION) !=
            Z_OK)
            return {{}, "zlib could not compress RAM page " + std::to_string(bank)};
        ramp.resize(RAMP_HEAD + length);
        ramp[0] = COMPRESSED;
        ramp[1] = 0;
        ramp[2] = static_cast<uint8_t>(bank);
        chunk("RAMP", ramp);
    }
    return {std::move(out), ""};
}

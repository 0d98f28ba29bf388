// Z80 snapshots, versions 1 to 3: loaded whole into a copy of the machine, and saved as
// version 3 with compressed pages.
//
// Header (16-bit values little-endian):
//   offset size  field
//      0    1    A
//      1    1    F
//      2    2    BC
//      4    2    HL
//      6    2    PC; 0 in versions 2 and 3, whose PC is at 32
//      8    2    SP
//     10    1    I
//     11    1    R, bits 0-6
//     12    1    bit 0: bit 7 of R; bits 1-3: border; bit 5: version 1 memory compressed
//                (255 reads as 1)
//     13    2    DE
//     15    2    BC'
//     17    2    DE'
//     19    2    HL'
//     21    1    A'
//     22    1    F'
//     23    2    IY
//     25    2    IX
//     27    1    IFF1 (0 off, else on)
//     28    1    IFF2
//     29    1    bits 0-1: interrupt mode
//   -- version 1: the 48K of RAM 0x4000-0xFFFF follows, compressed or not; compressed, it
//      ends with 00 ED ED 00 --
//     30    2    length of the header from 32 on: 23 (version 2), 54 or 55 (version 3)
//     32    2    PC
//     34    1    hardware mode (below)
//     35    1    128K: the last byte written to port 0x7FFD
//     36    1    interface ROM paged (not emulated)
//     37    1    bit 2: sound chip in use; bit 7: the modified machine (16K for 48K, +2
//                for 128K)
//     38    1    the sound chip's selected register
//     39   16    the sound chip's registers
//   -- version 3 --
//     55    2    T-state counter, low: counts down from a quarter frame - 1 to 0
//     57    1    T-state counter, high: 3 right after the interrupt, +1 every quarter frame
//     58   29    other interfaces (not emulated)
//     86    1    (length 55 only) the last byte written to port 0x1FFD
//
// Hardware modes: version 2: 0, 1 48K (1 with Interface 1), 3, 4 128K; version 3: 0, 1, 3
// 48K (with Interface 1 or a disc interface), 4, 5, 6 128K, 12 +2. The others (SamRam,
// +3, +2A, Pentagon, Scorpion, Didaktik, Timex) are refused.
//
// Versions 2 and 3 then hold pages, each: 2 bytes length of the data, 1 byte page number,
// the data. Length 0xFFFF (version 3): 16384 bytes stored as they are; any other length:
// that many bytes compressed. Pages: 48K 8 (0x4000), 4 (0x8000), 5 (0xC000); 128K 3 + n
// for RAM bank n. Pages 0-2 (ROMs) are skipped.
//
// Compression: ED ED n b is n copies of b; any other byte is itself. A run is written from
// five equal bytes, or from two EDs; the byte right after a lone ED is always written as it
// is, so that ED followed by a run of EDs cannot read as a run.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "formats/snapshots.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t V1_HEADER = 30;
constexpr size_t V2_EXTRA = 23;
constexpr size_t V3_EXTRA = 54;
constexpr size_t V3_EXTRA_1FFD = 55;
constexpr uint16_t STORED = 0xFFFF;

// Decompresses bytes [from, to) of `in` into out[0..size). False with `why` set when the
// data does not make exactly `size` bytes.
bool decompress(const std::vector<uint8_t>& in, size_t from, size_t to, uint8_t* out, size_t size,
                std::string& why) {
    size_t i = from, n = 0;
    while (i < to) {
        if (in[i] == 0xED && i + 1 < to && in[i + 1] == 0xED) {
            if (i + 4 > to) {
                why = "a run is cut off by the end of the data";
                return false;
            }
            const size_t count = in[i + 2];
            if (count == 0) {
                why = "a run of length 0";
                return false;
            }
            if (n + count > size) {
                why = "the compressed data makes more than " + std::to_string(size) + " bytes";
                return false;
            }
            std::memset(out + n, in[i + 3], count);
            n += count;
            i += 4;
        } else {
            if (n == size) {
                why = "the compressed data makes more than " + std::to_string(size) + " bytes";
                return false;
            }
            out[n++] = in[i++];
        }
    }
    if (n != size) {
        why =
            "the compressed data makes " + std::to_string(n) + " bytes of " + std::to_string(size);
        return false;
    }
    return true;
}

// The first 30 bytes, the header of every version.
void put_registers(Spectrum& m, const std::vector<uint8_t>& b) {
    Z80& z = m.z80;
    ByteReader r(b);
    z.setA(r.u8());
    z.setF(r.u8());
    z.BC = r.u16();
    z.HL = r.u16();
    z.PC = r.u16();
    z.SP = r.u16();
    z.I = r.u8();
    const uint8_t r_low = r.u8();
    const uint8_t flags_byte = r.u8();
    const uint8_t flags = flags_byte == 0xFF ? 1 : flags_byte;
    const auto r_value = static_cast<uint8_t>((r_low & 0x7F) | ((flags & 1) << 7));
    z.R = r_value;
    z.R7 = r_value;
    m.port_fe = static_cast<uint8_t>((flags >> 1) & 7);
    z.DE = r.u16();
    z.BC_ = r.u16();
    z.DE_ = r.u16();
    z.HL_ = r.u16();
    const uint8_t a_ = r.u8();
    z.AF_ = static_cast<uint16_t>(a_ << 8 | r.u8());
    z.IY = r.u16();
    z.IX = r.u16();
    z.IFF1 = r.u8() ? 1 : 0;
    z.IFF2 = r.u8() ? 1 : 0;
    const uint8_t im = r.u8() & 3;
    z.IM = im == 3 ? 0 : im;
}

LoadResult refuse(const std::string& why) { return {LoadResult::REFUSED, why}; }

LoadResult load_version1(Spectrum& m, const std::vector<uint8_t>& b) {
    const bool compressed = b[12] != 0xFF && (b[12] & 0x20);
    std::vector<uint8_t> ram(3 * BANK_SIZE);
    std::string why;
    if (!compressed) {
        if (b.size() < V1_HEADER + ram.size())
            return refuse("the memory is cut off: " + std::to_string(b.size() - V1_HEADER) +
                          " bytes of " + std::to_string(ram.size()));
        std::memcpy(ram.data(), &b[V1_HEADER], ram.size());
    } else {
        // The data ends at the end marker 00 ED ED 00, or without one at the end of the file.
        size_t end = b.size();
        for (size_t i = V1_HEADER; i + 4 <= b.size(); i++) {
            if (b[i] == 0x00 && b[i + 1] == 0xED && b[i + 2] == 0xED && b[i + 3] == 0x00) {
                end = i;
                break;
            }
            // Skip a run whole, so that its count and byte are never read as a marker.
            if (b[i] == 0xED && b[i + 1] == 0xED) i += 3;
        }
        if (!decompress(b, V1_HEADER, end, ram.data(), ram.size(), why)) return refuse(why);
    }
    begin_snapshot_load(m, 48, 0);
    put_registers(m, b);
    std::memcpy(m.RAM + 5 * BANK_SIZE, &ram[0], BANK_SIZE);
    std::memcpy(m.RAM + 2 * BANK_SIZE, &ram[BANK_SIZE], BANK_SIZE);
    std::memcpy(m.RAM + 0 * BANK_SIZE, &ram[2 * BANK_SIZE], BANK_SIZE);
    finish_snapshot_load(m);
    return {LoadResult::DONE, ""};
}

// The model for a hardware mode, 0 for one that cannot be emulated; `name` names it.
int model_for(int mode, bool version3, std::string& name) {
    static const char* const V3_NAMES[] = {"48K",
                                           "48K with Interface 1",
                                           "SamRam",
                                           "48K with a disc interface",
                                           "128K",
                                           "128K with Interface 1",
                                           "128K with a disc interface",
                                           "+3",
                                           "+3",
                                           "Pentagon 128",
                                           "Scorpion",
                                           "Didaktik Kompakt",
                                           "+2",
                                           "+2A",
                                           "TC2048",
                                           "TC2068"};
    if (version3) {
        name = mode < 16 ? V3_NAMES[mode] : mode == 128 ? "TS2068" : "unknown";
        if (mode == 0 || mode == 1 || mode == 3) return 48;
        if (mode == 4 || mode == 5 || mode == 6 || mode == 12) return 128;
        return 0;
    }
    static const char* const V2_NAMES[] = {"48K",  "48K with Interface 1",  "SamRam",
                                           "128K", "128K with Interface 1", "+3"};
    name = mode < 6 ? V2_NAMES[mode] : "unknown";
    if (mode == 0 || mode == 1) return 48;
    if (mode == 3 || mode == 4) return 128;
    return 0;
}

// The RAM bank a page number loads into, -1 for a ROM page (skipped), -2 for a page the
// model has not.
int bank_for_page(int page, int model) {
    if (page <= 2) return -1;
    if (model == 128) return page <= 10 ? page - 3 : -2;
    switch (page) {
    case 8: return 5;
    case 4: return 2;
    case 5: return 0;
    default: return -2;
    }
}

LoadResult load_version2_3(Spectrum& m, const std::vector<uint8_t>& b) {
    const size_t extra = ByteReader(b, 30).u16();
    const bool version3 = extra == V3_EXTRA || extra == V3_EXTRA_1FFD;
    if (extra != V2_EXTRA && !version3)
        return refuse("unknown Z80 version (header length " + std::to_string(extra) + ")");
    const size_t data = 32 + extra;
    if (b.size() < data) return refuse("the header is cut off");

    std::string name;
    const int model = model_for(b[34], version3, name);
    if (!model) return refuse("the machine is a " + name + ", which this emulator is not");
    const uint8_t paging = model == 128 ? b[35] : 0;

    // Parsed into a copy: the running machine changes only once the whole file is read.
    auto copy = std::make_unique<Spectrum>(m);
    Spectrum& n = *copy;
    begin_snapshot_load(n, model, paging);
    put_registers(n, b);
    n.z80.PC = ByteReader(b, 32).u16();
    n.ay.selected = b[38];
    for (int r = 0; r < 16; r++) n.ay.regs[r] = b[39 + r] & AY_REGISTER_MASK[r];
    // Bit 2 of byte 37: the machine has the sound chip (on a 48K, an add-on interface).
    if (model == 48 && (b[37] & 0x04)) n.ay_on_48 = true;
    if (version3) {
        // Just after the interrupt the high counter is 3 and the low one a quarter frame - 1.
        const int32_t quarter = n.tpf / 4;
        const int32_t low = ByteReader(b, 55).u16(), high = b[57] & 3;
        if (low >= quarter)
            return refuse("the T-state counter " + std::to_string(low) +
                          " is past a quarter frame");
        n.tstates = ((high + 1) & 3) * quarter + (quarter - 1 - low);
    }

    bool seen[8] = {};
    size_t i = data;
    while (i < b.size()) {
        if (i + 3 > b.size())
            return refuse("a page header is cut off at byte " + std::to_string(i));
        const uint16_t length = ByteReader(b, i).u16();
        const int page = b[i + 2];
        i += 3;
        const bool stored = version3 && length == STORED;
        const size_t size = stored ? BANK_SIZE : length;
        if (size > b.size() - i)
            return refuse("page " + std::to_string(page) + " is cut off: " +
                          std::to_string(b.size() - i) + " bytes of " + std::to_string(size));
        const int bank = bank_for_page(page, model);
        if (bank == -2)
            return refuse("page " + std::to_string(page) + " is not a page of the " +
                          std::to_string(model) + "K machine");
        if (bank >= 0) {
            if (seen[bank]) return refuse("page " + std::to_string(page) + " is there twice");
            seen[bank] = true;
            uint8_t* out = n.RAM + bank * BANK_SIZE;
            std::string why;
            if (stored) std::memcpy(out, &b[i], BANK_SIZE);
            else if (!decompress(b, i, i + size, out, BANK_SIZE, why))
                return refuse("page " + std::to_string(page) + ": " + why);
        }
        i += size;
    }
    for (int bank = 0; bank < 8; bank++) {
        if (model == 48 && bank != 5 && bank != 2 && bank != 0) continue;
        if (!seen[bank]) {
            const int page = model == 128 ? bank + 3 : bank == 5 ? 8 : bank == 2 ? 4 : 5;
            return refuse("page " + std::to_string(page) + " is missing");
        }
    }
    finish_snapshot_load(n);
    m = n;
    return {LoadResult::DONE, ""};
}

// Appends `page` compressed.
void compress(std::vector<uint8_t>& out, const uint8_t* page, size_t size) {
    size_t i = 0;
    while (i < size) {
        const uint8_t b = page[i];
        size_t run = 1;
        while (i + run < size && page[i + run] == b && run < 255) run++;
        if (run >= 5 || (b == 0xED && run >= 2)) {
            out.insert(out.end(), {0xED, 0xED, static_cast<uint8_t>(run), b});
            i += run;
            continue;
        }
        out.push_back(b);
        i++;
        if (b == 0xED && i < size) out.push_back(page[i++]);
    }
}

} // namespace

LoadResult load_z80_snapshot(Spectrum& m, const std::vector<uint8_t>& bytes) {
    if (bytes.size() < V1_HEADER + 2)
        return refuse("a Z80 snapshot needs a header of at least 32 bytes, it has " +
                      std::to_string(bytes.size()));
    if (ByteReader(bytes, 6).u16() != 0) {
        // Version 1 parses into a buffer first, so it loads straight into the machine.
        auto copy = std::make_unique<Spectrum>(m);
        const LoadResult result = load_version1(*copy, bytes);
        if (result) m = *copy;
        return result;
    }
    return load_version2_3(m, bytes);
}

SnapshotImage z80_image(const Spectrum& m) {
    const Z80& z = m.z80;
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.u8(z.A());
    w.u8(z.F());
    w.u16(z.BC);
    w.u16(z.HL);
    w.u16(0); // PC 0 marks versions 2 and 3
    w.u16(z.SP);
    w.u8(z.I);
    const uint8_t r = r_register(m);
    w.u8(r & 0x7F);
    // Bit 5 (version 1 compression) is left clear: it has no meaning in version 3.
    w.u8(static_cast<uint8_t>((r >> 7) | ((m.port_fe & 7) << 1)));
    for (uint16_t pair : {z.DE, z.BC_, z.DE_, z.HL_}) w.u16(pair);
    w.u8(static_cast<uint8_t>(z.AF_ >> 8));
    w.u8(static_cast<uint8_t>(z.AF_));
    w.u16(z.IY);
    w.u16(z.IX);
    // An EI whose next instruction has not yet run: saved as the interrupts it turns on.
    w.u8(z.IFF1 || z.pending_EI);
    w.u8(z.IFF2 || z.pending_EI);
    w.u8(z.IM & 3);
    w.u16(V3_EXTRA);
    w.u16(z.PC);
    const bool is128 = m.model == 128;
    w.u8(is128 ? 4 : 0);
    w.u8(is128 ? m.port_7ffd : 0);
    w.u8(0); // no interface ROM
    w.u8(m.ay_present() ? 0x04 : 0x00);
    w.u8(m.ay.selected);
    w.append(m.ay.regs.data(), 16);
    const int32_t quarter = m.tpf / 4;
    const int32_t t = std::clamp(m.tstates, 0, m.tpf - 1);
    const int32_t q = std::min(t / quarter, 3);
    w.u16(static_cast<uint16_t>(quarter - 1 - (t - q * quarter)));
    w.u8(static_cast<uint8_t>((q + 3) & 3));
    out.resize(32 + V3_EXTRA); // the other interfaces: none

    auto put_page = [&](int page, const uint8_t* data) {
        const size_t at = out.size();
        w.u16(0); // the length, once known
        w.u8(static_cast<uint8_t>(page));
        compress(out, data, BANK_SIZE);
        const size_t length = out.size() - at - 3;
        if (length >= BANK_SIZE) { // compression made it no smaller: stored as it is
            out.resize(at + 3);
            w.append(data, BANK_SIZE);
            w.u16_at(at, STORED);
        } else {
            w.u16_at(at, static_cast<uint16_t>(length));
        }
    };
    if (is128) {
        for (int bank = 0; bank < 8; bank++) put_page(bank + 3, m.RAM + bank * BANK_SIZE);
    } else {
        put_page(8, m.SLTPTR[1]);
        put_page(4, m.SLTPTR[2]);
        put_page(5, m.SLTPTR[3]);
    }
    return {std::move(out), ""};
}

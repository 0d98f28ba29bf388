// Program loading: SNA snapshots and TAP images, told apart by the last three characters of
// the file name, read into a machine; Z80 and SZX snapshots are handed to their own files.
//
// SNA snapshot (16-bit values little-endian):
//   offset  size    field
//      0      1     I
//      1      2     HL'
//      3      2     DE'
//      5      2     BC'
//      7      2     AF'
//      9      2     HL
//     11      2     DE
//     13      2     BC
//     15      2     IY
//     17      2     IX
//     19      1     interrupt flags: bit 2 = IFF1 = IFF2
//     20      1     R (bit 7 included)
//     21      2     AF
//     23      2     SP
//     25      1     interrupt mode (1 or 2; anything else is IM 0)
//     26      1     border: the last byte written to port 0xFE
//     27  49152     RAM 0x4000-0xFFFF: bank 5, bank 2, the bank paged into slot 3
//   -- 48K snapshots end here (49,179 bytes); PC is on the emulated stack --
//  49179      2     PC
//  49181      1     the last byte written to port 0x7FFD
//  49182      1     unused
//  49183  n*16384   the other banks in ascending order, skipping 5, 2 and the paged one:
//                   five banks (131,103 bytes in all), or six when the paged bank is 2 or 5
//                   and so already held twice above (147,487 bytes); a file of the 128K
//                   size class without every one of its banks is refused
#include <array>
#include <cstring>
#include <cerrno>
#include <cstdio>
#include <new>
#include <vector>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "formats/tzx.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t SNA_HEADER = 27;
constexpr size_t SNA_48K = SNA_HEADER + 3 * BANK_SIZE;      // 49,179
constexpr size_t SNA_128K_EXTRA = SNA_48K + 4;              // 49,183: the first extra bank
constexpr size_t SNA_128K = SNA_128K_EXTRA + 5 * BANK_SIZE; // 131,103
constexpr size_t SNA_128K_SIX = SNA_128K + BANK_SIZE;       // 147,487: paged bank 2 or 5

uint8_t* bank(Spectrum& m, int n) { return m.RAM + (n & 7) * BANK_SIZE; }

// The file from its start, up to `limit` bytes; a longer file is read that far.
std::vector<uint8_t> read_up_to(std::FILE* file, size_t limit) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t n;
    while (bytes.size() < limit &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes.size()), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    return bytes;
}

void set_registers(Z80& z80, const std::vector<uint8_t>& sna) {
    ByteReader r(sna);
    z80.I = r.u8();
    z80.HL_ = r.u16();
    z80.DE_ = r.u16();
    z80.BC_ = r.u16();
    z80.AF_ = r.u16();
    z80.HL = r.u16();
    z80.DE = r.u16();
    z80.BC = r.u16();
    z80.IY = r.u16();
    z80.IX = r.u16();
    z80.IFF1 = z80.IFF2 = (r.u8() & 0x04) ? 1 : 0;
    // As LD R,A loads it: the whole counter word, and bit 7 kept apart.
    z80.R7 = r.u8();
    z80.R = z80.R7;
    z80.AF = r.u16();
    z80.SP = r.u16();
    const uint8_t im = r.u8();
    z80.IM = (im == 1 || im == 2) ? im : 0;
}

// Memory and the rest of the state, the registers set. The machine has just been reset.
void put_snapshot(Spectrum& m, const std::vector<uint8_t>& sna) {
    Z80& z80 = m.z80;
    const bool is128 = m.model == 128;
    set_registers(z80, sna);
    m.port_fe = sna[26];

    // A 48K snapshot has no paging byte: bank 0 in slot 3 and the screen in bank 5.
    const uint8_t paging = is128 ? sna[49181] : 0;
    const int paged = paging & 7;
    m.port_7ffd = paging;
    m.map_slot3(paged);

    std::memcpy(bank(m, 5), &sna[SNA_HEADER], BANK_SIZE);
    std::memcpy(bank(m, 2), &sna[SNA_HEADER + BANK_SIZE], BANK_SIZE);
    std::memcpy(bank(m, paged), &sna[SNA_HEADER + 2 * BANK_SIZE], BANK_SIZE);

    if (is128) {
        size_t offset = SNA_128K_EXTRA;
        for (int i = 0; i < 8; i++) {
            if (i == 5 || i == 2 || i == paged) continue;
            std::memcpy(bank(m, i), &sna[offset], BANK_SIZE);
            offset += BANK_SIZE;
        }
        z80.PC = ByteReader(sna, 49179).u16();
    } else {
        // The 48K snapshot was taken inside an interrupt: RETN's pop, without its T-states.
        const uint8_t low = m.readbyte_internal(z80.SP);
        z80.SP++;
        const uint8_t high = m.readbyte_internal(z80.SP);
        z80.SP++;
        z80.PC = static_cast<uint16_t>(low | (high << 8));
    }
    finish_snapshot_load(m);
}
} // namespace

std::string getpath(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string getext(const std::string& name) {
    if (name.size() <= 3) return {};
    std::string ext = name.substr(name.size() - 3);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

LoadResult load_speccy(Spectrum& m, const std::string& path) {
    // Nothing is touched until the file is known to be loadable: a failed load leaves the
    // running machine (and an attached tape) exactly as it was.
    LoadResult opened{LoadResult::DONE, ""};
    std::FILE* file = open_regular_file(path, opened);
    if (!file) return opened;

    const std::string ext = getext(path);
    if (ext == "Z80" || ext == "SZX") {
        const std::vector<uint8_t> whole = read_up_to(file, SNAPSHOT_LIMIT);
        std::fclose(file);
        return ext == "Z80" ? load_z80_snapshot(m, whole) : load_szx_snapshot(m, whole);
    }
    const bool snapshot = ext == "SNA";
    const bool tape = ext == "TAP" || ext == "TZX";
    if (!snapshot && !tape) {
        std::fclose(file);
        return {LoadResult::REFUSED,
                "unknown file type (the name must end in SNA, Z80, SZX, TAP or TZX)"};
    }
    std::vector<uint8_t> bytes;
    std::vector<TapeBlock> blocks;
    std::string why;
    try {
        // A tape one byte over the limit is told from one that fits, and refused: a tape cut
        // short would play as if whole.
        bytes = read_up_to(file, snapshot ? SNA_128K_SIX : TAPE_LIMIT + 1);
    } catch (const std::bad_alloc&) {
        std::fclose(file);
        return {LoadResult::REFUSED, "there is not enough memory to read it"};
    }
    const bool read_error = std::ferror(file);
    const int read_errno = errno;
    std::fclose(file);
    if (read_error) return {LoadResult::CANNOT_OPEN, std::strerror(read_errno)};
    if (snapshot && bytes.size() < SNA_48K)
        return {LoadResult::REFUSED, "a snapshot needs at least " + std::to_string(SNA_48K) +
                                         " bytes, it has " + std::to_string(bytes.size())};
    if (tape && bytes.size() > TAPE_LIMIT)
        return {LoadResult::REFUSED,
                "a tape image may hold " + std::to_string(TAPE_LIMIT >> 20) + " MiB at most"};

    // A 128K file holds every bank: one cut short would leave a bank of the machine before.
    if (snapshot && bytes.size() >= SNA_128K) {
        const int paged = bytes[49181] & 7;
        const size_t needed = (paged == 2 || paged == 5) ? SNA_128K_SIX : SNA_128K;
        if (bytes.size() < needed)
            return {LoadResult::REFUSED, "a 128K snapshot with bank " + std::to_string(paged) +
                                             " paged needs " + std::to_string(needed) +
                                             " bytes, it has " + std::to_string(bytes.size())};
    }

    try {
        if (ext == "TZX" && !tzx_blocks(bytes, blocks, why)) return {LoadResult::REFUSED, why};
        if (ext == "TAP") blocks = tap_blocks_of(bytes);
    } catch (const std::bad_alloc&) {
        return {LoadResult::REFUSED, "there is not enough memory for its blocks"};
    }

    m.detach_tape();
    m.is_snapshot = snapshot;
    if (snapshot) m.model = bytes.size() >= SNA_128K ? 128 : 48;
    if (tape) m.attach_tape_blocks(std::move(bytes), std::move(blocks));

    m.reset_logical_system();
    m.tpf = m.tpf_for_model();
    if (snapshot) put_snapshot(m, bytes);
    return {LoadResult::DONE, ""};
}

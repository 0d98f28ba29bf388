// Program loading: SNA snapshots and TAP images, told apart by the last three characters of
// the file name.
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
//                   and so already held twice above (147,487 bytes)
#include <array>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/loop.h"
#include "core/machine.h"
#include "files/files.h"
#include "z80/memory.h"
#include "z80/z80.h"

namespace {
constexpr size_t BANK = 16384;
constexpr size_t SNA_HEADER = 27;
constexpr size_t SNA_48K = SNA_HEADER + 3 * BANK;      // 49,179
constexpr size_t SNA_128K_EXTRA = SNA_48K + 4;         // 49,183: the first extra bank
constexpr size_t SNA_128K = SNA_128K_EXTRA + 5 * BANK; // 131,103
constexpr size_t SNA_128K_SIX = SNA_128K + BANK;       // 147,487: paged bank 2 or 5

uint16_t word_at(const std::vector<uint8_t>& sna, size_t offset) {
    return static_cast<uint16_t>(sna[offset] | (sna[offset + 1] << 8));
}

uint8_t* bank(int n) { return RAM + (n & 7) * BANK; }

// The whole file, up to the largest snapshot there is; a longer file is read that far.
std::vector<uint8_t> read_snapshot(std::FILE* file) {
    std::vector<uint8_t> sna(SNA_128K_SIX);
    sna.resize(std::fread(sna.data(), 1, sna.size(), file));
    return sna;
}

void set_registers(const std::vector<uint8_t>& sna) {
    z80.I = sna[0];
    z80.HL_ = word_at(sna, 1);
    z80.DE_ = word_at(sna, 3);
    z80.BC_ = word_at(sna, 5);
    z80.AF_ = word_at(sna, 7);
    z80.HL = word_at(sna, 9);
    z80.DE = word_at(sna, 11);
    z80.BC = word_at(sna, 13);
    z80.IY = word_at(sna, 15);
    z80.IX = word_at(sna, 17);
    z80.IFF1 = z80.IFF2 = (sna[19] & 0x04) ? 1 : 0;
    // As LD R,A loads it: the whole counter word, and bit 7 kept apart.
    z80.R = sna[20];
    z80.R7 = sna[20];
    z80.AF = word_at(sna, 21);
    z80.SP = word_at(sna, 23);
    z80.IM = (sna[25] == 1 || sna[25] == 2) ? sna[25] : 0;
}

// Memory and the rest of the state, the registers set. The machine has just been reset.
void put_snapshot(const std::vector<uint8_t>& sna) {
    const bool is128 = model == 128;
    set_registers(sna);
    IO[0xFE] = sna[26];

    // A 48K snapshot has no paging byte: bank 0 in slot 3 and the screen in bank 5.
    const uint8_t paging = is128 ? sna[49181] : 0;
    const int paged = paging & 7;
    IO[0x7FFD] = paging;
    map_slot3(paged);

    std::memcpy(bank(5), &sna[SNA_HEADER], BANK);
    std::memcpy(bank(2), &sna[SNA_HEADER + BANK], BANK);
    std::memcpy(bank(paged), &sna[SNA_HEADER + 2 * BANK], BANK);

    if (is128) {
        size_t offset = SNA_128K_EXTRA;
        for (int i = 0; i < 8; i++) {
            if (i == 5 || i == 2 || i == paged) continue;
            // Only whole banks; one the file does not hold keeps its contents.
            if (offset + BANK > sna.size()) break;
            std::memcpy(bank(i), &sna[offset], BANK);
            offset += BANK;
        }
        z80.PC = word_at(sna, 49179);
    } else {
        // The 48K snapshot was taken inside an interrupt: RETN's pop, without its T-states.
        const uint8_t low = readbyte_internal(z80.SP);
        z80.SP++;
        const uint8_t high = readbyte_internal(z80.SP);
        z80.SP++;
        z80.PC = static_cast<uint16_t>(low | (high << 8));
    }
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

bool load_speccy(const std::string& path, std::string* why) {
    auto refuse = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    // Nothing is touched until the file is known to be loadable: a failed load leaves the
    // running machine (and an attached tape) exactly as it was.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return refuse("it is a directory");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return refuse("");

    const std::string ext = getext(path);
    const bool snapshot = ext == "SNA";
    const bool tape = ext == "TAP";
    std::vector<uint8_t> sna;
    if (snapshot) {
        sna = read_snapshot(file);
        std::fclose(file);
        file = nullptr;
        if (sna.size() < SNA_48K)
            return refuse("a snapshot needs at least " + std::to_string(SNA_48K) + " bytes, it has " +
                          std::to_string(sna.size()));
    }

    if (f) std::fclose(f); // detaches a tape
    f = nullptr;
    is_snapshot = snapshot;
    is_tape = tape;
    if (snapshot) model = sna.size() >= SNA_128K ? 128 : 48;
    if (tape) {
        // The block loader's entry jumps straight to its RET NZ, where the load trap takes
        // the whole block. The patch stays for the rest of the run.
        ROM[0x0556] = 0xC3; // JP 0x056B
        ROM[0x0557] = 0x6B;
        ROM[0x0558] = 0x05;
        f = file; // positioned at the first block
    } else if (file) {
        std::fclose(file); // neither kind: the machine is only reset
    }

    reset_logical_system();
    tpf = tpf_for_model();
    if (snapshot) put_snapshot(sna);
    return true;
}

bool load_command_line_file(const std::string& path) {
    std::string why;
    if (load_speccy(path, &why)) return true;
    if (why.empty()) std::fprintf(stderr, "Cannot load file %s\n", path.c_str());
    else std::fprintf(stderr, "Cannot load file %s: %s\n", path.c_str(), why.c_str());
    return false;
}

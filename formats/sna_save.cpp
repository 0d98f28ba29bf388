// SNA snapshots saved: the layout is in formats/snapshot.cpp, which loads them.
//
// A 48K SNA has no field for PC: the format holds the machine as if an interrupt had just
// pushed PC, and its loader pops it (RETN without the T-states). So the saved image has PC
// written at SP - 2 (low byte) and SP - 1 (high byte) and SP lowered by 2; the running
// machine itself is not touched. When either of those two bytes would fall into the ROM
// (SP between 0x0001 and 0x4001) the image cannot hold PC and the save is refused with that
// reason: the ROM is not in the file, and a snapshot that loses PC would crash when loaded.
// SP = 0x0000 is fine: the two bytes go to 0xFFFE and 0xFFFF.
//
// A 128K machine is saved in the 128K layout, PC in its own field (131,103 bytes; 147,487
// when bank 2 or 5 is paged at 0xC000, which the format then holds twice).
#include <cstring>

#include "formats/snapshots.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t BANK = 16384;
constexpr size_t HEADER = 27;

void put_word(std::vector<uint8_t>& out, size_t offset, uint16_t v) {
    out[offset] = static_cast<uint8_t>(v);
    out[offset + 1] = static_cast<uint8_t>(v >> 8);
}
} // namespace

SnapshotImage sna_image(const Spectrum& m) {
    const Z80& z = m.z80;
    const bool is128 = m.model == 128;
    uint16_t sp = z.SP;
    if (!is128) {
        const auto low = static_cast<uint16_t>(sp - 2), high = static_cast<uint16_t>(sp - 1);
        if (low < 0x4000 || high < 0x4000)
            return {{}, "the stack is in the ROM, where SNA cannot put PC"};
        sp = low;
    }
    std::vector<uint8_t> out(HEADER + 3 * BANK);
    out[0] = z.I;
    put_word(out, 1, z.HL_);
    put_word(out, 3, z.DE_);
    put_word(out, 5, z.BC_);
    put_word(out, 7, z.AF_);
    put_word(out, 9, z.HL);
    put_word(out, 11, z.DE);
    put_word(out, 13, z.BC);
    put_word(out, 15, z.IY);
    put_word(out, 17, z.IX);
    // The format has one flip-flop; an EI still waiting counts as done.
    out[19] = (z.IFF2 || z.pending_EI) ? 0x04 : 0x00;
    out[20] = r_register(m);
    put_word(out, 21, z.AF);
    put_word(out, 23, sp);
    out[25] = z.IM;
    out[26] = m.port_fe;
    std::memcpy(&out[HEADER], m.SLTPTR[1], BANK);
    std::memcpy(&out[HEADER + BANK], m.SLTPTR[2], BANK);
    std::memcpy(&out[HEADER + 2 * BANK], m.SLTPTR[3], BANK);
    if (!is128) {
        out[HEADER + (sp - 0x4000)] = static_cast<uint8_t>(z.PC);
        out[HEADER + (sp + 1 - 0x4000)] = static_cast<uint8_t>(z.PC >> 8);
        return {std::move(out), ""};
    }
    const uint8_t paging = m.port_7ffd;
    const int paged = paging & 7;
    out.resize(out.size() + 4);
    put_word(out, HEADER + 3 * BANK, z.PC);
    out[HEADER + 3 * BANK + 2] = paging;
    out[HEADER + 3 * BANK + 3] = 0; // no TR-DOS ROM
    for (int bank = 0; bank < 8; bank++) {
        if (bank == 5 || bank == 2 || bank == paged) continue;
        out.insert(out.end(), m.RAM + bank * BANK, m.RAM + (bank + 1) * BANK);
    }
    return {std::move(out), ""};
}

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

#include "formats/snapshots.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t HEADER = 27;
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
    std::vector<uint8_t> out;
    out.reserve(HEADER + 8 * BANK_SIZE);
    ByteWriter w(out);
    w.u8(z.I);
    for (uint16_t pair : {z.HL_, z.DE_, z.BC_, z.AF_, z.HL, z.DE, z.BC, z.IY, z.IX}) w.u16(pair);
    // The format has one flip-flop; an EI still waiting counts as done.
    w.u8((z.IFF2 || z.pending_EI) ? 0x04 : 0x00);
    w.u8(r_register(m));
    w.u16(z.AF);
    w.u16(sp);
    w.u8(z.IM);
    w.u8(m.port_fe);
    for (int slot = 1; slot < 4; slot++) w.append(m.SLTPTR[slot], BANK_SIZE);
    if (!is128) {
        w.u16_at(HEADER + (sp - 0x4000), z.PC);
        return {std::move(out), ""};
    }
    const uint8_t paging = m.port_7ffd;
    const int paged = paging & 7;
    w.u16(z.PC);
    w.u8(paging);
    w.u8(0); // no TR-DOS ROM
    for (int bank = 0; bank < 8; bank++) {
        if (bank == 5 || bank == 2 || bank == paged) continue;
        w.append(m.RAM + bank * BANK_SIZE, BANK_SIZE);
    }
    return {std::move(out), ""};
}

// Port I/O: which device answers, the floating bus, the keyboard and the speaker events.
#include "spectrum/machine.h"

void Spectrum::writeport(uint16_t port, uint8_t value) {
    out(tstates, port, value);
    z80.MEMPTR = static_cast<uint16_t>(z80.BC + 1);
}

// The ULA fetches, in each 8-T-state group of the 128-T-state fetch window of a screen
// line, two bitmap bytes and their attributes at phases 2, 3, 4, 5; an odd port read at
// any other moment sees an idle bus.
uint8_t Spectrum::unattached() const {
    const UlaTiming& u = timing();
    const int32_t t = tstates;
    if (t < u.fetch()) return 0xFF;
    const int32_t line = (t - u.fetch()) / u.line;
    if (line > 191) return 0xFF;
    const int32_t pos = (t - u.fetch()) % u.line;
    if (pos > 127) return 0xFF;
    const int32_t group = pos / 8;
    const uint8_t* bank = screen_bank();
    const int bitmap = ulay[line] - 0x4000 + 2 * group;
    const int attr = 0x1800 + 32 * (line / 8) + 2 * group;
    switch (pos % 8) {
    case 2: return bank[bitmap];
    case 3: return bank[attr];
    case 4: return bank[bitmap + 1];
    case 5: return bank[attr + 1];
    default: return 0xFF;
    }
}

uint8_t Spectrum::keyboard_matrix_read(uint16_t port, uint8_t value) const {
    for (int line = 0; line < 8; line++)
        if (!(port & (0x100 << line))) value &= static_cast<uint8_t>(~key_rows[line]);
    return value;
}

uint8_t Spectrum::readport_internal(uint16_t port) {
    if ((port & 0xFF) == 0x1F) return kempston; // joystick interface: 0 when nothing is pressed
    // The sound chip answers A15 = 1, A14 = 1, A1 = 0 (0xFFFD), as the 128K decodes it.
    if ((port & 0xC002) == 0xC000 && ay_present()) return ay.read();
    if (port & 1) return unattached();
    // Bits 5 and 7 always read 1; bit 6 (EAR) echoes the MIC bit last written, or follows
    // the tape while one plays.
    const uint8_t value = (port_fe & 0x08) ? 0xFF : 0xBF;
    if (tape_deck.attached()) return tape_ear(keyboard_matrix_read(port, value));
    return keyboard_matrix_read(port, value);
}

void Spectrum::writeport_internal(uint16_t port, uint8_t value) {
    // The 128K's paging register answers A15 = 0, A1 = 0 (0x7FFD), whatever else the
    // address holds: with A0 low too, the ULA takes the write as well.
    if (model != 48 && !(port & 0x8002)) write_7ffd(value);
    // The sound chip: A15 = 1, A1 = 0; A14 selects a register (0xFFFD) or writes it (0xBFFD).
    if ((port & 0x8002) == 0x8000 && ay_present()) {
        if (port & 0x4000) {
            ay.select(value);
        } else {
            ay.frame_tpf = tpf;
            ay.write(tstates, value);
        }
        return;
    }
    if (port & 1) return;
    if ((port_fe ^ value) & 7)
        BORDER_EVENTS.push(
            {tstates, static_cast<uint8_t>(port_fe & 7), static_cast<uint8_t>(value & 7)});
    port_fe = value;
    OUTNEW = (value & 0x10) ? 0xFF : 0x00;
    // A change past the 7000th of a frame is dropped and not taken into OUTOLD, so the
    // next frame records relative to the last level that was recorded.
    if (OUTNEW != OUTOLD && OUTSTK.push(tstates)) OUTOLD = OUTNEW;
}

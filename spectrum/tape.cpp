// The tape traps: the ROM's block loader takes each block of the attached TAP image
// straight into memory instead of listening for a signal.
//
// A TAP block as one load trap consumes it:
//   size  field
//    2    block length, little-endian   (read, not used)
//    1    flag byte                     (read, not compared with A)
//    DE   data bytes                    (stored from IX upward)
//    1    checksum                      (read, not verified)
#include <utility>

#include "spectrum/machine.h"

void Spectrum::attach_tape(std::vector<uint8_t> image) {
    tape = std::move(image);
    tape_pos = 0;
    is_tape = 1;
    // The block loader's entry jumps straight to its RET NZ, where the load trap takes the
    // whole block. The patch stays for the rest of the run.
    ROM[0x0556] = 0xC3; // JP 0x056B
    ROM[0x0557] = 0x6B;
    ROM[0x0558] = 0x05;
}

void Spectrum::PatchZ80() {
    // Every byte of a block is read into one variable; a read past the end of the image
    // leaves it as it was, so missing data bytes repeat the last byte read.
    uint8_t tape_byte = 0;
    auto read_tape_byte = [&] {
        if (tape_pos < tape.size()) tape_byte = tape[tape_pos++];
    };
    read_tape_byte(); // length, low
    read_tape_byte(); // length, high
    read_tape_byte(); // flag
    for (unsigned count = 0; count < z80.DE; count++) {
        read_tape_byte();
        writebyte(z80.IX, tape_byte);
        z80.IX++;
    }
    read_tape_byte(); // checksum
}

int Spectrum::tape_load_trap() {
    if (!is_tape) return 1;
    PatchZ80();
    // Return to the block loader's caller with the flags it was called with: a LOAD calls
    // with carry set, so it sees success.
    const uint8_t low = readbyte(z80.SP);
    z80.SP++;
    const uint8_t high = readbyte(z80.SP);
    z80.SP++;
    z80.PC = static_cast<uint16_t>(low | (high << 8));
    return 0;
}

// Saving runs as the ROM does it; nothing reaches a host file.
int Spectrum::tape_save_trap() { return 1; }

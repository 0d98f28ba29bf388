// The tape traps: the ROM's block loader takes each block of the attached TAP image
// straight into memory instead of listening for a signal.
//
// A TAP block as one load trap consumes it:
//   size  field
//    2    block length, little-endian   (read, not used)
//    1    flag byte                     (read, not compared with A)
//    DE   data bytes                    (stored from IX upward)
//    1    checksum                      (read, not verified)
#include <cstdint>

#include "core/machine.h"
#include "files/files.h"
#include "z80/memory.h"
#include "z80/z80.h"

std::FILE* f;
std::string application_path;

namespace {
// Every byte of a block is read into one variable; a read past the end of the image leaves
// it as it was, so missing data bytes repeat the last byte read.
uint8_t tape_byte;

void read_tape_byte() {
    const int c = std::fgetc(f);
    if (c != EOF) tape_byte = static_cast<uint8_t>(c);
}
} // namespace

void PatchZ80() {
    tape_byte = 0;
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

int tape_load_trap() {
    if (!is_tape || !f) return 1;
    PatchZ80();
    // Return to the block loader's caller with the flags it was called with: a LOAD calls
    // with carry set, so it sees success.
    const uint8_t low = static_cast<uint8_t>(readbyte(z80.SP));
    z80.SP++;
    const uint8_t high = static_cast<uint8_t>(readbyte(z80.SP));
    z80.SP++;
    z80.PC = static_cast<uint16_t>(low | (high << 8));
    return 0;
}

// Saving runs as the ROM does it; nothing reaches a host file.
int tape_save_trap() { return 1; }

void files_defaults() {
    if (f) std::fclose(f);
    f = nullptr;
    application_path.clear();
    DIRCUR = DIROFF = 0;
}

// TAP images through the ROM's block loader: any bytes under a .tap name attach as a tape
// (or are refused), and a program calls the loader block after block, each taken by the
// load trap. The input's first two bytes are the length the program asks for (DE); the rest
// is the tape image.
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "tests/fuzz/bare.h"

namespace {
// At 0x8000, again and again: LD IX,0x6000; LD DE,length; LD A,0xFF; SCF; CALL 0x0556; JR.
// A block longer than 0x2000 bytes runs over the program, which is part of the test.
void put_caller(Spectrum& m, uint16_t length) {
    const uint8_t code[] = {0xDD,
                            0x21,
                            0x00,
                            0x60, // LD IX,0x6000
                            0x11,
                            static_cast<uint8_t>(length & 0xFF), // LD DE,length
                            static_cast<uint8_t>(length >> 8),
                            0x3E,
                            0xFF, // LD A,0xFF
                            0x37, // SCF
                            0xCD,
                            0x56,
                            0x05, // CALL 0x0556
                            0x18,
                            static_cast<uint8_t>(-15)};               // JR 0x8000
    for (size_t i = 0; i < sizeof code; i++) m.SLTWR[2][i] = code[i]; // 0x8000 on
    m.z80.PC = 0x8000;
    m.z80.SP = 0xFF00;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string path = fuzz_file(data + 2, size - 2, ".tap");
    if (path.empty()) return 0;
    bool rom = false;
    const auto machine = bare_machine(true, &rom);
    Spectrum& m = *machine;
    if (load_speccy(m, path)) {
        if (rom) {
            put_caller(m, static_cast<uint16_t>(data[0] | data[1] << 8));
            run_frames(m, 3);
        } else {
            // Without the ROM, the trap alone, as the loader's hook point calls it.
            m.z80.DE = static_cast<uint16_t>(data[0] | data[1] << 8);
            for (int block = 0; block < 4; block++) m.tape_load_trap();
        }
    }
    std::remove(path.c_str());
    return 0;
}

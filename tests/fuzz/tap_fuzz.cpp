// TAP images through the ROM's block loader: any bytes under a .tap name attach as a tape
// (or are refused), and a program calls the loader block after block, each taken by the
// load trap. The input's first two bytes are the length the program asks for (DE); the rest
// is the tape image.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

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
    static const std::string path = "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + ".tap";
    if (size < 2) return 0;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 2) std::fwrite(data + 2, 1, size - 2, f);
    std::fclose(f);
    const bool rom = fresh_machine_with_rom();
    Session& s = test_session();
    if (s.load_file(path)) {
        Spectrum& m = s.machine;
        if (rom) {
            put_caller(m, static_cast<uint16_t>(data[0] | data[1] << 8));
            s.run_machine(s.frame_clock() + 3);
        } else {
            // Without the ROM, the trap alone, as the loader's hook point calls it.
            m.z80.DE = static_cast<uint16_t>(data[0] | data[1] << 8);
            for (int block = 0; block < 4; block++) m.tape_load_trap();
        }
    }
    std::remove(path.c_str());
    return 0;
}

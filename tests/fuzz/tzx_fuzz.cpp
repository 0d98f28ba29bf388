// TZX reader and tape deck: any bytes under a .tzx name are refused or attached, and the
// tape then plays, is asked for its next standard block and runs its machine, without a
// read past the image or a loop that never ends.
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "tests/fuzz/bare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz_file(data, size, ".tzx");
    if (path.empty()) return 0;
    const auto machine = bare_machine();
    Spectrum& m = *machine;
    if (load_speccy(m, path)) {
        TapeDeck deck = m.tape_deck; // a copy plays a second at once
        deck.play(0);
        deck.run_to(3500000);
        m.tape_play();
        run_frames(m, 2);
        m.tape_deck.next_standard_block();
        m.z80.SP = 0x8000;
        m.tape_load_trap();
    }
    std::remove(path.c_str());
    return 0;
}

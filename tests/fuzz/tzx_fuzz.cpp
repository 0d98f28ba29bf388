// TZX reader and tape deck: any bytes under a .tzx name are refused or attached, and the
// tape then plays, is asked for its next standard block and runs its machine, without a
// read past the image or a loop that never ends.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "frontend/session.h"
#include "tests/support/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + ".tzx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    Session& s = fresh_session();
    if (s.load_file(path)) {
        Spectrum& m = s.machine;
        TapeDeck deck = m.tape_deck; // a copy plays a second at once
        deck.play(0);
        deck.run_to(3500000);
        m.tape_play();
        s.run_machine(s.logical_frames + 2);
        m.tape_deck.next_standard_block();
        m.z80.SP = 0x8000;
        m.tape_load_trap();
    }
    std::remove(path.c_str());
    return 0;
}

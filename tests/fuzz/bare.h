// A machine alone for the fuzz targets: no session, no host, no picture surfaces, so that a
// target runs hundreds of inputs a second. The loaders take a machine and a file, and a
// frame of the machine is the CPU, the beeper and the tape, as the main loop runs them.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "spectrum/machine.h"
#include "tests/support/support.h"

// A machine at power-on, with the ROM ("1982.rom" beside the executables, read once) in
// place when `rom` is set (and the file is there: *has_rom says).
inline std::unique_ptr<Spectrum> bare_machine(bool rom = false, bool* has_rom = nullptr) {
    static uint8_t image[16384];
    static const bool present = read_rom(image);
    auto m = std::make_unique<Spectrum>();
    if (rom && present) m->install_roms({image, image + sizeof image});
    if (has_rom) *has_rom = rom && present;
    return m;
}

// Runs `frames` logical frames.
inline void run_frames(Spectrum& m, int frames) {
    uint8_t levels[SAMPLES_PER_FRAME];
    for (int f = 0; f < frames; f++) {
        while (m.tstates < m.tpf) {
            m.z80_run(m.tpf, m.tpfh);
            if (m.tstatesh >= m.tpfh) m.end_physical_frame();
        }
        m.beeper_frame_end(levels);
        if (m.tape_deck.attached()) m.tape_frame_end(nullptr);
        m.end_logical_frame();
    }
}

// The input as a file of this process with the name ending in `extension` (".tap"); the
// path, or "" when it cannot be written.
inline std::string fuzz_file(const uint8_t* data, size_t size, const char* extension) {
    const std::string path =
        "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + std::string(extension);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "";
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok ? path : "";
}

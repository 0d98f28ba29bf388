// A tape as a signal, loaded fast: five minutes of standard-speed blocks (five blocks of
// 10,000 bytes, their pilots and pauses) played to the ROM's own block loader with the trap
// off, the machine running as fast as the host allows. Prints the host seconds the whole
// load took (and the CPU seconds, which a busy computer does not inflate), the emulated
// seconds it stands for, and whether every byte arrived.
//
// usage: tape_bench [RUNS]   (default 3)
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "frontend/session.h"
#include "host/headless/headless.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int BLOCKS = 5;
constexpr uint16_t BLOCK_BYTES = 10000;
constexpr uint16_t DRIVER = 0x8000, DONE = 0x8013, LOAD_AT = 0xA000;

// Calls the ROM's LD-BYTES (0x0556) five times, IX = 0xA000, DE = 10,000, flag 0xFF.
const uint8_t DRIVER_CODE[] = {
    0x06, BLOCKS,             // 8000 LD B,5
    0xC5,                     // 8002 PUSH BC
    0xDD, 0x21,   0x00, 0xA0, // 8003 LD IX,0xA000
    0x11, 0x10,   0x27,       // 8007 LD DE,10000
    0x3E, 0xFF,               // 800A LD A,0xFF
    0x37,                     // 800C SCF
    0xCD, 0x56,   0x05,       // 800D CALL 0x0556
    0xC1,                     // 8010 POP BC
    0x10, 0xEF,               // 8011 DJNZ 0x8002
    0x18, 0xFE,               // 8013 JR $
};

std::string executable_dir() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "";
    buffer[n] = '\0';
    std::string path = buffer;
    return path.substr(0, path.rfind('/') + 1);
}

uint8_t data_byte(int block, int i) { return static_cast<uint8_t>(i * 13 + block * 7 + (i >> 8)); }

std::vector<uint8_t> tape_image() {
    std::vector<uint8_t> image;
    for (int b = 0; b < BLOCKS; b++) {
        const int length = BLOCK_BYTES + 2;
        image.push_back(static_cast<uint8_t>(length));
        image.push_back(static_cast<uint8_t>(length >> 8));
        uint8_t sum = 0xFF;
        image.push_back(0xFF);
        for (int i = 0; i < BLOCK_BYTES; i++) {
            image.push_back(data_byte(b, i));
            sum ^= data_byte(b, i);
        }
        image.push_back(sum);
    }
    return image;
}
} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::FILE* rom = std::fopen((executable_dir() + "1982.rom").c_str(), "rb");
    if (!rom) {
        std::fprintf(stderr, "tape_bench: 1982.rom is missing beside the program\n");
        return 1;
    }
    std::vector<uint8_t> rom_bytes(16384);
    rom_bytes.resize(std::fread(rom_bytes.data(), 1, rom_bytes.size(), rom));
    std::fclose(rom);
    const std::vector<uint8_t> image = tape_image();

    std::printf("tape_bench: %d blocks of %u bytes at standard speed, the ROM's loader, trap off, "
                "fast loading (build %s, %s)\n",
                BLOCKS, BLOCK_BYTES, MARROWGLEAM_BUILD_TYPE, MARROWGLEAM_CXX_FLAGS);
    std::vector<double> seconds;
    for (int run = 0; run < runs; run++) {
        HeadlessHost headless;
        const auto owner = std::make_unique<Session>(headless);
        Session& s = *owner;
        headless.attach_keyboard(s);
        Spectrum& m = s.machine;
        m.install_roms({rom_bytes.begin(), rom_bytes.end()});
        m.tape_traps = 0;
        m.attach_tape(image);
        for (size_t i = 0; i < sizeof DRIVER_CODE; i++)
            m.SLTWR[2][DRIVER - 0x8000 + i] = DRIVER_CODE[i];
        m.z80.PC = DRIVER;
        m.z80.SP = 0x7F00;
        const auto start = Clock::now();
        const std::clock_t cpu_start = std::clock();
        while (m.z80.PC != DONE && s.logical_frames < 30000) s.run_machine(s.logical_frames + 1);
        const double host = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
        bool intact = m.z80.PC == DONE;
        for (int i = 0; i < BLOCK_BYTES && intact; i++)
            intact =
                m.readbyte_internal(static_cast<uint16_t>(LOAD_AT + i)) == data_byte(BLOCKS - 1, i);
        std::printf("run %d: %.3f host s (%.3f s of CPU) for %.1f emulated s (%llu frames), %.0f "
                    "times real time, %s\n",
                    run + 1, host, cpu, s.logical_frames / 50.0,
                    static_cast<unsigned long long>(s.logical_frames),
                    s.logical_frames / 50.0 / host, intact ? "every byte loaded" : "LOAD FAILED");
        seconds.push_back(host);
        if (!intact) return 1;
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("median: %.3f host seconds to load\n", seconds[seconds.size() / 2]);
    return 0;
}

// The CP/M harness.
#include "tools/cpm.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/machine.h"
#include "z80/memory.h"
#include "z80/z80.h"

namespace {
// The 16 KiB that slot 0 maps for the harness only: the machine's own ROM slot stays
// read-only, and the memory path is the machine's, unchanged.
uint8_t LOW_RAM[16384];

constexpr uint16_t BDOS = 0x0005;
constexpr uint16_t STACK_TOP = 0xF000;

void poke(uint16_t a, uint8_t v) { SLTWR[a >> 14][a & 0x3FFF] = v; }

bool loaded;
} // namespace

std::string cpm_load(const std::string& path) {
    machine_defaults();
    std::memset(LOW_RAM, 0, sizeof LOW_RAM);
    SLTPTR[0] = SLTWR[0] = LOW_RAM;
    interrupt_end = -1; // no ULA, no frame interrupt
    loaded = false;

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "cannot open " + path;
    std::vector<uint8_t> program(0x10000 - 0x0100);
    const size_t n = std::fread(program.data(), 1, program.size(), file);
    std::fclose(file);
    if (n == 0) return path + " is empty";
    for (size_t i = 0; i < n; i++) poke(static_cast<uint16_t>(0x0100 + i), program[i]);

    // HALT at the warm-boot and BDOS entries stops the run loop there; the word at 0006h is
    // the top of the program's memory, which the exercisers take for their stack.
    poke(0x0000, 0x76);
    poke(BDOS, 0x76);
    poke(0x0006, STACK_TOP & 0xFF);
    poke(0x0007, STACK_TOP >> 8);
    z80.PC = 0x0100;
    z80.SP = STACK_TOP;
    loaded = true;
    return {};
}

CpmRun cpm_run(uint64_t max_tstates, const std::function<void(char)>& print,
               bool count_instructions) {
    CpmRun run;
    run.loaded = loaded;
    if (!loaded) return run;
    const uint64_t steps0 = z80_steps;
    auto emit = [&](char ch) {
        run.output += ch;
        if (print) print(ch);
    };
    while (run.tstates < max_tstates) {
        const int32_t start = tstates;
        tstatesh = 0;
        if (count_instructions) {
            while (tstates < tpf && !z80.halted) z80_step();
            if (z80.halted) z80_run(tpf, INT32_MAX); // waiting at a HALT is not counted
        } else {
            z80_run(tpf, INT32_MAX);
        }
        run.tstates += static_cast<uint64_t>(tstates - start);
        if (tstates >= tpf) tstates -= tpf;
        if (!z80.halted) continue;
        if (z80.PC == 0x0000) {
            run.finished = true;
            break;
        }
        if (z80.PC == BDOS) {
            const uint8_t function = z80.BC & 0xFF;
            if (function == 2) {
                emit(static_cast<char>(z80.DE & 0xFF));
            } else if (function == 9) {
                for (uint16_t a = z80.DE; readbyte_internal(a) != '$'; a++) emit(static_cast<char>(readbyte_internal(a)));
            }
            // RET
            z80.PC = static_cast<uint16_t>(readbyte_internal(z80.SP) | (readbyte_internal(static_cast<uint16_t>(z80.SP + 1)) << 8));
            z80.SP = static_cast<uint16_t>(z80.SP + 2);
            z80.halted = 0;
        }
    }
    run.instructions = z80_steps - steps0;
    return run;
}

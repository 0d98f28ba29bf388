// The CP/M harness.
#include "tools/cpm.h"

#include <cstdio>
#include <type_traits>
#include <vector>

#include "z80/run.h"

namespace {
constexpr uint16_t BDOS = 0x0005;
constexpr uint16_t STACK_TOP = 0xF000;
// The run loop's span: one 48K frame, as the machine runs it (and as long as a HALT at the
// BDOS entry spins before the call is answered).
constexpr int32_t SPAN = TPF_48;
// Over the Spectrum, where the CPU is the machine's own, each span starts past the T-states
// at which the ULA holds the interrupt line: a program that enables interrupts never takes
// one, as on a CP/M machine.
template <class Bus>
constexpr int32_t SPAN_START = std::is_same_v<Bus, SpectrumCpmBus> ? INTERRUPT_END + 1 : 0;
} // namespace

template <class Bus> std::string Cpm<Bus>::load(const std::string& path) {
    for (int a = 0; a < 0x10000; a++) bus.poke(static_cast<uint16_t>(a), 0);
    z80 = Z80{};
    tstates = SPAN_START<Bus>;
    loaded = false;

    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "cannot open " + path;
    std::vector<uint8_t> program(0x10000 - 0x0100);
    const size_t n = std::fread(program.data(), 1, program.size(), file);
    std::fclose(file);
    if (n == 0) return path + " is empty";
    for (size_t i = 0; i < n; i++) bus.poke(static_cast<uint16_t>(0x0100 + i), program[i]);

    // HALT at the warm-boot and BDOS entries stops the run loop there; the word at 0006h is
    // the top of the program's memory, which the exercisers take for their stack.
    bus.poke(0x0000, 0x76);
    bus.poke(BDOS, 0x76);
    bus.poke(0x0006, STACK_TOP & 0xFF);
    bus.poke(0x0007, STACK_TOP >> 8);
    z80.PC = 0x0100;
    z80.SP = STACK_TOP;
    loaded = true;
    return {};
}

template <class Bus> void Cpm<Bus>::run_cpu(int32_t limit) {
    if constexpr (std::is_same_v<Bus, SpectrumCpmBus>) {
        // The machine's own step, on the machine's copy of the registers and the counter.
        bus.z80 = z80;
        bus.tstates = bus.tstatesh = tstates;
        bus.cpu_model = model;
        bus.z80_run(limit, limit);
        z80 = bus.z80;
        tstates = bus.tstates;
    } else if (model == CpuModel::zilog) {
        cpm_run_zilog(bus, z80, tstates, limit);
    } else {
        z80_run(bus, z80, tstates, limit);
    }
}

template <class Bus>
CpmRun Cpm<Bus>::run(uint64_t max_tstates, const std::function<void(char)>& print,
                     bool count_instructions) {
    CpmRun result;
    result.loaded = loaded;
    if (!loaded) return result;
    auto emit = [&](char ch) {
        result.output += ch;
        if (print) print(ch);
    };
    while (result.tstates < max_tstates) {
        const int32_t start = tstates;
        if (count_instructions) {
            while (tstates < SPAN && !z80.halted) {
                run_cpu(tstates + 1);
                result.instructions++;
            }
            if (z80.halted) run_cpu(SPAN); // waiting at a HALT is not counted
        } else {
            run_cpu(SPAN);
        }
        result.tstates += static_cast<uint64_t>(tstates - start);
        if (tstates >= SPAN) tstates -= SPAN - SPAN_START<Bus>;
        if (!z80.halted) continue;
        if (z80.PC == 0x0000) {
            result.finished = true;
            break;
        }
        if (z80.PC == BDOS) {
            const uint8_t function = z80.BC & 0xFF;
            if (function == 2) {
                emit(static_cast<char>(z80.DE & 0xFF));
            } else if (function == 9) {
                for (uint16_t a = z80.DE; bus.peek(a) != '$'; a++)
                    emit(static_cast<char>(bus.peek(a)));
            }
            // RET
            z80.PC = static_cast<uint16_t>(bus.peek(z80.SP) |
                                           (bus.peek(static_cast<uint16_t>(z80.SP + 1)) << 8));
            z80.SP = static_cast<uint16_t>(z80.SP + 2);
            z80.halted = 0;
        }
    }
    return result;
}

template class Cpm<CpmBus>;
template class Cpm<SpectrumCpmBus>;

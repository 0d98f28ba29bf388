// A minimal CP/M environment for the instruction exercisers: the program at 0x0100, RAM over
// the whole 64 KiB, BDOS functions 2 (print E) and 9 (print the string at DE up to '$')
// through CALL 0005h, and the end at a jump to 0000h.
//
// The CPU runs over a bus of its own, CpmBus: flat RAM, 3 T-states a memory cycle and 4 an
// opcode fetch or a port cycle, nothing contended, no interrupt, ports reading 0xFF. The
// benchmarks also run it over the Spectrum's memory path (SpectrumCpmBus), to measure the
// CPU as the machine runs it. The CPU is either model (z80/model.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "spectrum/machine.h"
#include "z80/z80.h"

struct CpmBus {
    uint8_t memory[65536] = {};

    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t addr) {
        t += 4;
        return memory[addr];
    }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t addr) {
        t += 3;
        return memory[addr];
    }
    Z80_INLINE void write(int32_t& t, uint16_t addr, uint8_t value) {
        t += 3;
        memory[addr] = value;
    }
    Z80_INLINE void internal(int32_t& t, uint16_t, int n) { t += n; }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t) {
        t += 4;
        return 0xFF;
    }
    Z80_INLINE void out(int32_t& t, uint16_t, uint8_t) { t += 4; }
    static constexpr int32_t interrupt_end() { return -1; }
    static constexpr bool hook_opcode(uint8_t) { return false; }
    static bool hook_at(uint8_t, uint16_t) { return false; }
    bool fetch_hook(uint8_t) { return false; }

    uint8_t peek(uint16_t addr) const { return memory[addr]; }
    void poke(uint16_t addr, uint8_t value) { memory[addr] = value; }
};

// The Spectrum itself (slots, contention, raster capture) with slot 0 mapped to a RAM page
// of its own. Its CPU is the machine's own compiled step (Spectrum::z80_run), so what is
// timed over this bus is exactly the code the machine runs; the harness keeps it clear of the
// frame interrupt (tools/cpm.cpp).
struct SpectrumCpmBus : Spectrum {
    uint8_t LOW_RAM[16384] = {};
    SpectrumCpmBus() {
        SLTPTR[0] = SLTWR[0] = LOW_RAM;
        slots_changed();
    }
    SpectrumCpmBus(const SpectrumCpmBus&) = delete;
    uint8_t peek(uint16_t addr) const { return readbyte_internal(addr); }
    void poke(uint16_t addr, uint8_t value) { SLTWR[addr >> 14][addr & 0x3FFF] = value; }
};

// The Zilog model's run over CpmBus (a source file of its own: each instantiation of the
// step takes a minute to compile).
template <class Bus> int32_t cpm_run_zilog(Bus& bus, Z80& z80, int32_t& tstates, int32_t limit);

struct CpmRun {
    bool loaded = false;       // the program could be read
    bool finished = false;     // it jumped to 0000h
    uint64_t tstates = 0;      // emulated T-states
    uint64_t instructions = 0; // counted only when asked for (it costs speed)
    std::string output;        // everything printed through the BDOS
};

template <class Bus> class Cpm {
  public:
    // Loads a .COM file into fresh memory. Empty on success, else why.
    std::string load(const std::string& path);

    // Runs the loaded program until it ends or max_tstates have passed. `print` (optional)
    // receives each character as it is printed. With `count_instructions` the CPU is
    // stepped one instruction at a time (slower), so that the number of instructions is
    // known.
    CpmRun run(uint64_t max_tstates, const std::function<void(char)>& print = nullptr,
               bool count_instructions = false);

    Bus bus;
    Z80 z80 = {};
    int32_t tstates = 0;
    CpuModel model = CpuModel::standard;

  private:
    bool loaded = false;
    void run_cpu(int32_t limit);
};

extern template class Cpm<CpmBus>;
extern template class Cpm<SpectrumCpmBus>;
using CpmMachine = Cpm<CpmBus>;

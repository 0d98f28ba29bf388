// A minimal CP/M environment for the instruction exercisers: the program at 0x0100, RAM over
// the whole 64 KiB, BDOS functions 2 (print E) and 9 (print the string at DE up to '$')
// through CALL 0005h, and the end at a jump to 0000h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct CpmRun {
    bool loaded = false;    // the program could be read
    bool finished = false;  // it jumped to 0000h
    uint64_t tstates = 0;   // emulated T-states, contention included
    uint64_t instructions = 0; // counted only when asked for (it costs speed)
    std::string output;     // everything printed through the BDOS
};

// Loads a .COM file into a fresh machine whose slot 0 is RAM. Empty on success, else why.
std::string cpm_load(const std::string& path);

// Runs the loaded program until it ends or max_tstates have passed. `print` (optional)
// receives each character as it is printed. The machine keeps running frames as the
// Spectrum would: tstates wraps every 69888 T-states, so contention applies as usual.
// With `count_instructions` the CPU is stepped one instruction at a time (slower), so that
// the number of instructions is known.
CpmRun cpm_run(uint64_t max_tstates, const std::function<void(char)>& print = nullptr,
               bool count_instructions = false);

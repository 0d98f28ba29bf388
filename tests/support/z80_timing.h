// Contended timing of whole instructions, checked against a model of their cycle lists.
//
// A row gives an instruction's bytes and its cycles as the timing tables write them
// ({PC,0,M1} is pc:4, {HL,0,INT,5} is hl:1x5, {PORT,0,IO} an I/O cycle, ...). The runner
// places every address the row names either inside or outside contended memory (and
// straddling the 0x4000 and 0x8000 boundaries, where a row names neighbouring addresses),
// starts the instruction at T-states across the contention pattern, and compares the
// T-states the CPU takes with the model's walk over the cycle list. An I/O cycle also checks
// the T-state at which the port is read or written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace z80_timing {

// What a cycle's address is taken from.
enum Base {
    PC,   // the instruction's first byte
    IR,   // I * 256 + R
    HL,   // HL before the instruction changes it
    DE,   //
    BC,   //
    SP,   // SP before the instruction changes it
    NN,   // the 16-bit operand
    EA,   // IX + d (IY + d)
    PORT, // the port address of an I/O cycle
    VEC,  // the IM 2 vector address, I * 256 + 255
    NONE, // T-states with nothing on the bus (the 7 of interrupt acceptance)
    BASES
};

enum Kind {
    M1,   // opcode fetch: contention, 4
    MEM,  // memory read or write: contention, 3
    INT,  // n internal T-states: contention, 1 each
    IO,   // a whole I/O cycle
    FLAT, // n T-states, never contended
};

struct Cycle {
    Base base;
    int offset = 0;
    Kind kind = MEM;
    int n = 1;
};

// The cycles in the tables' notation: m1() is pc:4, mem(SP, -1) sp-1:3, internal(IR, 0, 2)
// IR:1x2, io() the I/O cycle on PORT.
constexpr Cycle m1(Base b = PC, int offset = 0) { return {b, offset, M1, 1}; }
constexpr Cycle mem(Base b, int offset = 0) { return {b, offset, MEM, 1}; }
constexpr Cycle internal(Base b, int offset, int n) { return {b, offset, INT, n}; }
constexpr Cycle io() { return {PORT, 0, IO, 1}; }
constexpr Cycle flat(int n) { return {NONE, 0, FLAT, n}; }

// Byte tokens in a row's code, replaced by the placement's values.
constexpr int NN_LO = -1, NN_HI = -2; // the NN address
constexpr int DISP = -3;              // the displacement d of (IX+d)
constexpr int IMM = -4;               // an immediate byte
constexpr int PORT_LO = -5;           // n of IN A,(n) / OUT (n),A (A gives the high byte)
constexpr int REL = -6;               // a relative jump's displacement

// How the PORT placement reaches the registers.
enum PortVia { VIA_BC, VIA_BC_AFTER_DEC, VIA_A_N };

struct Row {
    std::string id;                      // test name
    std::vector<std::vector<int>> codes; // every instruction that the row covers
    std::vector<Cycle> cycles;
    int uncontended;                  // the table's T-states without contention
    std::function<void()> setup = {}; // flags, counters, data; after the placement
    PortVia port_via = VIA_BC;
    std::vector<uint16_t> ports = {}; // PORT placements, if not the default set
    bool interrupt = false;           // run Z80INT() instead of a step
    int displacement = 5;
};

// T-states the row takes from `start` by the model, given the address of every base.
int model_end(const std::vector<Cycle>& cycles, const uint16_t (&base)[BASES], int start,
              int* port_moment);

// Runs every code of the row at every placement and start; reports failures through
// GoogleTest.
void check_row(const Row& row);

// gtest parameter name.
std::string row_name(const Row& row);

} // namespace z80_timing

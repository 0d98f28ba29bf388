// The Z80: its register record, flag tables and the CPU step.
#pragma once

#include <cstddef>
#include <cstdint>

// The register record. Its first 44 bytes are also a file format (the channel snapshot
// stores them as they lie in memory), so the layout is fixed:
//
//   off size field        off size field
//    0   2   AF (F, A)     24   2   MEMPTR
//    2   2   BC (C, B)     26   1   I
//    4   2   DE (E, D)     27   1   padding
//    6   2   HL (L, H)     28   2   R (16-bit word, bumped at every M1)
//    8   2   AF'           30   1   R7 (bit 7 of R as last loaded)
//   10   2   BC'           31   1   IM
//   12   2   DE'           32   1   IFF1
//   14   2   HL'           33   1   IFF2
//   16   2   IX (IXL, IXH) 34   2   padding
//   18   2   IY (IYL, IYH) 36   4   ei_tstates
//   20   2   SP            40   4   halted
//   22   2   PC
//
// All multi-byte fields are little-endian (the host is), so each pair keeps its low
// register in its first byte. 8-bit registers are reached as the halves of the pairs.
struct Z80 {
    uint16_t AF, BC, DE, HL;
    uint16_t AF_, BC_, DE_, HL_;
    uint16_t IX, IY, SP, PC;
    uint16_t MEMPTR;
    uint8_t I;
    uint8_t pad0;
    uint16_t R;
    uint8_t R7;
    uint8_t IM;
    uint8_t IFF1;
    uint8_t IFF2;
    uint8_t pad1[2];
    int32_t ei_tstates;
    int32_t halted;
};
static_assert(sizeof(Z80) == 44, "the register image is 44 bytes");
static_assert(offsetof(Z80, MEMPTR) == 24 && offsetof(Z80, I) == 26 && offsetof(Z80, R) == 28 &&
                  offsetof(Z80, R7) == 30 && offsetof(Z80, IFF2) == 33 &&
                  offsetof(Z80, ei_tstates) == 36 && offsetof(Z80, halted) == 40,
              "the register image layout is a file format");

extern Z80 z80;

// Flag bits of F.
constexpr uint8_t FLAG_C = 0x01;
constexpr uint8_t FLAG_N = 0x02;
constexpr uint8_t FLAG_P = 0x04; // parity / overflow
constexpr uint8_t FLAG_V = FLAG_P;
constexpr uint8_t FLAG_3 = 0x08;
constexpr uint8_t FLAG_H = 0x10;
constexpr uint8_t FLAG_5 = 0x20;
constexpr uint8_t FLAG_Z = 0x40;
constexpr uint8_t FLAG_S = 0x80;

extern uint8_t sz53_table[256];
extern uint8_t parity_table[256];
extern uint8_t sz53p_table[256];
extern const uint8_t halfcarry_add_table[8];
extern const uint8_t halfcarry_sub_table[8];
extern const uint8_t overflow_add_table[8];
extern const uint8_t overflow_sub_table[8];

extern uint8_t opcode;      // the opcode the unprefixed decode last dispatched on
extern int32_t tstates0;    // tstates at the start of the last step
extern int32_t tstatesd;    // T-states the last step took
extern uint8_t pending_EI;  // an EI waits to take effect after the next instruction
extern uint64_t z80_steps;
// The last T-state of the frame at which the ULA's interrupt line is still active: the
// interrupt is requested during T-states 0 to 31. A harness without a ULA sets it to -1.
constexpr int32_t INTERRUPT_END = 31;
extern int32_t interrupt_end;
  // steps run since load (a statistic for tools and benchmarks)

// Builds the flag tables and the contention tables. Called once at start-up.
void z80_init_tables();

// Puts the record into its reset state: everything 0 but I, R, R7 and ei_tstates; cancels a
// pending EI.
void reset_Z80();

// Accepts a maskable interrupt (pushes PC, jumps by IM). The CPU step calls it itself when
// IFF1 is set and tstates <= 31; it is public for the loaders' and tests' sake.
void Z80INT();

// One CPU step on the global state, as one pass of the main loop runs it: record tstates0,
// accept the frame interrupt if due, execute one instruction (a whole prefix chain, or one
// iteration of a repeating block instruction), complete a pending EI, add the step's
// T-states to tstatesh.
void z80_step();

// Runs steps while tstates < tstates_limit and tstatesh < tstatesh_limit. Exactly the same
// as calling z80_step() in a loop with those two tests before each step, only faster: the
// state lives in registers for the whole run.
void z80_run(int32_t tstates_limit, int32_t tstatesh_limit);

// Called by the CPU when the ROM's block loader and block saver reach their hook points.
// 0: the trap did the instruction's work; nonzero: the instruction runs as usual.
int tape_load_trap();
int tape_save_trap();

// The tape block transfer used by the load trap: reads one TAP block from the open file f
// and stores DE data bytes at IX with timed writes.
void PatchZ80();

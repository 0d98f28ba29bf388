// The Z80: its register record and flag tables. The CPU step itself (z80/run.h) is a template
// over the bus the CPU runs on; nothing here knows what is on that bus.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The CPU's helpers are forced inline into the one step function: that makes the fast
// build. Forcing them makes one very large function, though, which takes clang++ and the
// sanitizer builds many minutes to compile; those builds (CI's checks, not the program a
// user runs) define Z80_NO_FORCE_INLINE and leave inlining to the compiler.
#if defined(Z80_NO_FORCE_INLINE)
#define Z80_INLINE inline
#else
#define Z80_INLINE inline __attribute__((always_inline))
#endif

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
// After the image come the two pieces of decode state that are not part of it.
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
    // Not in the image:
    // 2 while EI runs, 1 from its end until the end of the next instruction (which sets
    // IFF1 and IFF2 then): 1 at the start of a step means the last instruction was an EI,
    // after which no interrupt is accepted.
    uint8_t pending_EI;
    uint8_t opcode; // the opcode the unprefixed decode last dispatched on
    // The Zilog NMOS model's (z80/model.h): Q, the flags the last instruction wrote (0 when
    // it wrote none); and whether the last instruction was LD A,I or LD A,R.
    uint8_t Q;
    uint8_t after_ld_a_ir;

    Z80_INLINE uint8_t A() const { return AF >> 8; }
    Z80_INLINE uint8_t F() const { return AF & 0xFF; }
    Z80_INLINE void setA(uint8_t v) { AF = static_cast<uint16_t>((AF & 0x00FF) | (v << 8)); }
    Z80_INLINE void setF(uint8_t v) { AF = static_cast<uint16_t>((AF & 0xFF00) | v); }

    bool operator==(const Z80&) const = default;
};
constexpr size_t Z80_IMAGE_SIZE = 44;
static_assert(offsetof(Z80, MEMPTR) == 24 && offsetof(Z80, I) == 26 && offsetof(Z80, R) == 28 &&
                  offsetof(Z80, R7) == 30 && offsetof(Z80, IFF2) == 33 &&
                  offsetof(Z80, ei_tstates) == 36 && offsetof(Z80, halted) == 40 &&
                  offsetof(Z80, pending_EI) == Z80_IMAGE_SIZE,
              "the register image layout is a file format");

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

// S, Z, 5, 3 (and P) of a result byte.
inline constexpr std::array<uint8_t, 256> parity_table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; i++) {
        int parity = 0;
        for (int b = 0; b < 8; b++) parity ^= (i >> b) & 1;
        t[i] = parity ? 0 : FLAG_P;
    }
    return t;
}();
inline constexpr std::array<uint8_t, 256> sz53_table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; i++) t[i] = static_cast<uint8_t>(i & (FLAG_S | FLAG_5 | FLAG_3));
    t[0] |= FLAG_Z;
    return t;
}();
inline constexpr std::array<uint8_t, 256> sz53p_table = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 0; i < 256; i++) t[i] = sz53_table[i] | parity_table[i];
    return t;
}();

// Indexed by bits 3 (or 7, or 11, 15) of the first operand, the second operand and the
// result, in that order from bit 0.
inline constexpr uint8_t halfcarry_add_table[8] = {0, FLAG_H, FLAG_H, FLAG_H, 0, 0, 0, FLAG_H};
inline constexpr uint8_t halfcarry_sub_table[8] = {0, 0, FLAG_H, 0, FLAG_H, 0, FLAG_H, FLAG_H};
inline constexpr uint8_t overflow_add_table[8] = {0, 0, 0, FLAG_V, FLAG_V, 0, 0, 0};
inline constexpr uint8_t overflow_sub_table[8] = {0, FLAG_V, 0, 0, 0, 0, FLAG_V, 0};

// Puts the record into its reset state: everything 0 but I, R, R7 and ei_tstates; cancels a
// pending EI and forgets the Zilog model's Q and LD A,I / LD A,R.
inline void reset_Z80(Z80& z80) {
    z80.AF = z80.BC = z80.DE = z80.HL = 0;
    z80.AF_ = z80.BC_ = z80.DE_ = z80.HL_ = 0;
    z80.IX = z80.IY = z80.SP = z80.PC = z80.MEMPTR = 0;
    z80.IFF1 = z80.IFF2 = z80.IM = 0;
    z80.halted = 0;
    z80.pending_EI = 0;
    z80.Q = 0;
    z80.after_ld_a_ir = 0;
}

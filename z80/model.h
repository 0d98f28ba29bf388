// The two CPU models the step is built for.
//
// The standard model is the CPU this machine has always had: SCF and CCF copy bits 3 and 5
// from A, a repeating block instruction leaves the flags of its single pass, and LD A,I and
// LD A,R read IFF2 whatever follows them.
//
// The Zilog model is the NMOS Z80 as Zilog made it (the Spectrum's own CPU), where programs
// can tell it apart:
// - The flag register is written through a latch, Q, that holds what the last instruction
//   wrote (0 when it wrote no flags); SCF and CCF take bits 3 and 5 from A OR (F XOR Q).
// - A repeating block instruction spends its five extra T-states jumping back to itself: F
//   takes bits 5 and 3 from bits 13 and 11 of that address, MEMPTR becomes the address + 1,
//   and the I/O forms run B through the ALU once more, which changes H and P/V.
// - An interrupt accepted right after LD A,I or LD A,R clears P/V in the flags they set.
//
// The model is a property of the bus type, fixed at compile time: a bus is taken as the
// Zilog part when it says `static constexpr bool zilog_nmos = true`. ZilogNmos<B> says so
// for any bus B, so a machine builds both models over its one bus and picks one at run time;
// the standard instantiation carries none of the Zilog model's work.
#pragma once

#include <cstdint>
#include <type_traits>

#include "z80/z80.h"

enum class CpuModel : uint8_t { standard = 0, zilog = 1 };

template <class B> constexpr bool is_zilog_nmos = requires { requires B::zilog_nmos; };

// A bus that is a view of another (it holds references and nothing of its own) says so with
// `static constexpr bool bus_view = true`, and is then held by value by whatever runs over
// it. Held by reference, its references would be read from memory again after every byte
// the program writes (a byte store may alias anything); held by value, in a local, they stay
// in host registers, and a view costs what its machine does. Every call the CPU makes on a
// view is inline: one out of line would take the view's address, and with it the whole
// working copy (the T-state counter and PC too) would have to live in memory.
template <class B> constexpr bool is_bus_view = requires { requires B::bus_view; };
template <class B> using BusHeld = std::conditional_t<is_bus_view<B>, B, B&>;

// A bus that checks every step (a debugger's) says `static constexpr bool checks_steps =
// true` (z80/cpu.h lists what it then offers).
template <class B> constexpr bool checks_steps = requires { requires B::checks_steps; };

// Bus B, with the CPU on it the Zilog NMOS part. Every cycle goes straight to B.
template <class B> struct ZilogNmos {
    BusHeld<B> bus;
    static constexpr bool zilog_nmos = true;
    static constexpr bool bus_view = true;

    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t a) { return bus.fetch(t, a); }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t a) { return bus.read(t, a); }
    Z80_INLINE void write(int32_t& t, uint16_t a, uint8_t v) { bus.write(t, a, v); }
    Z80_INLINE void internal(int32_t& t, uint16_t a, int n) { bus.internal(t, a, n); }
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) { return bus.in(t, port); }
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t v) { bus.out(t, port, v); }
    static constexpr int32_t interrupt_end() { return B::interrupt_end(); }
    static constexpr bool checks_steps = ::checks_steps<B>;
    Z80_INLINE bool step_at(uint16_t pc) requires ::checks_steps<B> { return bus.step_at(pc); }
    Z80_INLINE bool stops_before() requires ::checks_steps<B> { return bus.stops_before(); }
    Z80_INLINE bool stopped() const requires ::checks_steps<B> { return bus.stopped(); }
    static constexpr bool hook_opcode(uint8_t op) { return B::hook_opcode(op); }
    Z80_INLINE bool hook_at(uint8_t op, uint16_t pc) { return bus.hook_at(op, pc); }
    Z80_INLINE bool fetch_hook(uint8_t op) { return bus.fetch_hook(op); }
};

// Which instructions write the flags (and so load Q with F; all others load 0). Prefixed
// forms that only cost their prefix (DD 80 is ADD A,B) are as the unprefixed ones.
constexpr bool writes_flags_main(uint8_t op) {
    const int x = op >> 6, z = op & 7, q = (op >> 3) & 1;
    if (x == 0) return (z == 1 && q == 1) || z == 4 || z == 5 || z == 7; // ADD HL; INC; DEC; acc
    if (x == 2) return true;                                             // ALU A,r
    if (x == 3) return z == 6;                                           // ALU A,n
    return false;
}
// CB and DDCB: every rotate, shift and BIT; RES and SET leave F alone.
constexpr bool writes_flags_cb(uint8_t op) { return op < 0x80; }
constexpr bool writes_flags_ed(uint8_t op) {
    const int x = op >> 6, y = (op >> 3) & 7, z = op & 7;
    if (x == 1) // IN r,(C); SBC/ADC HL; NEG; LD A,I; LD A,R; RRD; RLD
        return z == 0 || z == 2 || z == 4 || (z == 7 && y >= 2 && y <= 5);
    return x == 2 && z <= 3 && y >= 4; // the block instructions
}

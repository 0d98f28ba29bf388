// The Z80 disassembler of the monitor and the trace: one instruction's bytes into text that
// pasmo assembles back to the same bytes. Numbers are hex with a '$' in front ("$1F",
// "$8000"); displacements are signed ("(IX-$03)"); relative jumps show their target.
//
// What the CPU runs but pasmo cannot write (the ED codes that are no instruction, a DD or FD
// before an opcode it leaves alone, the undocumented duplicates and the DD CB forms that also
// store into a register) comes out as DEFB of the bytes the CPU takes as one instruction,
// with the instruction after a ';' where it is one: "DEFB $ED,$70 ; IN F,(C)". A DD or FD
// that changes nothing is one byte on its own, so the next instruction decodes as itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace z80 {

struct Disassembly {
    std::string text;
    int length; // bytes, 1 to 4
};

// A name for an address, or "" for none: shown in place of the number where an operand is an
// address (JP, CALL, JR and DJNZ targets, LD rr,nn, LD (nn)).
using SymbolLookup = std::function<std::string(uint16_t)>;

// bytes: at least 4 readable (the longest instruction), the first at address.
Disassembly disassemble(const uint8_t* bytes, uint16_t address,
                        const SymbolLookup& symbols = nullptr);

} // namespace z80

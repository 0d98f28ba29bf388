// Decoding by the opcode's fields: x = bits 7-6, y = bits 5-3, z = bits 2-0, p = y >> 1,
// q = y & 1. One line serves a family ("LD r,r'" for all 64), the names come from the small
// tables below.
#include "z80/disasm.h"

#include <cstdlib>

namespace z80 {
namespace {

using namespace std::string_literals;

const char* const R[8] = {"B", "C", "D", "E", "H", "L", "(HL)", "A"};
const char* const RP[4] = {"BC", "DE", "HL", "SP"};
const char* const RP2[4] = {"BC", "DE", "HL", "AF"};
const char* const CC[8] = {"NZ", "Z", "NC", "C", "PO", "PE", "P", "M"};
const char* const ALU[8] = {"ADD A,", "ADC A,", "SUB ", "SBC A,", "AND ", "XOR ", "OR ", "CP "};
const char* const ROT[8] = {"RLC", "RRC", "RL", "RR", "SLA", "SRA", "SLL", "SRL"};
const char* const BITS[3] = {"BIT ", "RES ", "SET "};
const char* const ACC[8] = {"RLCA", "RRCA", "RLA", "RRA", "DAA", "CPL", "SCF", "CCF"};
const char* const BLOCK[4][4] = {{"LDI", "CPI", "INI", "OUTI"},
                                 {"LDD", "CPD", "IND", "OUTD"},
                                 {"LDIR", "CPIR", "INIR", "OTIR"},
                                 {"LDDR", "CPDR", "INDR", "OTDR"}};
// ED 4E and 6E select a mode the CPU's documentation leaves undefined: it behaves as IM 0.
const char* const IM[8] = {"0", "0/1", "1", "2", "0", "0/1", "1", "2"};
const char* const ED_LD[6] = {"LD I,A", "LD R,A", "LD A,I", "LD A,R", "RRD", "RLD"};

std::string hex(unsigned value, int digits) {
    static const char DIGITS[] = "0123456789ABCDEF";
    std::string text = "$";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += DIGITS[(value >> shift) & 15];
    return text;
}

class Decoder {
  public:
    Decoder(const uint8_t* bytes, uint16_t address, const SymbolLookup& symbols)
        : bytes_(bytes), address_(address), symbols_(symbols) {}

    Disassembly run() {
        const uint8_t op = next();
        if (op == 0xCB) {
            const uint8_t cb = next();
            return finish(bits(cb, r(cb & 7)));
        }
        if (op == 0xED) return finish(ed(next()));
        if (op != 0xDD && op != 0xFD) return finish(main(op));

        // Another prefix after DD or FD replaces it: the CPU runs this one as a lone
        // instruction of 4 T-states, and so does the listing.
        const uint8_t after = bytes_[1];
        if (after == 0xDD || after == 0xED || after == 0xFD) return data(1);
        index_ = op == 0xDD ? "IX" : "IY";
        if (after == 0xCB) return finish(indexed_bits());
        const std::string text = main(next());
        return indexed_ ? finish(text) : data(1);
    }

  private:
    const uint8_t* bytes_;
    uint16_t address_;
    const SymbolLookup& symbols_;
    int pos_ = 0;
    const char* index_ = nullptr; // "IX" or "IY" after a DD or FD prefix
    bool indexed_ = false;        // the prefix changed the instruction
    bool undocumented_ = false;   // pasmo cannot write it: data, the text as a comment
    bool no_instruction_ = false; // data alone

    uint8_t next() { return bytes_[pos_++]; }
    std::string n() { return hex(next(), 2); }

    std::string address(uint16_t value) const {
        if (symbols_) {
            std::string name = symbols_(value);
            if (!name.empty()) return name;
        }
        return hex(value, 4);
    }
    std::string nn() {
        const unsigned low = next();
        return address(static_cast<uint16_t>(low | next() << 8));
    }
    std::string relative() {
        const int offset = static_cast<int8_t>(next());
        return address(static_cast<uint16_t>(address_ + pos_ + offset));
    }

    std::string displaced(int offset) const {
        return "("s + index_ + (offset < 0 ? "-" : "+") + hex(std::abs(offset), 2) + ")";
    }
    // HL, H, L and (HL) are what a DD or FD prefix redirects; plain: H and L stay themselves
    // (LD H,(IX+d) loads H).
    std::string r(int i, bool plain = false) {
        if (!index_ || (i != 4 && i != 5 && i != 6) || (plain && i != 6)) return R[i];
        indexed_ = true;
        if (i == 6) return displaced(static_cast<int8_t>(next()));
        return index_ + std::string(i == 4 ? "H" : "L");
    }
    std::string hl() {
        if (!index_) return "HL";
        indexed_ = true;
        return index_;
    }
    std::string rp(int p) { return p == 2 ? hl() : RP[p]; }
    std::string rp2(int p) { return p == 2 ? hl() : RP2[p]; }

    Disassembly data(int length) const {
        std::string text = "DEFB ";
        for (int i = 0; i < length; ++i) text += (i ? "," : "") + hex(bytes_[i], 2);
        return {text, length};
    }
    Disassembly finish(const std::string& text) const {
        if (no_instruction_) return data(pos_);
        if (undocumented_) return {data(pos_).text + " ; " + text, pos_};
        return {text, pos_};
    }

    std::string main(uint8_t op) {
        const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
        if (x == 1) {
            if (y == 6 && z == 6) return "HALT";
            const std::string to = r(y, z == 6);
            return "LD " + to + "," + r(z, y == 6);
        }
        if (x == 2) return ALU[y] + r(z);
        if (x == 0) {
            switch (z) {
            case 0:
                if (y == 0) return "NOP";
                if (y == 1) return "EX AF,AF'";
                if (y == 2) return "DJNZ " + relative();
                if (y == 3) return "JR " + relative();
                return "JR "s + CC[y - 4] + "," + relative();
            case 1:
                if (q) return "ADD " + hl() + "," + rp(p);
                return "LD " + rp(p) + "," + nn();
            case 2: {
                if (p < 2) return q ? "LD A,("s + RP[p] + ")" : "LD ("s + RP[p] + "),A";
                const std::string to = "(" + nn() + ")";
                const std::string reg = p == 2 ? hl() : "A";
                return q ? "LD " + reg + "," + to : "LD " + to + "," + reg;
            }
            case 3: return (q ? "DEC " : "INC ") + rp(p);
            case 4: return "INC " + r(y);
            case 5: return "DEC " + r(y);
            case 6: {
                const std::string to = r(y); // (IX+d) comes before n
                return "LD " + to + "," + n();
            }
            default: return ACC[y];
            }
        }
        switch (z) {
        case 0: return "RET "s + CC[y];
        case 1:
            if (!q) return "POP " + rp2(p);
            if (p == 0) return "RET";
            if (p == 1) return "EXX";
            if (p == 2) return "JP (" + hl() + ")";
            return "LD SP," + hl();
        case 2: return "JP "s + CC[y] + "," + nn();
        case 3:
            switch (y) {
            case 0: return "JP " + nn();
            case 2: return "OUT (" + n() + "),A";
            case 3: return "IN A,(" + n() + ")";
            case 4: return "EX (SP)," + hl();
            case 5: return "EX DE,HL";
            case 6: return "DI";
            default: return "EI"; // CB never reaches here
            }
        case 4: return "CALL "s + CC[y] + "," + nn();
        case 5: return q ? "CALL " + nn() : "PUSH " + rp2(p); // the prefixes never reach here
        case 6: return ALU[y] + n();
        default: return "RST " + hex(y * 8, 2);
        }
    }

    static std::string bits(uint8_t op, const std::string& operand) {
        const int x = op >> 6, y = (op >> 3) & 7;
        if (x == 0) return ROT[y] + " "s + operand;
        return BITS[x - 1] + std::to_string(y) + "," + operand;
    }

    // DD CB d op: the displacement comes before the opcode. Every opcode works on (IX+d);
    // those with a register other than (HL) in their low bits also store the result there
    // (BIT only tests, so its variants are all the same instruction).
    std::string indexed_bits() {
        const int offset = static_cast<int8_t>(bytes_[2]);
        const uint8_t op = bytes_[3];
        pos_ = 4;
        std::string text = bits(op, displaced(offset));
        const int z = op & 7;
        if (z == 6) return text;
        undocumented_ = true;
        return (op >> 6) == 1 ? text : text + "," + R[z];
    }

    std::string ed(uint8_t op) {
        const int x = op >> 6, y = (op >> 3) & 7, z = op & 7, p = y >> 1, q = y & 1;
        if (x == 2 && z <= 3 && y >= 4) return BLOCK[y - 4][z];
        if (x != 1 || (z == 7 && y >= 6)) {
            no_instruction_ = true; // the CPU takes these as two NOPs' worth of time
            return "";
        }
        switch (z) {
        case 0:
            undocumented_ = y == 6; // sets the flags from the port, keeps no register
            return y == 6 ? "IN F,(C)" : "IN "s + R[y] + ",(C)";
        case 1: undocumented_ = y == 6; return y == 6 ? "OUT (C),0" : "OUT (C),"s + R[y];
        case 2: return (q ? "ADC HL,"s : "SBC HL,"s) + RP[p];
        case 3: {
            undocumented_ = p == 2; // pasmo writes LD (nn),HL as the shorter 22 nn
            const std::string to = "(" + nn() + ")";
            return q ? "LD "s + RP[p] + "," + to : "LD " + to + "," + RP[p];
        }
        case 4: undocumented_ = y != 0; return "NEG";
        case 5: undocumented_ = y > 1; return y == 1 ? "RETI" : "RETN";
        case 6: undocumented_ = y != 0 && y != 2 && y != 3; return "IM "s + IM[y];
        default: return ED_LD[y];
        }
    }
};

} // namespace

Disassembly disassemble(const uint8_t* bytes, uint16_t address, const SymbolLookup& symbols) {
    return Decoder(bytes, address, symbols).run();
}

} // namespace z80

// The disassembler against an assembler: pasmo, given the listing, must make the very bytes
// that were listed. Skips where pasmo is not installed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "z80/disasm.h"

namespace {

using Bytes = std::vector<uint8_t>;
struct Entry {
    std::array<uint8_t, 4> bytes;
    uint16_t address;
    z80::Disassembly listed;
};

bool have_pasmo() { return std::filesystem::exists(MARROWGLEAM_PASMO); }
const char* const NO_PASMO = "pasmo not found (Debian package pasmo): no round trip";

// pasmo's bytes for a source, or nothing (its messages shown) when it rejects it.
std::optional<Bytes> assemble(const std::string& source) {
    const auto dir =
        std::filesystem::path(testing::TempDir()) / ("disasm_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "in.asm") << source;
    const std::string command = MARROWGLEAM_PASMO " --bin " + (dir / "in.asm").string() + " " +
                                (dir / "out.bin").string() + " 2>&1";
    const bool ok = std::system(command.c_str()) == 0;
    std::ifstream file(dir / "out.bin", std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(file), {}};
    std::filesystem::remove_all(dir);
    if (!ok) return std::nullopt;
    return bytes;
}

// Assembles the entries' texts as one source: "" when pasmo makes exactly the listed bytes,
// else the first entry that came out otherwise.
std::string round_trip(const std::vector<Entry>& entries) {
    std::string source = "ORG " + std::to_string(entries.front().address) + "\n";
    Bytes want;
    for (const Entry& e : entries) {
        source += " " + e.listed.text + "\n";
        want.insert(want.end(), e.bytes.begin(), e.bytes.begin() + e.listed.length);
    }
    const std::optional<Bytes> got = assemble(source);
    if (!got) return "pasmo rejected the listing";
    for (const Entry& e : entries) {
        const size_t at = e.address - entries.front().address, end = at + e.listed.length;
        if (got->size() < end ||
            !std::equal(want.begin() + at, want.begin() + end, got->begin() + at))
            return "at " + std::to_string(e.address) + ": " + e.listed.text;
    }
    return got->size() == want.size() ? "" : "pasmo made more bytes than were listed";
}

// Instructions, '|' between them; each {name} takes every value FILL gives it in turn
// (earlier names first, so that a value may bring in another).
const char* const TEMPLATES =
    R"(NOP|EX AF,AF'|DJNZ $|JR $+5|JR NZ,$-10|JR Z,$|JR NC,$+129|JR C,$-126
LD {rp},$1234|ADD HL,{rp}|LD (BC),A|LD A,(BC)|LD (DE),A|LD A,(DE)|LD ($1234),A|LD A,($1234)
LD ($1234),HL|LD HL,($1234)|INC {rp}|DEC {rp}|INC {r}|DEC {r}|LD {r},$12|LD {r},{s}|HALT
RLCA|RRCA|RLA|RRA|DAA|CPL|SCF|CCF|{alu} {r}|{alu} $12|RET {cc}|JP {cc},$1234|CALL {cc},$1234
POP {qq}|PUSH {qq}|RET|EXX|JP (HL)|LD SP,HL|JP $1234|CALL $1234|OUT ($FE),A|IN A,($FE)
EX (SP),HL|EX DE,HL|DI|EI|RST {rst}|{rot} {r}|{bit} {b},{r}|IN {m},(C)|OUT (C),{m}|NEG
SBC HL,{rp}|ADC HL,{rp}|LD ($1234),{rp}|LD {rp},($1234)|RETN|RETI|IM {im}|RRD|RLD|{blk}
LD I,A|LD R,A|LD A,I|LD A,R|LD {X},$1234|LD ($1234),{X}|LD {X},($1234)|ADD {X},{rp}
ADD {X},{X}|INC {X}|DEC {X}|INC {xr}|DEC {xr}|LD {xr},$12|LD {xh},{k}|LD {k},{xh}|{alu} {xr}
LD {m},({X}{d})|LD ({X}{d}),{m}|EX (SP),{X}|JP ({X})|LD SP,{X}|PUSH {X}|POP {X}
{rot} ({X}{d})|{bit} {b},({X}{d}))";
const char* const FILL = R"({xr}={X}H|{X}L|({X}{d})
{xh}={X}H|{X}L
{k}=B|C|D|E|{X}H|{X}L|A
{r}=B|C|D|E|H|L|(HL)|A
{s}=B|C|D|E|H|L|(HL)|A
{m}=B|C|D|E|H|L|A
{rp}=BC|DE|HL|SP
{qq}=BC|DE|HL|AF
{cc}=NZ|Z|NC|C|PO|PE|P|M
{alu}=ADD A,|ADC A,|SUB|SBC A,|AND|XOR|OR|CP
{rot}=RLC|RRC|RL|RR|SLA|SRA|SLL|SRL
{bit}=BIT|RES|SET
{b}=0|1|2|3|4|5|6|7
{rst}=0|8|16|24|32|40|48|56
{im}=0|1|2
{blk}=LDI|CPI|INI|OUTI|LDD|CPD|IND|OUTD|LDIR|CPIR|INIR|OTIR|LDDR|CPDR|INDR|OTDR
{X}=IX|IY
{d}=-128|-3|+0|+5|+127)";

std::vector<std::string> split(const std::string& text, const std::string& separators) {
    std::vector<std::string> parts(1);
    for (char c : text)
        separators.find(c) == std::string::npos ? parts.back() += c : parts.emplace_back();
    return parts;
}

void expand(const std::string& line, std::vector<std::string>& out) {
    for (const std::string& fill : split(FILL, "\n")) {
        const std::string name = fill.substr(0, fill.find('='));
        if (line.find(name) == std::string::npos) continue;
        for (const std::string& value : split(fill.substr(name.size() + 1), "|")) {
            std::string filled = line;
            for (size_t at; (at = filled.find(name)) != std::string::npos;)
                filled.replace(at, name.size(), value);
            expand(filled, out);
        }
        return;
    }
    // LD (HL),(HL), ADD IX,HL and their like are no instruction.
    if (line.find("(HL),(HL)") == std::string::npos && line.find("X,HL") == std::string::npos &&
        line.find("Y,HL") == std::string::npos)
        out.push_back(line);
}

TEST(Z80Disassembler, ListsWhatPasmoAssembledAsInstructionsItAssemblesAgain) {
    if (!have_pasmo()) GTEST_SKIP() << NO_PASMO;
    std::vector<std::string> lines;
    for (const std::string& line : split(TEMPLATES, "|\n")) expand(line, lines);
    std::string source = "ORG $8000\n";
    for (const std::string& line : lines) source += " " + line + "\n";
    std::optional<Bytes> bytes = assemble(source);
    ASSERT_TRUE(bytes) << "pasmo rejected the test's own source";

    const size_t size = bytes->size();
    bytes->resize(size + 3); // the disassembler may read 4 bytes
    std::vector<Entry> entries;
    for (size_t at = 0; at < size; at += entries.back().listed.length) {
        Entry e{{}, static_cast<uint16_t>(0x8000 + at), {}};
        std::copy_n(bytes->begin() + at, 4, e.bytes.begin());
        e.listed = z80::disassemble(e.bytes.data(), e.address);
        EXPECT_EQ(e.listed.text.find("DEFB"), std::string::npos)
            << lines[std::min(entries.size(), lines.size() - 1)] << " listed as " << e.listed.text;
        entries.push_back(e);
    }
    EXPECT_EQ(entries.size(), lines.size()) << "instruction lengths lost step with the source";
    EXPECT_EQ(round_trip(entries), "");
}

TEST(Z80Disassembler, EveryOpcodeWithItsOperandsAssemblesBackToItsBytes) {
    if (!have_pasmo()) GTEST_SKIP() << NO_PASMO;
    std::vector<std::array<uint8_t, 4>> table;
    for (int op = 0; op < 256; ++op) {
        const uint8_t b = static_cast<uint8_t>(op);
        for (const auto& [o1, o2, o3] :
             {std::array<uint8_t, 3>{0x12, 0x34, 0x56}, {0xFD, 0x80, 0x7F}}) {
            table.push_back({b, o1, o2, o3});
            for (uint8_t prefix : {0xCB, 0xED, 0xDD, 0xFD}) table.push_back({prefix, b, o1, o2});
        }
        for (uint8_t prefix : {0xDD, 0xFD})
            for (uint8_t d : {0x00, 0x05, 0x7F, 0x80, 0xFD}) table.push_back({prefix, 0xCB, d, b});
    }
    std::vector<Entry> entries;
    uint16_t address = 0x4000;
    for (const auto& bytes : table) {
        entries.push_back({bytes, address, z80::disassemble(bytes.data(), address)});
        address = static_cast<uint16_t>(address + entries.back().listed.length);
    }
    EXPECT_EQ(round_trip(entries), "");
}

// What a round trip cannot see: how displacements and wrapped targets read (pasmo takes
// +$FD as -3), lengths of what lists as data, the comments, and the names.
TEST(Z80Disassembler, ListsOperandsPrefixesAndNames) {
    const z80::SymbolLookup names = [](uint16_t a) { return a == 0x1234 ? "PRINT" : ""; };
    const struct {
        std::array<uint8_t, 4> bytes;
        uint16_t address;
        bool named;
        const char* text;
        int length;
    } cases[] = {
        {{0xDD, 0x77, 0xFD}, 0, false, "LD (IX-$03),A", 3},
        {{0xFD, 0x36, 0x80, 0x12}, 0, false, "LD (IY-$80),$12", 4},
        {{0x18, 0x7F}, 0xFFF0, false, "JR $0071", 2},
        {{0xFF}, 0, false, "RST $38", 1},
        {{0xDD, 0x40}, 0, false, "DEFB $DD", 1},
        {{0xFD, 0xED, 0x44}, 0, false, "DEFB $FD", 1},
        {{0xED, 0x00}, 0, false, "DEFB $ED,$00", 2},
        {{0xED, 0x70}, 0, false, "DEFB $ED,$70 ; IN F,(C)", 2},
        {{0xED, 0x63, 0x34, 0x12}, 0, true, "DEFB $ED,$63,$34,$12 ; LD (PRINT),HL", 4},
        {{0xFD, 0xCB, 0xFB, 0x00}, 0, false, "DEFB $FD,$CB,$FB,$00 ; RLC (IY-$05),B", 4},
        {{0xCD, 0x34, 0x12}, 0, true, "CALL PRINT", 3},
        {{0xC3, 0x35, 0x12}, 0, true, "JP $1235", 3},
        {{0xDD, 0x21, 0x34, 0x12}, 0, true, "LD IX,PRINT", 4},
        {{0x32, 0x34, 0x12}, 0, true, "LD (PRINT),A", 3},
        {{0x30, 0xFE}, 0x1234, true, "JR NC,PRINT", 2},
    };
    for (const auto& c : cases) {
        const z80::Disassembly d =
            z80::disassemble(c.bytes.data(), c.address, c.named ? names : nullptr);
        EXPECT_EQ(d.text, c.text);
        EXPECT_EQ(d.length, c.length) << c.text;
    }
}

} // namespace

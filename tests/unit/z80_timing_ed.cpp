// Contended timing of the ED instructions, block instructions in both their repeating and
// their final iterations.
#include <gtest/gtest.h>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_memory.h"
#include "tests/support/z80_timing.h"
#include "z80/z80.h"

namespace {

using namespace z80_timing;

constexpr int ED = 0xED;

// The tests' CPU, which the rows' set-ups prepare.
Z80& cpu() { return test_machine().z80; }

void set_a(uint8_t a) { cpu().AF = static_cast<uint16_t>((cpu().AF & 0x00FF) | (a << 8)); }

// A CPIR/CPDR iteration: BC as given, and the byte at HL equal to A or not.
auto compare_setup(uint16_t bc, bool match) {
    return [bc, match] {
        cpu().BC = bc;
        z80_poke(cpu().HL, 0x33);
        set_a(match ? 0x33 : 0x44);
    };
}

const std::vector<uint16_t> B_IS_1 = {0x01FE, 0x01FF}; // INIR/INDR's last iteration
const std::vector<uint16_t> B_IS_0 = {0x00FE, 0x00FF}; // OTIR/OTDR's, B after the decrement

const std::vector<Row> ROWS = {
    {"NoInstruction_Neg_Im",
     {{ED, 0x00}, {ED, 0x3F}, {ED, 0x77}, {ED, 0x7F}, {ED, 0x80}, {ED, 0x9F}, {ED, 0xA4},
      {ED, 0xAF}, {ED, 0xB7}, {ED, 0xBC}, {ED, 0xFF}, {ED, 0x44}, {ED, 0x4C}, {ED, 0x7C},
      {ED, 0x46}, {ED, 0x4E}, {ED, 0x56}, {ED, 0x5E}, {ED, 0x66}, {ED, 0x76}, {ED, 0x7E}},
     {m1(), m1(PC, 1)},
     8},
    // A moves I (or R) into the other half of the address space: the internal cycle is
    // charged with I as it was.
    {"LdIA_LdRA_LdAI_LdAR",
     {{ED, 0x47}, {ED, 0x4F}, {ED, 0x57}, {ED, 0x5F}},
     {m1(), m1(PC, 1), internal(IR, 0, 1)},
     9,
     [] { set_a(static_cast<uint8_t>(cpu().I ^ 0x80)); }},
    {"InRC_OutCR",
     {{ED, 0x40},
      {ED, 0x48},
      {ED, 0x50},
      {ED, 0x58},
      {ED, 0x60},
      {ED, 0x68},
      {ED, 0x70},
      {ED, 0x78},
      {ED, 0x41},
      {ED, 0x49},
      {ED, 0x51},
      {ED, 0x59},
      {ED, 0x61},
      {ED, 0x69},
      {ED, 0x71},
      {ED, 0x79}},
     {m1(), m1(PC, 1), io()},
     12},
    {"AdcHlRr_SbcHlRr",
     {{ED, 0x42},
      {ED, 0x4A},
      {ED, 0x52},
      {ED, 0x5A},
      {ED, 0x62},
      {ED, 0x6A},
      {ED, 0x72},
      {ED, 0x7A}},
     {m1(), m1(PC, 1), internal(IR, 0, 7)},
     15},
    {"LdNnRr_LdRrNn",
     {{ED, 0x43, NN_LO, NN_HI},
      {ED, 0x4B, NN_LO, NN_HI},
      {ED, 0x53, NN_LO, NN_HI},
      {ED, 0x5B, NN_LO, NN_HI},
      {ED, 0x63, NN_LO, NN_HI},
      {ED, 0x6B, NN_LO, NN_HI},
      {ED, 0x73, NN_LO, NN_HI},
      {ED, 0x7B, NN_LO, NN_HI}},
     {m1(), m1(PC, 1), mem(PC, 2), mem(PC, 3), mem(NN, 0), mem(NN, 1)},
     20},
    {"Retn_Reti",
     {{ED, 0x45},
      {ED, 0x4D},
      {ED, 0x55},
      {ED, 0x5D},
      {ED, 0x65},
      {ED, 0x6D},
      {ED, 0x75},
      {ED, 0x7D}},
     {m1(), m1(PC, 1), mem(SP, 0), mem(SP, 1)},
     14},
    {"Rrd_Rld",
     {{ED, 0x67}, {ED, 0x6F}},
     {m1(), m1(PC, 1), mem(HL), internal(HL, 0, 4), mem(HL)},
     18},
    {"Ldi_Ldd",
     {{ED, 0xA0}, {ED, 0xA8}},
     {m1(), m1(PC, 1), mem(HL), mem(DE), internal(DE, 0, 2)},
     16,
     [] { cpu().BC = 5; }},
    {"LdirLddrFinal",
     {{ED, 0xB0}, {ED, 0xB8}},
     {m1(), m1(PC, 1), mem(HL), mem(DE), internal(DE, 0, 2)},
     16,
     [] { cpu().BC = 1; }},
    {"LdirLddrRepeating",
     {{ED, 0xB0}, {ED, 0xB8}},
     {m1(), m1(PC, 1), mem(HL), mem(DE), internal(DE, 0, 2), internal(DE, 0, 5)},
     21,
     [] { cpu().BC = 2; }},
    {"Cpi_Cpd",
     {{ED, 0xA1}, {ED, 0xA9}},
     {m1(), m1(PC, 1), mem(HL), internal(HL, 0, 5)},
     16,
     compare_setup(5, false)},
    {"CpirCpdrFinalCount",
     {{ED, 0xB1}, {ED, 0xB9}},
     {m1(), m1(PC, 1), mem(HL), internal(HL, 0, 5)},
     16,
     compare_setup(1, false)},
    {"CpirCpdrFinalMatch",
     {{ED, 0xB1}, {ED, 0xB9}},
     {m1(), m1(PC, 1), mem(HL), internal(HL, 0, 5)},
     16,
     compare_setup(5, true)},
    {"CpirCpdrRepeating",
     {{ED, 0xB1}, {ED, 0xB9}},
     {m1(), m1(PC, 1), mem(HL), internal(HL, 0, 5), internal(HL, 0, 5)},
     21,
     compare_setup(5, false)},
    {"Ini_Ind", {{ED, 0xA2}, {ED, 0xAA}}, {m1(), m1(PC, 1), internal(IR, 0, 1), io(), mem(HL)}, 16},
    {"InirIndrFinal",
     {{ED, 0xB2}, {ED, 0xBA}},
     {m1(), m1(PC, 1), internal(IR, 0, 1), io(), mem(HL)},
     16,
     {},
     VIA_BC,
     B_IS_1},
    {"InirIndrRepeating",
     {{ED, 0xB2}, {ED, 0xBA}},
     {m1(), m1(PC, 1), internal(IR, 0, 1), io(), mem(HL), internal(HL, 0, 5)},
     21},
    // OUTI's port (and OTIR's internal cycles) are BC with B already decremented.
    {"Outi_Outd",
     {{ED, 0xA3}, {ED, 0xAB}},
     {m1(), m1(PC, 1), internal(IR, 0, 1), mem(HL), io()},
     16,
     {},
     VIA_BC_AFTER_DEC},
    {"OtirOtdrFinal",
     {{ED, 0xB3}, {ED, 0xBB}},
     {m1(), m1(PC, 1), internal(IR, 0, 1), mem(HL), io()},
     16,
     {},
     VIA_BC_AFTER_DEC,
     B_IS_0},
    {"OtirOtdrRepeating",
     {{ED, 0xB3}, {ED, 0xBB}},
     {m1(), m1(PC, 1), internal(IR, 0, 1), mem(HL), io(), internal(PORT, 0, 5)},
     21,
     {},
     VIA_BC_AFTER_DEC},
};

class Z80TimingEd : public testing::TestWithParam<Row> {};

TEST_P(Z80TimingEd, CyclesFollowTheTable) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Z80TimingEd, testing::ValuesIn(ROWS),
                         [](const auto& info) { return row_name(info.param); });

} // namespace

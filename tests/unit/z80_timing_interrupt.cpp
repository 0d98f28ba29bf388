// Contended timing of interrupt acceptance in IM 0, 1 and 2. (The I/O cycle's own timing is
// checked through the IN and OUT rows of the other timing tables.)
#include <gtest/gtest.h>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/z80_timing.h"
#include "z80/z80.h"

namespace {

using namespace z80_timing;

// The tests' CPU, which the rows' set-ups prepare.
Z80& cpu() { return test_machine().z80; }

// Acceptance is called directly, at T-states inside the contention window, so that the
// pushes and the vector reads meet contention (in a running machine the ULA's interrupt
// falls in T-states 0 to 31, where nothing is contended).
const std::vector<Row> ROWS = {
    {"Im0", {{}}, {mem(SP, -1), mem(SP, -2), flat(7)}, 13, [] { cpu().IM = 0; }, VIA_BC, {}, true},
    {"Im1", {{}}, {mem(SP, -1), mem(SP, -2), flat(7)}, 13, [] { cpu().IM = 1; }, VIA_BC, {}, true},
    {"Im1FromHalt",
     {{}},
     {mem(SP, -1), mem(SP, -2), flat(7)},
     13,
     [] {
         cpu().IM = 1;
         cpu().halted = 1;
     },
     VIA_BC,
     {},
     true},
    {"Im2",
     {{}},
     {mem(SP, -1), mem(SP, -2), mem(VEC, 0), mem(VEC, 1), flat(7)},
     19,
     [] { cpu().IM = 2; },
     VIA_BC,
     {},
     true},
};

class Z80TimingInterrupt : public testing::TestWithParam<Row> {};

TEST_P(Z80TimingInterrupt, CyclesFollowTheTable) { check_row(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Z80TimingInterrupt, testing::ValuesIn(ROWS),
                         [](const auto& info) { return row_name(info.param); });

} // namespace

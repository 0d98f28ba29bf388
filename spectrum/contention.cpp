// The tables of runs of contended internal cycles, built at compile time in this one source
// file (the build is too much work to repeat in every file that includes the header).
#include "spectrum/contention.h"

namespace {
// The first and last T-states at which a cycle waits, taken from the table: a run that ends
// before the first, or starts after the last, waits for nothing.
constexpr int32_t FIRST_CONTENDED = [] {
    int32_t t = 0;
    while (ula_contention[t] == 0) t++;
    return t;
}();
constexpr int32_t LAST_CONTENDED = [] {
    int32_t t = CONTENTION_TABLE_SIZE - 1;
    while (ula_contention[t] == 0) t--;
    return t;
}();

// A run of one cycle more than `shorter`'s: the first cycle's wait, then the shorter run
// from where that cycle ends. Each table is its own constant evaluation, which keeps each
// within the compilers' limits on their work.
constexpr ContendedRun longer(const ContendedRun& shorter, int n) {
    ContendedRun run{};
    for (int32_t t = FIRST_CONTENDED - 8 * n; t <= LAST_CONTENDED; t++) {
        const int32_t wait = ula_contention[t];
        run.extra[t] = static_cast<uint8_t>(wait + shorter.extra[t + wait + 1]);
    }
    return run;
}

constexpr ContendedRun NONE{};
constexpr ContendedRun run1 = longer(NONE, 1);
constexpr ContendedRun run3_ = longer(longer(run1, 2), 3);
constexpr ContendedRun run6_ = longer(longer(run3_, 4), 5);
} // namespace

constexpr ContendedRun ula_contended_run2 = longer(run1, 2);
constexpr ContendedRun ula_contended_run4 = longer(run3_, 4);
constexpr ContendedRun ula_contended_run5 = longer(ula_contended_run4, 5);
constexpr ContendedRun ula_contended_run7 = longer(longer(run6_, 6), 7);

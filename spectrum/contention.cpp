// The tables of runs of contended internal cycles, built at compile time in this one source
// file (the build is too much work to repeat in every file that includes the header).
#include "spectrum/contention.h"

namespace {
// The first and last T-states at which a cycle waits, taken from a table: a run that ends
// before the first, or starts after the last, waits for nothing.
constexpr int32_t first_contended(const ContentionTable& table) {
    int32_t t = 0;
    while (table[t] == 0) t++;
    return t;
}
constexpr int32_t last_contended(const ContentionTable& table) {
    int32_t t = CONTENTION_TABLE_SIZE - 1;
    while (table[t] == 0) t--;
    return t;
}

// A run of one cycle more than `shorter`'s: the first cycle's wait, then the shorter run
// from where that cycle ends. Each table is its own constant evaluation, which keeps each
// within the compilers' limits on their work.
constexpr ContendedRun longer(const ContentionTable& table, const ContendedRun& shorter, int n) {
    ContendedRun run{};
    for (int32_t t = first_contended(table) - 8 * n; t <= last_contended(table); t++) {
        const int32_t wait = table[t];
        run.extra[t] = static_cast<uint8_t>(wait + shorter.extra[t + wait + 1]);
    }
    return run;
}

constexpr ContendedRun NONE{};
constexpr const ContentionTable& T48 = ula_contention;
constexpr ContendedRun run1 = longer(T48, NONE, 1);
constexpr ContendedRun run3_ = longer(T48, longer(T48, run1, 2), 3);
constexpr ContendedRun run6_ = longer(T48, longer(T48, run3_, 4), 5);
constexpr const ContentionTable& T128 = ula128_contention;
constexpr ContendedRun run1_128 = longer(T128, NONE, 1);
constexpr ContendedRun run3_128 = longer(T128, longer(T128, run1_128, 2), 3);
constexpr ContendedRun run6_128 = longer(T128, longer(T128, run3_128, 4), 5);
} // namespace

constexpr ContendedRun ula_contended_run2 = longer(T48, run1, 2);
constexpr ContendedRun ula_contended_run4 = longer(T48, run3_, 4);
constexpr ContendedRun ula_contended_run5 = longer(T48, ula_contended_run4, 5);
constexpr ContendedRun ula_contended_run7 = longer(T48, longer(T48, run6_, 6), 7);
constexpr ContendedRun ula128_contended_run2 = longer(T128, run1_128, 2);
constexpr ContendedRun ula128_contended_run4 = longer(T128, run3_128, 4);
constexpr ContendedRun ula128_contended_run5 = longer(T128, ula128_contended_run4, 5);
constexpr ContendedRun ula128_contended_run7 = longer(T128, longer(T128, run6_128, 6), 7);

// The tables of runs of contended internal cycles, built at compile time in this one source
// file (the build is too much work to repeat in every file that includes the header).
#include "spectrum/contention.h"

namespace {
// A run of one cycle more than `shorter`'s: the first cycle's wait, then the shorter run
// from where that cycle ends. A run that ends before the model's first contended T-state,
// or starts after its window's last, waits for nothing. Each table is its own constant
// evaluation, which keeps each within the compilers' limits on their work.
constexpr ContendedRun longer(const UlaTiming& u, const ContentionTable& table,
                              const ContendedRun& shorter, int n) {
    ContendedRun run{};
    const int32_t last = u.first_contended + 191 * u.line + 127;
    for (int32_t t = u.first_contended - 8 * n; t <= last; t++) {
        const int32_t wait = table[t];
        run.extra[t] = static_cast<uint8_t>(wait + shorter.extra[t + wait + 1]);
    }
    return run;
}

constexpr ContendedRun NONE{};
constexpr const ContentionTable& T48 = ula_contention;
constexpr ContendedRun run1 = longer(ULA_48, T48, NONE, 1);
constexpr ContendedRun run3_ = longer(ULA_48, T48, longer(ULA_48, T48, run1, 2), 3);
constexpr ContendedRun run6_ = longer(ULA_48, T48, longer(ULA_48, T48, run3_, 4), 5);
constexpr const ContentionTable& T128 = ula128_contention;
constexpr ContendedRun run1_128 = longer(ULA_128, T128, NONE, 1);
constexpr ContendedRun run3_128 = longer(ULA_128, T128, longer(ULA_128, T128, run1_128, 2), 3);
constexpr ContendedRun run6_128 = longer(ULA_128, T128, longer(ULA_128, T128, run3_128, 4), 5);
} // namespace

constexpr ContendedRun ula_contended_run2 = longer(ULA_48, T48, run1, 2);
constexpr ContendedRun ula_contended_run4 = longer(ULA_48, T48, run3_, 4);
constexpr ContendedRun ula_contended_run5 = longer(ULA_48, T48, ula_contended_run4, 5);
constexpr ContendedRun ula_contended_run7 = longer(ULA_48, T48, longer(ULA_48, T48, run6_, 6), 7);
constexpr ContendedRun ula128_contended_run2 = longer(ULA_128, T128, run1_128, 2);
constexpr ContendedRun ula128_contended_run4 = longer(ULA_128, T128, run3_128, 4);
constexpr ContendedRun ula128_contended_run5 = longer(ULA_128, T128, ula128_contended_run4, 5);
constexpr ContendedRun ula128_contended_run7 =
    longer(ULA_128, T128, longer(ULA_128, T128, run6_128, 6), 7);

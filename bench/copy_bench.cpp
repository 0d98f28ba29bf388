// What a copy of a running machine costs, as a rewind step or a run-ahead copy takes it:
// a 128K machine mid-frame with the shadow screen paged in, a tape attached and a frame's
// speaker and border events recorded. Prints the size of the hardware record and of the
// whole machine, then the median time of many copies of each kind, in microseconds.
//
// usage: copy_bench [COPIES]   (default 20000)
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "spectrum/machine.h"

namespace {
using Clock = std::chrono::steady_clock;

// The median time of `copies` runs of `copy`, in microseconds.
template <class Copy> double median_us(int copies, Copy copy) {
    std::vector<double> times(static_cast<size_t>(copies));
    for (double& t : times) {
        const auto start = Clock::now();
        copy();
        t = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A 128K machine that has run: LD A,n / OUT (FE),A with the border and speaker bits
// changing / INC (HL) / LD (DE),A / INC A / JR back.
std::unique_ptr<Spectrum> running_128k() {
    auto m = std::make_unique<Spectrum>();
    m->model = 128;
    m->tpf = TPF_128;
    const uint8_t program[] = {0xD3, 0xFE, 0x34, 0x12, 0x3C, 0x23, 0x18, 0xF8};
    std::memcpy(m->RAM + 2 * 0x4000, program, sizeof program);
    m->z80.PC = 0x8000;
    m->z80.SP = 0xBF00;
    m->z80.HL = 0x4000;
    m->z80.DE = 0xC000;
    m->writeport(0x7FFD, 0x0B);
    m->attach_tape(std::vector<uint8_t>(20000, 0x55));
    m->z80_run(m->tpf - 20000, INT32_MAX);
    return m;
}
} // namespace

int main(int argc, char** argv) {
    const int copies = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    const auto m = running_128k();
    std::printf("copy_bench: sizeof the hardware record %zu bytes, of the machine %zu bytes; "
                "%d speaker and %d border events recorded\n",
                sizeof(SpectrumHardware), sizeof(Spectrum), m->OUTSTK.size(),
                m->BORDER_EVENTS.size());

    auto record = std::make_unique<SpectrumHardware>();
    const double record_us = median_us(copies, [&] { *record = m->hardware(); });
    auto into = std::make_unique<Spectrum>();
    const double assign_us = median_us(copies, [&] { *into = *m; });
    const double construct_us =
        median_us(copies, [&] { const auto copy = std::make_unique<Spectrum>(*m); });
    bool equal = false;
    const double compare_us = median_us(copies, [&] { equal = *into == *m; });
    std::printf("median of %d copies: the record %.2f us, the machine assigned %.2f us, "
                "constructed %.2f us; compared (%s) %.2f us\n",
                copies, record_us, assign_us, construct_us, equal ? "equal" : "DIFFERENT",
                compare_us);
    return equal ? 0 : 1;
}

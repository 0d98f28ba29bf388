// The rewind ring on a busy 128K machine: a program that pages the RAM banks in turn at
// 0xC000 and copies random bytes into it as fast as the CPU can (64 LDIs a turn, about 3,700
// bytes a frame, the shown screen among them), run for SECONDS of emulated time with a
// state pushed after every logical frame. Prints the memory the ring holds at the end and the
// host time of a push and of a step back (median, 99th percentile, the most; by the wall
// clock and as this thread's CPU time), with the patches deflated where that pays (as the
// emulator runs it) and never deflated.
//
// usage: rewind_bench [SECONDS]   (default 60)
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "frontend/rewind.h"
#include "frontend/run_ahead.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
using Clock = std::chrono::steady_clock;

// Bank 2 (0x8000-0xBFFF) holds the program at 0x8000, its counters at 0x8100 and random
// bytes from 0x8200 on.
//   loop: ld a,(8100h); inc a; ld (8100h),a; and 7
//         cp 2; jr nz,$+3; inc a                (bank 2, the program's own, is left out)
//         ld bc,7FFDh; out (c),a
//         ld hl,(8102h); ld de,(8104h); 64 x ldi; inc hl
//         ld a,h; and 3Fh; or 80h; ld h,a      (the source stays in 0x8000-0xBFFF)
//         ld a,d; or 0C0h; ld d,a              (the target in 0xC000-0xFFFF)
//         ld (8102h),hl; ld (8104h),de; jp loop
// The source moves one byte more than the target each turn, so a place is never written
// with what it held.
std::unique_ptr<Spectrum> busy_128k() {
    auto m = std::make_unique<Spectrum>();
    m->model = 128;
    m->tpf = TPF_128;
    std::vector<uint8_t> code = {0x3A, 0x00, 0x81, 0x3C, 0x32, 0x00, 0x81, 0xE6, 0x07,
                                 0xFE, 0x02, 0x20, 0x01, 0x3C, 0x01, 0xFD, 0x7F, 0xED,
                                 0x79, 0x2A, 0x02, 0x81, 0xED, 0x5B, 0x04, 0x81};
    for (int i = 0; i < 64; i++) code.insert(code.end(), {0xED, 0xA0});
    code.insert(code.end(), {0x23, 0x7C, 0xE6, 0x3F, 0xF6, 0x80, 0x67, 0x7A, 0xF6, 0xC0, 0x57,
                             0x22, 0x02, 0x81, 0xED, 0x53, 0x04, 0x81, 0xC3, 0x00, 0x80});
    uint8_t* bank2 = m->RAM + 2 * BANK_SIZE;
    std::copy(code.begin(), code.end(), bank2);
    std::mt19937 random(1982);
    for (size_t i = 0x200; i < BANK_SIZE; i++) bank2[i] = static_cast<uint8_t>(random());
    const uint8_t places[] = {0x00, 0x82, 0x00, 0xC0}; // 0x8200, 0xC000
    std::copy(std::begin(places), std::end(places), bank2 + 0x102);
    m->z80.PC = 0x8000;
    return m;
}

// The host time this thread has run: unlike the wall clock, it leaves out the time the
// computer gave to other programs in the middle of a push.
double cpu_us() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void measure(const char* what, int seconds, size_t deflate_from) {
    RewindRing ring(seconds, RewindRing::DEFAULT_BUDGET, deflate_from);
    auto m = busy_128k();
    const int frames = seconds * RewindRing::FRAMES_PER_SECOND;
    std::vector<double> push_us, push_cpu;
    const auto run_start = Clock::now();
    for (int f = 0; f < frames; f++) {
        run_logical_frame(*m, {});
        const auto start = Clock::now();
        const double cpu_start = cpu_us();
        ring.push(*m);
        push_cpu.push_back(cpu_us() - cpu_start);
        push_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const double run_s = std::chrono::duration<double>(Clock::now() - run_start).count();
    const size_t held = ring.memory();
    const size_t states = ring.size();
    std::vector<double> back_us, back_cpu;
    while (ring.size() > 1) {
        const auto start = Clock::now();
        const double cpu_start = cpu_us();
        ring.step_back(*m);
        back_cpu.push_back(cpu_us() - cpu_start);
        back_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::printf("%s: %d frames (%.1f s of host time in all), %zu states held in %.1f MB\n", what,
                frames, run_s, states, static_cast<double>(held) / (1 << 20));
    const auto line = [](const char* name, const std::vector<double>& v) {
        std::printf("  %-16s median %6.0f us, 99th percentile %6.0f us, most %6.0f us\n", name,
                    percentile(v, 0.5), percentile(v, 0.99), percentile(v, 1.0));
    };
    line("push, wall", push_us);
    line("push, CPU", push_cpu);
    line("step back, wall", back_us);
    line("step back, CPU", back_cpu);
}
} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : RewindRing::DEFAULT_SECONDS;
    if (seconds < 1) {
        std::fprintf(stderr, "usage: rewind_bench [SECONDS]\n");
        return 2;
    }
    std::printf("build: %s, flags \"%s\"\n", MARROWGLEAM_BUILD_TYPE, MARROWGLEAM_CXX_FLAGS);
    measure("deflated from 512 bytes", seconds, RewindRing::DEFAULT_DEFLATE_FROM);
    measure("never deflated", seconds, SIZE_MAX);
    return 0;
}

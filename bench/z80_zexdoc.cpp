// Speed of the CPU: ZEXDOC (about 47 billion T-states) through the CP/M harness, N times.
// The CPU runs over the Spectrum's own memory path (slots, the contention check, the
// screen-write check), as the machine runs it, or with "flat" over the harness's plain RAM.
// Prints per run and as the median: emulated T-states per second, instructions per second,
// and the multiple of a real 3.5 MHz Z80.
//
// The CPU is the standard model, or the Zilog NMOS model with "zilog".
//
//   z80_zexdoc [RUNS] [PATH/TO/zexdoc.com] [spectrum|flat] [standard|zilog]
//   (3 runs, spectrum, standard)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/cpm.h"

namespace {

constexpr double REAL_Z80_HZ = 3'500'000.0;

struct Figures {
    double seconds, tstates_per_s, instructions_per_s;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void print(const char* label, const Figures& f) {
    std::printf("%-8s %7.2f s  %8.1f emulated MHz  %8.1f MIPS  %6.1f x real time\n", label,
                f.seconds, f.tstates_per_s / 1e6, f.instructions_per_s / 1e6,
                f.tstates_per_s / REAL_Z80_HZ);
}

} // namespace

template <class Bus> int bench(int runs, const std::string& path, CpuModel model) {
    const auto cpm = std::make_unique<Cpm<Bus>>();
    cpm->model = model;
    // Counting instructions needs the CPU stepped one at a time, which is slower; so one
    // counting run first, then the timed runs at full speed.
    uint64_t instructions = 0;
    {
        const std::string error = cpm->load(path);
        if (!error.empty()) {
            std::fprintf(stderr, "z80_zexdoc: %s\n", error.c_str());
            return 1;
        }
        instructions = cpm->run(UINT64_MAX, nullptr, true).instructions;
        std::printf("counting run: %llu instructions\n",
                    static_cast<unsigned long long>(instructions));
    }

    std::vector<double> seconds, tps, ips;
    bool all_passed = true;
    for (int i = 1; i <= runs; i++) {
        const std::string error = cpm->load(path);
        if (!error.empty()) {
            std::fprintf(stderr, "z80_zexdoc: %s\n", error.c_str());
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        const CpmRun run = cpm->run(UINT64_MAX);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool passed = run.finished && run.output.find("ERROR") == std::string::npos;
        all_passed &= passed;
        const Figures f{s, run.tstates / s, instructions / s};
        seconds.push_back(f.seconds);
        tps.push_back(f.tstates_per_s);
        ips.push_back(f.instructions_per_s);
        char label[16];
        std::snprintf(label, sizeof label, "run %d", i);
        print(label, f);
        if (i == 1)
            std::printf("         %llu T-states, %llu instructions%s\n",
                        static_cast<unsigned long long>(run.tstates),
                        static_cast<unsigned long long>(instructions),
                        passed ? "" : "  (ZEXDOC DID NOT PASS)");
        std::fflush(stdout);
    }
    print("median", Figures{median(seconds), median(tps), median(ips)});
    return all_passed ? 0 : 1;
}

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::string path =
        argc > 2 ? argv[2] : std::string(MARROWGLEAM_TESTDATA) + "/zex/zexdoc.com";
    const char* bus = argc > 3 ? argv[3] : "spectrum";
    const char* model_name = argc > 4 ? argv[4] : "standard";
    const bool flat = std::strcmp(bus, "flat") == 0;
    const bool zilog = std::strcmp(model_name, "zilog") == 0;
    if (runs < 1 || (!flat && std::strcmp(bus, "spectrum") != 0) ||
        (!zilog && std::strcmp(model_name, "standard") != 0)) {
        std::fprintf(stderr,
                     "usage: %s [RUNS] [PATH/TO/zexdoc.com] [spectrum|flat] [standard|zilog]\n",
                     argv[0]);
        return 2;
    }
    std::printf("ZEXDOC on the Marrowgleam Z80 (%s model) over the %s bus, %d run%s\n", model_name,
                flat ? "flat RAM" : "Spectrum's", runs, runs == 1 ? "" : "s");
    std::printf("build: %s, flags \"%s\", CPU step also \"%s\"\n", MARROWGLEAM_BUILD_TYPE,
                MARROWGLEAM_CXX_FLAGS, MARROWGLEAM_STEP_OPTIONS);
    const CpuModel model = zilog ? CpuModel::zilog : CpuModel::standard;
    return flat ? bench<CpmBus>(runs, path, model) : bench<SpectrumCpmBus>(runs, path, model);
}

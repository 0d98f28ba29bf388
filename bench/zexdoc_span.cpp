// A fixed span of ZEXDOC over the Spectrum's bus (slots, the contention check, the
// screen-write check), for counting host instructions under valgrind: the figure that
// holds when the host's timings are noisy.
//
//   zexdoc_span TSTATES [count] [flat] [PATH/TO/zexdoc.com]
//
// Runs the first TSTATES T-states as the benchmark does (whole 48K frames at a time) and
// prints them and the seconds taken. With "count" the CPU is stepped one instruction at a
// time instead and the instructions are counted too (that run is slower: time and count it
// apart). Host instructions per emulated one:
//   (Ir of `zexdoc_span N` - Ir of `zexdoc_span 0`) / instructions of `zexdoc_span N count`
// With "flat" the same CPU runs over the harness's plain RAM instead (no slots, no
// contention, no screen writes): what the Spectrum's memory path costs is the difference.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tools/cpm.h"

namespace {
template <class Bus> int run(uint64_t span, bool count, const std::string& path) {
    const auto cpm = std::make_unique<Cpm<Bus>>();
    const std::string error = cpm->load(path);
    if (!error.empty()) {
        std::fprintf(stderr, "zexdoc_span: %s\n", error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const CpmRun run = cpm->run(span, nullptr, count);
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu T-states in %.3f s", static_cast<unsigned long long>(run.tstates), s);
    if (count)
        std::printf(", %llu instructions", static_cast<unsigned long long>(run.instructions));
    std::printf("%s\n", run.output.find("ERROR") == std::string::npos ? "" : " (ZEXDOC FAILED)");
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TSTATES [count] [flat] [PATH/TO/zexdoc.com]\n", argv[0]);
        return 2;
    }
    const uint64_t span = std::strtoull(argv[1], nullptr, 10);
    bool count = false, flat = false;
    std::string path = std::string(MARROWGLEAM_TESTDATA) + "/zex/zexdoc.com";
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], "count") == 0) count = true;
        else if (std::strcmp(argv[i], "flat") == 0) flat = true;
        else path = argv[i];
    }
    return flat ? run<CpmBus>(span, count, path) : run<SpectrumCpmBus>(span, count, path);
}

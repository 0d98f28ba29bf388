// A fixed span of ZEXDOC over the Spectrum's bus (slots, the contention check, the
// screen-write check), for counting host instructions under valgrind: the figure that
// holds when the host's timings are noisy.
//
//   zexdoc_span TSTATES [count] [PATH/TO/zexdoc.com]
//
// Runs the first TSTATES T-states as the benchmark does (whole 48K frames at a time) and
// prints them and the seconds taken. With "count" the CPU is stepped one instruction at a
// time instead and the instructions are counted too (that run is slower: time and count it
// apart). Host instructions per emulated one:
//   (Ir of `zexdoc_span N` - Ir of `zexdoc_span 0`) / instructions of `zexdoc_span N count`
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "tools/cpm.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TSTATES [count] [PATH/TO/zexdoc.com]\n", argv[0]);
        return 2;
    }
    const uint64_t span = std::strtoull(argv[1], nullptr, 10);
    const bool count = argc > 2 && std::strcmp(argv[2], "count") == 0;
    const int path_arg = count ? 3 : 2;
    const std::string path =
        argc > path_arg ? argv[path_arg] : std::string(MARROWGLEAM_TESTDATA) + "/zex/zexdoc.com";
    const auto cpm = std::make_unique<Cpm<SpectrumCpmBus>>();
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

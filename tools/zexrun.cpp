// Runs a CP/M instruction exerciser (ZEXDOC, ZEXALL or any .COM that prints through the
// BDOS) on the emulator's Z80 and prints what it prints.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/cpm.h"

int main(int argc, char** argv) {
    if (argc != 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        std::printf("usage: %s PROGRAM.COM\n"
                    "Runs a CP/M program (for example zexdoc.com or zexall.com) on the\n"
                    "emulator's Z80 with RAM over all 64 KiB and the BDOS print calls, and\n"
                    "prints its output followed by the emulated T-states and speed.\n",
                    argv[0]);
        return argc == 2 ? 0 : 2;
    }
    static CpmMachine cpm; // 64 KiB of memory: not on the stack
    const std::string error = cpm.load(argv[1]);
    if (!error.empty()) {
        std::fprintf(stderr, "zexrun: %s\n", error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const CpmRun run = cpm.run(UINT64_MAX, [](char ch) {
        std::putchar(ch);
        std::fflush(stdout);
    });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%llu T-states in %.2f s: %.0f emulated MHz\n",
                static_cast<unsigned long long>(run.tstates), seconds, run.tstates / seconds / 1e6);
    return run.finished && run.output.find("ERROR") == std::string::npos ? 0 : 1;
}

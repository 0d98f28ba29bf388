// SNA loader: any bytes under a .sna name load or are refused, and a loaded machine runs.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "frontend/session.h"
#include "tests/support/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + ".sna";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    Session& s = fresh_session();
    if (s.load_file(path)) s.run_machine(s.logical_frames + 2);
    std::remove(path.c_str());
    return 0;
}

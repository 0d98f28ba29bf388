// SNA loader: any bytes under a .sna name load or are refused, and a loaded machine runs.
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/formats.h"
#include "tests/fuzz/bare.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz_file(data, size, ".sna");
    if (path.empty()) return 0;
    const auto m = bare_machine();
    if (load_speccy(*m, path)) run_frames(*m, 2);
    std::remove(path.c_str());
    return 0;
}

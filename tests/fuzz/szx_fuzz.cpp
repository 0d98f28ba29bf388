// SZX loader: any bytes under a .szx name load or are refused (a refused file changes
// nothing), and a loaded machine runs and saves again.
#include "tests/fuzz/snapshot_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz_snapshot_loader(data, size, ".szx", szx_image, load_szx_snapshot);
}

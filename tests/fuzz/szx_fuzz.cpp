// SZX loader: any bytes under a .szx name load or are refused (a refused file changes
// nothing), and a loaded machine runs and saves again.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/session.h"
#include "tests/support/support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + ".szx";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    Session& s = fresh_session();
    s.machine.RAM[12345] = 0xA5;
    const auto before = std::make_unique<Spectrum>(s.machine);
    if (s.load_file(path)) {
        s.run_machine(s.logical_frames + 2);
        const SnapshotImage image = szx_image(s.machine);
        if (!image) std::abort();
        const auto again = std::make_unique<Spectrum>();
        if (!load_szx_snapshot(*again, image.bytes)) std::abort(); // its own file loads
    } else if (std::memcmp(before->RAM, s.machine.RAM, sizeof before->RAM) != 0 ||
               std::memcmp(&before->z80, &s.machine.z80, Z80_IMAGE_SIZE) != 0 ||
               before->tstates != s.machine.tstates) {
        std::abort(); // a refused file changed the machine
    }
    std::remove(path.c_str());
    return 0;
}

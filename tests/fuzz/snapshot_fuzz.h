// The body of a snapshot loader's fuzz target: any bytes under a name of the format's type
// load or are refused (a refused file changes nothing), and a loaded machine runs and saves
// a file of its own that loads again.
#pragma once

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

// `extension` with its dot (".z80"); `image_of` saves a machine in the format, `load` loads
// such an image.
template <class ImageOf, class Load>
int fuzz_snapshot_loader(const uint8_t* data, size_t size, const char* extension, ImageOf image_of,
                         Load load) {
    const std::string path = "/tmp/marrowgleam_fuzz_" + std::to_string(getpid()) + extension;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    Session& s = fresh_session();
    s.machine.RAM[12345] = 0xA5;
    const auto before = std::make_unique<Spectrum>(s.machine);
    if (s.load_file(path)) {
        s.run_machine(s.logical_frames + 2);
        const SnapshotImage image = image_of(s.machine);
        if (!image) std::abort();
        const auto again = std::make_unique<Spectrum>();
        if (!load(*again, image.bytes)) std::abort(); // its own file loads
    } else if (std::memcmp(before->RAM, s.machine.RAM, sizeof before->RAM) != 0 ||
               std::memcmp(&before->z80, &s.machine.z80, Z80_IMAGE_SIZE) != 0 ||
               before->tstates != s.machine.tstates) {
        std::abort(); // a refused file changed the machine
    }
    std::remove(path.c_str());
    return 0;
}

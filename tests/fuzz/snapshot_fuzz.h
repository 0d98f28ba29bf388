// The body of a snapshot loader's fuzz target: any bytes under a name of the format's type
// load or are refused (a refused file changes nothing), and a loaded machine runs and saves
// a file of its own that loads again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "tests/fuzz/bare.h"

// `extension` with its dot (".z80"); `image_of` saves a machine in the format, `load` loads
// such an image.
template <class ImageOf, class Load>
int fuzz_snapshot_loader(const uint8_t* data, size_t size, const char* extension, ImageOf image_of,
                         Load load) {
    const std::string path = fuzz_file(data, size, extension);
    if (path.empty()) return 0;
    const auto m = bare_machine();
    m->RAM[12345] = 0xA5;
    const auto before = std::make_unique<Spectrum>(*m);
    if (load_speccy(*m, path)) {
        run_frames(*m, 2);
        const SnapshotImage image = image_of(*m);
        if (!image) std::abort();
        const auto again = std::make_unique<Spectrum>();
        if (!load(*again, image.bytes)) std::abort(); // its own file loads
    } else if (std::memcmp(before->RAM, m->RAM, sizeof before->RAM) != 0 ||
               std::memcmp(&before->z80, &m->z80, Z80_IMAGE_SIZE) != 0 ||
               before->tstates != m->tstates) {
        std::abort(); // a refused file changed the machine
    }
    std::remove(path.c_str());
    return 0;
}

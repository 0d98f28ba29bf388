// Channel files: any bytes in a channel's place are restored or refused (the machine
// unchanged), and a restored machine runs. An input of 62 bytes is the part of a channel
// after the RAM (the register image, the border, the four counters and IFB_buffer) on zero
// RAM, so that the fuzzer works on the fields that count. An input that begins with "MACH" is
// the whole-machine part of a channel, after zero RAM and registers. Any other input is the
// whole file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/formats.h"
#include "tests/fuzz/bare.h"

namespace {
constexpr size_t FIELDS = 62;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> image(data, data + size);
    if (size == FIELDS) {
        image.assign(CHANNEL_FILE_SIZE, 0);
        std::memcpy(image.data(), "VOLKMERETOBRANIKB11 SNAP", 24);
        std::memcpy(&image[CHANNEL_FILE_SIZE - FIELDS], data, FIELDS);
    } else if (size >= 4 && std::memcmp(data, "MACH", 4) == 0) {
        image.assign(CHANNEL_FILE_SIZE_WITH_AY, 0);
        std::memcpy(image.data(), "VOLKMERETOBRANIKB11 SNAP", 24);
        std::memcpy(&image[CHANNEL_FILE_SIZE], "AY38", 4);
        image.insert(image.end(), data, data + size);
    }
    const auto m = bare_machine();
    if (!channel_usable(image)) return 0;
    restore_channel(*m, image);
    run_frames(*m, 2);
    return 0;
}

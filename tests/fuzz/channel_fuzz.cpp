// Channel files: any bytes in a channel's place are restored or refused (" BAD CHANNEL
// FILE ", the machine unchanged), and a restored machine runs. An input of 62 bytes is the
// part of a channel after the RAM (the register image, the border, the four counters and
// IFB_buffer) on zero RAM, so that the fuzzer works on the fields that count; any other
// input is the whole file.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
constexpr size_t FIELDS = 62;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir =
        (std::filesystem::temp_directory_path() / ("marrowgleam_fuzz_" + std::to_string(getpid())))
            .string() +
        "/";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::vector<uint8_t> image(data, data + size);
    if (size == FIELDS) {
        image.assign(CHANNEL_FILE_SIZE, 0);
        std::memcpy(image.data(), "VOLKMERETOBRANIKB11 SNAP", 24);
        std::memcpy(&image[CHANNEL_FILE_SIZE - FIELDS], data, FIELDS);
    }
    Session& s = fresh_session();
    s.application_path = dir;
    if (!write_file_atomic(s.channel_name(0), image)) return 0;
    s.load_channel(0);
    // Taken or not, the machine runs on from where it is.
    s.run_machine(s.frame_clock() + 2);
    std::filesystem::remove(s.channel_name(0), ec);
    return 0;
}

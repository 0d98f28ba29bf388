#include "tests/support/support.h"

#include <cstdio>

#include "core/machine.h"
#include "host/headless/headless.h"

std::string testdata_path(const std::string& relative) {
    return std::string(MARROWGLEAM_TESTDATA) + "/" + relative;
}

std::string binary_path(const std::string& relative) {
    return std::string(MARROWGLEAM_BINARY_DIR) + "/" + relative;
}

bool file_exists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::fclose(file);
    return true;
}

void fresh_machine() {
    machine_defaults();
    headless::reset();
    headless::attach_keyboard();
}

bool fresh_machine_with_rom() {
    fresh_machine();
    std::FILE* file = std::fopen(binary_path("1982.rom").c_str(), "rb");
    if (!file) return false;
    const size_t n = std::fread(ROM, 1, sizeof ROM, file);
    std::fclose(file);
    return n == sizeof ROM;
}

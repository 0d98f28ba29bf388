#include "tests/support/support.h"

#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "frontend/session.h"
#include "host/headless/headless.h"

namespace {
HeadlessHost host;
std::unique_ptr<Session> session;
} // namespace

HeadlessHost& test_host() { return host; }

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

Session& fresh_session() {
    // The old session goes first: two sessions of several megabytes need not coexist.
    session.reset();
    session = std::make_unique<Session>(host);
    host.reset();
    host.attach_keyboard(*session);
    return *session;
}

Spectrum& fresh_machine() { return fresh_session().machine; }

Session& test_session() {
    if (!session) fresh_session();
    return *session;
}

Spectrum& test_machine() { return test_session().machine; }

bool read_rom(uint8_t* rom) {
    std::FILE* file = std::fopen(binary_path("1982.rom").c_str(), "rb");
    if (!file) return false;
    const size_t n = std::fread(rom, 1, 16384, file);
    std::fclose(file);
    return n == 16384;
}

bool read_rom(Spectrum& m) {
    std::vector<uint8_t> rom(ROM_SIZE);
    if (!read_rom(rom.data())) return false;
    m.install_roms(std::move(rom));
    return true;
}

bool fresh_machine_with_rom() { return read_rom(fresh_machine()); }

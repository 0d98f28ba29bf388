#include "core/startup.h"

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "core/loop.h"
#include "core/machine.h"
#include "files/files.h"
#include "text/text.h"
#include "z80/z80.h"

namespace {
// The data files lie beside the executable. A program started through PATH has no
// directory in argv[0]; the kernel knows where it is.
std::string executable_path(const char* argv0) {
    if (std::strchr(argv0, '/')) return argv0;
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return argv0;
    buffer[n] = '\0';
    return buffer;
}

bool read_file(const std::string& path, uint8_t* buffer, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    const size_t n = std::fread(buffer, 1, size, file);
    for (size_t i = n; i < size; i++) buffer[i] = 0;
    std::fclose(file);
    return true;
}
} // namespace

bool load_data_files(const char* argv0, std::string& error) {
    model = 48;
    tpf = tpf_for_model();
    application_path = getpath(executable_path(argv0 ? argv0 : ""));
    if (!read_file(application_path + "1982.rom", ROM, sizeof ROM)) {
        error = "Cannot open " + application_path + "1982.rom (a 16 KiB 48K ROM image)";
        return false;
    }
    if (!load_charset((application_path + "teletext").c_str())) {
        error = "Cannot open " + application_path + "teletext (the character set)";
        return false;
    }
    return true;
}

void start_machine() {
    splash();
    overlay_old = 0;
    overlay_timeout = 200; // the title shows for the first 200 logical frames
    z80_init_tables();
    reset_logical_system();
}

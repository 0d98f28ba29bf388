// Start-up: the data files beside the executable, the title, the first reset; and the files
// the user loads.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <utility>
#include <vector>

#include <unistd.h>

#include "formats/formats.h"
#include "frontend/session.h"

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

// The directory as an absolute path with its trailing '/', fixed once at start: data and
// channel files stay where they were whatever the working directory becomes later.
std::string absolute_directory(const std::string& directory) {
    std::error_code ec;
    const std::filesystem::path full =
        std::filesystem::absolute(directory.empty() ? "." : directory, ec).lexically_normal();
    if (ec) return directory;
    std::string text = full.string();
    if (text.empty() || text.back() != '/') text += '/';
    return text;
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

bool cpu_model_named(const std::string& name, CpuModel& model) {
    if (name == "standard") model = CpuModel::standard;
    else if (name == "zilog") model = CpuModel::zilog;
    else return false;
    return true;
}

bool Session::load_data_files(const char* argv0, std::string& error) {
    machine.model = 48;
    machine.tpf = machine.tpf_for_model();
    files.application_path = absolute_directory(getpath(executable_path(argv0 ? argv0 : "")));
    const std::string& application_path = files.application_path;
    // Beside the program in a build folder; installed, in PREFIX/share/marrowgleam beside
    // PREFIX/bin, with the system's free 48K ROM (Debian's opense-basic) when there is no
    // other. A file found nowhere is reported where a build folder would have it.
    const std::string shared =
        std::filesystem::path(files.application_path + "../share/marrowgleam/").lexically_normal();
    const auto first_present = [](std::initializer_list<std::string> paths) {
        for (const std::string& path : paths)
            if (access(path.c_str(), R_OK) == 0) return path;
        return *paths.begin();
    };
    const std::string rom = first_present({application_path + "1982.rom", shared + "1982.rom",
                                           "/usr/share/spectrum-roms/opense.rom"});
    const std::string charset = first_present({application_path + "teletext", shared + "teletext"});
    std::vector<uint8_t> image(ROM_SIZE);
    if (!read_file(rom, image.data(), image.size())) {
        error = "Cannot open " + rom + " (a 16 KiB 48K ROM image)";
        return false;
    }
    machine.install_roms(std::move(image));
    if (!text.load_charset(charset.c_str())) {
        error = "Cannot open " + charset + " (the character set)";
        return false;
    }
    return true;
}

void Session::start_machine() {
    text.splash();
    text.overlay_old = 0;
    text.overlay_timeout = 200; // the title shows for the first 200 logical frames
    machine.tape_saves = 1;     // SAVE writes tape files
    reset_logical_system();
}

bool Session::load_file(const std::string& path, std::string* why) {
    const LoadResult result = load_speccy(machine, path);
    if (why) *why = result.why;
    if (!result) return false;
    // The machine has been reset with the load: the audio starts again too, and going back
    // never crosses into the machine left.
    reset_audio();
    rewind_ring.clear();
    files.file_loaded(path);
    return true;
}

bool Session::load_command_line_file(const std::string& path) {
    std::string why;
    if (load_file(path, &why)) return true;
    std::fprintf(stderr, "Cannot load file %s: %s\n", path.c_str(), why.c_str());
    return false;
}

// Start-up: the data files beside the executable, the title, the first reset; and the files
// the user loads and the channels, with their messages.
#include <cstdio>
#include <cstring>
#include <filesystem>

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
    application_path = getpath(executable_path(argv0 ? argv0 : ""));
    if (!read_file(application_path + "1982.rom", machine.ROM, sizeof machine.ROM)) {
        error = "Cannot open " + application_path + "1982.rom (a 16 KiB 48K ROM image)";
        return false;
    }
    if (!load_charset((application_path + "teletext").c_str())) {
        error = "Cannot open " + application_path + "teletext (the character set)";
        return false;
    }
    return true;
}

void Session::start_machine() {
    splash();
    overlay_old = 0;
    overlay_timeout = 200; // the title shows for the first 200 logical frames
    reset_logical_system();
}

bool Session::load_file(const std::string& path, std::string* why) {
    const LoadResult result = load_speccy(machine, path);
    if (why) *why = result.why;
    if (!result) return false;
    // The machine has been reset with the load: the audio starts again too.
    reset_audio();
    return true;
}

bool Session::load_command_line_file(const std::string& path) {
    std::string why;
    if (load_file(path, &why)) return true;
    if (why.empty()) std::fprintf(stderr, "Cannot load file %s\n", path.c_str());
    else std::fprintf(stderr, "Cannot load file %s: %s\n", path.c_str(), why.c_str());
    return false;
}

std::string Session::channel_name(int n) const {
    return application_path + "CH" + std::to_string(n);
}

void Session::save_channel(int n) {
    std::snprintf(TXTLNBUF, sizeof TXTLNBUF, " SAVE CHANNEL %1d ", n);
    post_message(TXTLNBUF);
    if (!write_file_atomic(channel_name(n), channel_image(machine))) post_message(" SAVE FAILED ");
}

void Session::load_channel(int n) {
    std::snprintf(TXTLNBUF, sizeof TXTLNBUF, " LOAD CHANNEL %1d ", n);
    post_message(TXTLNBUF);
    const std::string name = channel_name(n);
    std::error_code ec;
    if (!std::filesystem::exists(name, ec)) return; // never saved: the machine runs on
    // One byte more than a channel is enough to tell a longer file.
    const std::vector<uint8_t> image = read_file_prefix(name, CHANNEL_FILE_SIZE + 1);
    if (!channel_usable(image)) {
        post_message(" BAD CHANNEL FILE ");
        return;
    }
    restore_channel(machine, image);
}

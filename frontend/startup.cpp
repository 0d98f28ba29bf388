// Start-up: the data files beside the executable, the title, the first reset; and the files
// the user loads and the channels, with their messages.
#include <cstdio>
#include <cstring>
#include <filesystem>
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
    application_path = absolute_directory(getpath(executable_path(argv0 ? argv0 : "")));
    std::vector<uint8_t> rom(ROM_SIZE);
    if (!read_file(application_path + "1982.rom", rom.data(), rom.size())) {
        error = "Cannot open " + application_path + "1982.rom (a 16 KiB 48K ROM image)";
        return false;
    }
    machine.install_roms(std::move(rom));
    if (!load_charset((application_path + "teletext").c_str())) {
        error = "Cannot open " + application_path + "teletext (the character set)";
        return false;
    }
    return true;
}

void Session::start_machine() {
    splash();
    overlay_old = 0;
    overlay_timeout = 200;  // the title shows for the first 200 logical frames
    machine.tape_saves = 1; // SAVE writes tape files
    reset_logical_system();
}

bool Session::load_file(const std::string& path, std::string* why) {
    const LoadResult result = load_speccy(machine, path);
    if (why) *why = result.why;
    if (!result) return false;
    // The machine has been reset with the load: the audio starts again too.
    reset_audio();
    save_tape_path = getext(path) == "TAP" ? path : std::string();
    saves_to_deck = !save_tape_path.empty();
    std::error_code ec;
    const uintmax_t length = saves_to_deck ? std::filesystem::file_size(path, ec) : 0;
    save_tape_length = saves_to_deck && !ec ? static_cast<int64_t>(length) : -1;
    return true;
}

bool Session::load_command_line_file(const std::string& path) {
    std::string why;
    if (load_file(path, &why)) return true;
    std::fprintf(stderr, "Cannot load file %s: %s\n", path.c_str(), why.c_str());
    return false;
}

std::string Session::channel_name(int n) const { return channel_dir() + "CH" + std::to_string(n); }

void Session::save_channel(int n) {
    const std::string dir = channel_dir();
    // Away from the executable the message says where the channel went.
    std::snprintf(TXTLNBUF, sizeof TXTLNBUF,
                  dir == application_path ? " SAVE CHANNEL %1d " : " SAVE CHANNEL %1d TO DATA DIR ",
                  n);
    post_message(TXTLNBUF);
    if (!write_file_atomic(dir + "CH" + std::to_string(n), channel_image(machine)))
        post_message(" SAVE FAILED ");
}

void Session::load_channel(int n) {
    const std::string dir = channel_dir();
    std::snprintf(
        TXTLNBUF, sizeof TXTLNBUF,
        dir == application_path ? " LOAD CHANNEL %1d " : " LOAD CHANNEL %1d FROM DATA DIR ", n);
    post_message(TXTLNBUF);
    const std::string name = dir + "CH" + std::to_string(n);
    std::error_code ec;
    // Never saved: the machine runs on. A name that cannot even be looked at (a loop of
    // symbolic links, a directory without permission) is read below and says why.
    if (!std::filesystem::exists(name, ec) && !ec) return;
    // One byte more than the longest channel is enough to tell a longer file.
    std::vector<uint8_t> image;
    const LoadResult read = read_regular_file(name, CHANNEL_FILE_LIMIT + 1, image);
    if (read.status == LoadResult::CANNOT_OPEN) {
        post_message(message_with_reason(" CANNOT LOAD CHANNEL: ", read.why).c_str());
        return;
    }
    if (!read || !channel_usable(image)) {
        post_message(" BAD CHANNEL FILE ");
        return;
    }
    restore_channel(machine, image);
}

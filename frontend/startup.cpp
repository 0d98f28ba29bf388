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

} // namespace

bool cpu_model_named(const std::string& name, CpuModel& model) {
    if (name == "standard") model = CpuModel::standard;
    else if (name == "zilog") model = CpuModel::zilog;
    else return false;
    return true;
}

RomPlaces rom_places_for(const char* argv0) {
    const std::string here = absolute_directory(getpath(executable_path(argv0 ? argv0 : "")));
    // Installed, 1982.rom lies in PREFIX/share/marrowgleam beside PREFIX/bin.
    const std::string shared =
        std::filesystem::path(here + "../share/marrowgleam/").lexically_normal();
    RomPlaces places;
    places.user_dir = default_user_rom_dir();
    places.program_dir = access((here + "1982.rom").c_str(), R_OK) != 0 &&
                                 access((shared + "1982.rom").c_str(), R_OK) == 0
                             ? shared
                             : here;
    return places;
}

bool Session::choose_machine(MachineKind kind, std::string& error) {
    RomSet set;
    const GivenRoms given = kind == given_roms_for ? given_roms : GivenRoms{};
    if (!find_roms(kind, given, rom_places, set, error)) return false;
    // The stereo placement is the user's, not the chip's state.
    const AyStereo stereo = machine.ay.stereo;
    machine.power_on(hardware_model(kind), std::move(set.images));
    machine.ay.stereo = stereo;
    machine_kind = machine_chosen = kind;
    rom_set_name = set.name;
    return true;
}

bool Session::load_data_files(const char* argv0, std::string& error) {
    files.application_path = absolute_directory(getpath(executable_path(argv0 ? argv0 : "")));
    const std::string& application_path = files.application_path;
    // Beside the program in a build folder; installed, in PREFIX/share/marrowgleam beside
    // PREFIX/bin. A file found nowhere is reported where a build folder would have it.
    const std::string shared =
        std::filesystem::path(files.application_path + "../share/marrowgleam/").lexically_normal();
    const auto first_present = [](std::initializer_list<std::string> paths) {
        for (const std::string& path : paths)
            if (access(path.c_str(), R_OK) == 0) return path;
        return *paths.begin();
    };
    rom_places = rom_places_for(argv0);
    given_roms_for = machine_kind;
    if (!choose_machine(machine_kind, error)) return false;
    const std::string charset = first_present({application_path + "teletext", shared + "teletext"});
    if (!text.load_charset(charset.c_str())) {
        error = "Cannot open " + charset + " (the character set)";
        return false;
    }
    return true;
}

void Session::start_machine() {
    text.splash();
    // The title shows for the first 200 logical frames, the ROM set in use under it; then
    // the text layer as it was chosen.
    text.overlay_old = text.overlay;
    text.overlay_timeout = 200;
    if (!rom_set_name.empty()) {
        text.TXTINK = 0x1C; // bright green on blue, as every message
        text.TXTSTR(0, MESSAGE_ROW,
                    (" " + machine_label(machine_kind) + ": " + rom_set_name + " ").c_str());
    }
    machine.tape_saves = 1; // SAVE writes tape files
    reset_logical_system();
}

bool Session::load_file(const std::string& path, std::string* why) {
    const LoadResult result = load_speccy(machine, path);
    if (why) *why = result.why;
    if (!result) return false;
    if (machine.model != hardware_model(machine_kind)) snapshot_machine();
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

// A snapshot of the other hardware model has changed the machine: its ROMs come with it where
// they can be found (the +2's when the +2 was chosen), else the set in place serves (the
// 48K's ROM in both positions).
void Session::snapshot_machine() {
    const MachineKind kind = machine.model == 48                    ? MachineKind::m48
                             : machine_chosen == MachineKind::plus2 ? MachineKind::plus2
                                                                    : MachineKind::m128;
    const GivenRoms given = kind == given_roms_for ? given_roms : GivenRoms{};
    const std::string label = machine_label(kind);
    RomSet set;
    std::string error;
    text.TXTINK = 0x1C;
    if (!find_roms(kind, given, rom_places, set, error)) {
        std::fprintf(stderr, "marrowgleam: %s snapshot run with the %s ROMs: %s\n", label.c_str(),
                     machine_label(machine_kind).c_str(), error.c_str());
        text.post_message(
            message_with_reason(" " + label + " SNAPSHOT, NO " + label + " ROMS: ", rom_set_name)
                .c_str());
        return;
    }
    machine.install_roms(std::move(set.images));
    machine_kind = kind;
    rom_set_name = set.name;
    text.post_message(message_with_reason(" SNAPSHOT: " + label + ", ", rom_set_name).c_str());
}

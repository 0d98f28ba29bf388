// Finding and reading a machine's ROM set.
#include "frontend/roms.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {
constexpr std::uintmax_t ROM_BYTES = 16384;

std::string in(const std::string& dir, const std::string& file) {
    return (std::filesystem::path(dir) / file).string();
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Appends the image at `path` to `set`; false with `error` when it cannot be.
bool read_rom(const std::string& path, RomSet& set, std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "Cannot read ROM image " + path + ": " +
                (exists(path) ? "not a regular file" : "no such file");
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size != ROM_BYTES) {
        error = "ROM image " + path + " holds " +
                (ec ? "an unknown number of" : std::to_string(size)) + " bytes, not 16384";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) bytes.clear();
    if (bytes.size() != ROM_BYTES) {
        error = "Cannot read ROM image " + path;
        return false;
    }
    set.images.insert(set.images.end(), bytes.begin(), bytes.end());
    set.files.push_back(path);
    return true;
}

bool read_all(const std::vector<std::string>& paths, const std::string& name, RomSet& set,
              std::string& error) {
    set = {};
    for (const std::string& path : paths)
        if (!read_rom(path, set, error)) return false;
    set.name = name;
    return true;
}
} // namespace

bool machine_named(const std::string& name, MachineKind& kind) {
    if (name == "48") kind = MachineKind::m48;
    else if (name == "128") kind = MachineKind::m128;
    else if (name == "plus2") kind = MachineKind::plus2;
    else return false;
    return true;
}

std::string machine_label(MachineKind kind) {
    return kind == MachineKind::m48 ? "48K" : kind == MachineKind::m128 ? "128K" : "+2";
}

int hardware_model(MachineKind kind) { return kind == MachineKind::m48 ? 48 : 128; }

std::string default_user_rom_dir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path dir;
    if (xdg && xdg[0] == '/') dir = xdg;
    else if (home && home[0]) dir = std::filesystem::path(home) / ".local" / "share";
    else return {};
    return (dir / "marrowgleam" / "roms").string();
}

bool find_roms(MachineKind kind, const GivenRoms& given, const RomPlaces& places, RomSet& set,
               std::string& error) {
    const bool is48 = kind == MachineKind::m48;
    const std::string label = machine_label(kind);
    // Files named by the user are the ones to use, or nothing is.
    if (is48 && (!given.rom0.empty() || !given.rom1.empty())) {
        error = "The 48K has one ROM: give it with --rom FILE";
        return false;
    }
    if (!is48 && !given.rom.empty()) {
        error = "The " + label + " has two ROMs: give them with --rom0 FILE --rom1 FILE";
        return false;
    }
    if (!is48 && given.rom0.empty() != given.rom1.empty()) {
        error = "The " + label + " needs both ROMs: --rom0 FILE --rom1 FILE";
        return false;
    }
    if (!given.rom.empty()) return read_all({given.rom}, "GIVEN 48K ROM", set, error);
    if (!given.rom0.empty())
        return read_all({given.rom0, given.rom1}, "GIVEN " + label + " ROMS", set, error);

    // The user's own images: one of a pair present and the other not is a mistake to report.
    if (!places.user_dir.empty()) {
        const std::string stem = kind == MachineKind::plus2 ? "plus2" : "128";
        const std::vector<std::string> files =
            is48 ? std::vector<std::string>{in(places.user_dir, "48.rom")}
                 : std::vector<std::string>{in(places.user_dir, stem + "-0.rom"),
                                            in(places.user_dir, stem + "-1.rom")};
        bool any = false;
        for (const std::string& f : files) any = any || exists(f);
        if (any) return read_all(files, "YOUR " + label + (is48 ? " ROM" : " ROMS"), set, error);
    }
    if (is48 && !places.program_dir.empty() && exists(in(places.program_dir, "1982.rom")))
        return read_all({in(places.program_dir, "1982.rom")}, "1982.ROM", set, error);

    const std::string opense = in(places.system_dir, "opense.rom");
    if (is48) return read_all({opense}, "OPENSE BASIC (FREE)", set, error);
    return read_all({in(places.system_dir, "opense-stub.rom"), opense}, "OPENSE BASIC (FREE)", set,
                    error);
}

std::string rom_sets_usage(const GivenRoms& given, const RomPlaces& places) {
    std::string text;
    for (const char* name : {"48", "128", "plus2"}) {
        MachineKind kind{};
        machine_named(name, kind);
        RomSet set;
        std::string error;
        std::string line = "  " + std::string(name);
        line.resize(9, ' ');
        if (find_roms(kind, given, places, set, error)) {
            line += set.name + ":";
            for (size_t i = 0; i < set.files.size(); i++) line += (i ? ", " : " ") + set.files[i];
        } else {
            line += "none: " + error;
        }
        text += line + "\n";
    }
    return text;
}

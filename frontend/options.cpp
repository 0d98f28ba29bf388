#include "frontend/options.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
const char* const USAGE_HEAD = R"(usage: marrowgleam [options] [FILE]

The Marrowgleam ZX Spectrum emulator, full screen. FILE, if given, is loaded at the start:
a snapshot ending in SNA, Z80 or SZX, or a tape image ending in TAP or TZX (any case).

options:
  --window[=WxH]   run in a resizable window (800x600 unless given, e.g. --window=1024x768);
                   Alt+Enter switches between window and full screen at any time
  --type-chars     typing by character: a PC character that the Spectrum types with
                   SYMBOL SHIFT (" : ; + - = < > ( ) * / , . ? $ _ ! @ # % & ' ^) presses
                   that combination (Windows+T switches it at any time)
  --exact-border   draw the border from every change of its colour, where the beam was
                   (Windows+B switches it at any time)
  --snapshot-format sna|z80|szx
                   the format Windows+S saves snapshots in (default szx); they go to
                   $XDG_DATA_HOME/marrowgleam, else ~/.local/share/marrowgleam
)";
const char* const USAGE_TAIL = R"(  --help           show this text

Keys: F1-F12, Escape, Home, keypad and Windows+keys as the README's key table lists them.
)";

// Each option with its description's lines.
struct OptionText {
    const char* name;
    std::vector<const char*> lines;
};
const OptionText MACHINE_OPTIONS[] = {
    {"--tape-sound",
     {"a tape playing as a signal is heard, mixed into the sound (the full-screen",
      "program then keeps the normal pace; without it, it runs as fast as it can",
      "while the tape plays, silent)"}},
    {"--no-tape-trap",
     {"every tape block plays as a signal, also for the ROM's loader (which",
      "otherwise takes a standard-speed block at once)"}},
    {"--ay",
     {"fit the 48K with the AY-3-8912 sound chip of an add-on interface (the",
      "128K always has it)"}},
    {"--stereo MODE",
     {"the sound chip's channels: abc (A left, B centre, C right; default),", "acb, or mono"}},
    {"--volume PERCENT",
     {"the sound's volume, 0 to 100 (default 100: the beeper and all three",
      "channels of the chip at full volume together stay short of clipping)"}},
    {"--joystick MAP",
     {"how the machine sees the joystick (a gamepad, the arrows and Tab after",
      "Windows+J, a script's joy_* keys): kempston (port 0x1F; default),",
      "sinclair (keys 6-0) or cursor (5-8, 0)"}},
    {"--cpu MODEL",
     {"the Z80 the machine runs: standard (the default: bits 3 and 5 of SCF",
      "and CCF from A, repeating block instructions with the flags of one",
      "pass) or zilog (the Zilog NMOS Z80 of a real Spectrum, as the hardware",
      "test programs see it); Windows+Z switches between them while running"}},
};
} // namespace

std::string machine_options_usage(int column) {
    const auto indent = static_cast<size_t>(column);
    std::string text;
    for (const OptionText& option : MACHINE_OPTIONS) {
        std::string lead = std::string("  ") + option.name;
        // A name too long for its column stands on a line of its own.
        if (lead.size() >= indent) lead += "\n" + std::string(indent, ' ');
        else lead.resize(indent, ' ');
        for (const char* line : option.lines) {
            text += lead + line + "\n";
            lead.assign(indent, ' ');
        }
    }
    return text;
}

std::string program_usage() { return USAGE_HEAD + machine_options_usage(19) + USAGE_TAIL; }

int parse_machine_option(int argc, const char* const* argv, int& i, MachineOptions& options,
                         std::string& error) {
    const std::string arg = argv[i];
    if (arg == "--tape-sound") options.tape_sound = true;
    else if (arg == "--no-tape-trap") options.tape_trap = false;
    else if (arg == "--ay") options.hardware.ay_on_48 = true;
    else if (arg == "--volume") {
        char* end = nullptr;
        const long percent = i + 1 < argc ? std::strtol(argv[++i], &end, 10) : -1;
        if (!end || end == argv[i] || *end != '\0' || percent < 0 || percent > 100) {
            error = "--volume needs a percentage from 0 to 100";
            return -1;
        }
        options.volume = static_cast<int>(percent);
    } else if (arg == "--stereo" || arg == "--joystick" || arg == "--cpu") {
        const char* const choices = arg == "--stereo"     ? "abc, acb or mono"
                                    : arg == "--joystick" ? "kempston, sinclair or cursor"
                                                          : "standard or zilog";
        bool ok = i + 1 < argc;
        if (ok) {
            const std::string value = argv[++i];
            if (arg == "--stereo") ok = parse_stereo(value, options.hardware.stereo);
            else if (arg == "--joystick") ok = parse_joystick_map(value, options.hardware.joystick);
            else ok = cpu_model_named(value, options.cpu_model);
        }
        if (!ok) {
            error = arg + " needs " + choices;
            return -1;
        }
    } else return 0;
    return 1;
}

void MachineOptions::apply(Session& session) const {
    session.tape_sound = tape_sound;
    session.machine.tape_traps = tape_trap ? 1 : 0;
    session.machine.cpu_model = cpu_model;
    session.sound.mix.set_volume(volume);
    session.apply_hardware_options(hardware);
}

namespace {
// "WxH" with both at least 64 and at most 16384.
bool parse_size(const std::string& text, int& w, int& h) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    char* end = nullptr;
    const long width = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + x) return false;
    const long height = std::strtol(text.c_str() + x + 1, &end, 10);
    if (*end != '\0' || width < 64 || height < 64 || width > 16384 || height > 16384) return false;
    w = static_cast<int>(width);
    h = static_cast<int>(height);
    return true;
}
} // namespace

bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--window") {
            options.window = true;
        } else if (arg.rfind("--window=", 0) == 0) {
            options.window = true;
            if (!parse_size(arg.substr(9), options.window_w, options.window_h)) {
                error = "--window= needs a size WIDTHxHEIGHT, e.g. 800x600 (64 to 16384)";
                return false;
            }
        } else if (arg == "--type-chars") {
            options.type_chars = true;
        } else if (arg == "--exact-border") {
            options.exact_border = true;
        } else if (arg == "--snapshot-format") {
            if (i + 1 >= argc ||
                !snapshot_format_of("x." + std::string(argv[++i]), options.snapshot_format)) {
                error = "--snapshot-format needs sna, z80 or szx";
                return false;
            }
        } else if (const int taken = parse_machine_option(argc, argv, i, options.machine, error)) {
            if (taken < 0) return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            error = "only one file can be loaded (see --help)";
            return false;
        }
    }
    return true;
}

void ProgramOptions::apply(Session& session) const {
    session.keyboard.type_chars = type_chars;
    session.machine.exact_border = exact_border;
    session.files.snapshot_format = snapshot_format;
    machine.apply(session);
}

#include "frontend/options.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

bool parse_command_line(int argc, const char* const* argv,
                        const std::vector<CommandOption>& options,
                        const std::function<bool(const std::string&, std::string&)>& operand,
                        std::string& error) {
    bool options_end = false;
    for (int i = 1; i < argc; i++) {
        std::string word = argv[i];
        if (options_end || word.size() < 2 || word[0] != '-') {
            if (!operand(word, error)) return false;
            continue;
        }
        if (word == "--") {
            options_end = true;
            continue;
        }
        if (word == "-h") word = "--help";
        const auto equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const CommandOption* option = nullptr;
        for (const CommandOption& o : options)
            if (o.name == name) option = &o;
        if (!option) {
            error = "unknown option " + name + " (see --help)";
            return false;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (option->value.empty()) {
                error = name + " takes no value";
                return false;
            }
            value = word.substr(equals + 1);
        } else if (!option->value.empty() && !option->value_optional) {
            if (i + 1 >= argc) {
                error = name + " needs " + option->needs;
                return false;
            }
            value = argv[++i];
        }
        error.clear();
        if (!option->take(value, error)) {
            if (error.empty()) error = name + " needs " + option->needs;
            return false;
        }
    }
    return true;
}

std::string options_usage(const std::vector<CommandOption>& options, int column) {
    const auto indent = static_cast<size_t>(column);
    std::string text;
    for (const CommandOption& option : options) {
        std::string lead = "  " + option.name;
        if (!option.value.empty())
            lead += option.value_optional ? "[=" + option.value + "]" : " " + option.value;
        if (lead.size() >= indent) lead += "\n" + std::string(indent, ' ');
        else lead.resize(indent, ' ');
        for (const std::string& line : option.help) {
            text += lead + line + "\n";
            lead.assign(indent, ' ');
        }
    }
    return text;
}

namespace {
// A whole number from `low` to `high`, and nothing after it.
bool whole_number(const std::string& text, long low, long high, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || n < low || n > high) return false;
    value = n;
    return true;
}

// "WxH" with both at least 64 and at most 16384.
bool parse_size(const std::string& text, int& w, int& h) {
    const auto x = text.find('x');
    long width = 0, height = 0;
    if (x == std::string::npos || !whole_number(text.substr(0, x), 64, 16384, width) ||
        !whole_number(text.substr(x + 1), 64, 16384, height))
        return false;
    w = static_cast<int>(width);
    h = static_cast<int>(height);
    return true;
}

std::function<bool(const std::string&, std::string&)> set(bool& flag, bool to) {
    return [&flag, to](const std::string&, std::string&) { return flag = to, true; };
}
} // namespace

std::vector<CommandOption> machine_option_table(MachineOptions& m) {
    return {
        {.name = "--tape-sound",
         .help = {"a tape playing as a signal is heard, mixed into the sound (the full-screen",
                  "program then keeps the normal pace; without it, it runs as fast as it can",
                  "while the tape plays, silent)"},
         .take = set(m.tape_sound, true)},
        {.name = "--no-tape-trap",
         .help = {"every tape block plays as a signal, also for the ROM's loader (which",
                  "otherwise takes a standard-speed block at once)"},
         .take = set(m.tape_trap, false)},
        {.name = "--ay",
         .help = {"fit the 48K with the AY-3-8912 sound chip of an add-on interface (the",
                  "128K always has it)"},
         .take = set(m.hardware.ay_on_48, true)},
        {.name = "--stereo",
         .value = "MODE",
         .needs = "abc, acb or mono",
         .help = {"the sound chip's channels: abc (A left, B centre, C right; default),",
                  "acb, or mono"},
         .take = [&m](const std::string& v,
                      std::string&) { return parse_stereo(v, m.hardware.stereo); }},
        {.name = "--volume",
         .value = "PERCENT",
         .needs = "a percentage from 0 to 100",
         .help = {"the sound's volume, 0 to 100 (default 100: the beeper and all three",
                  "channels of the chip at full volume together stay short of clipping)"},
         .take = number_into(m.volume, 0, 100)},
        {.name = "--joystick",
         .value = "MAP",
         .needs = "kempston, sinclair or cursor",
         .help = {"how the machine sees the joystick (a gamepad, the arrows and Tab after",
                  "Windows+J, a script's joy_* keys): kempston (port 0x1F; default),",
                  "sinclair (keys 6-0) or cursor (5-8, 0)"},
         .take = [&m](const std::string& v,
                      std::string&) { return parse_joystick_map(v, m.hardware.joystick); }},
        {.name = "--cpu",
         .value = "MODEL",
         .needs = "standard or zilog",
         .help = {"the Z80 the machine runs: standard (the default: bits 3 and 5 of SCF",
                  "and CCF from A, repeating block instructions with the flags of one",
                  "pass) or zilog (the Zilog NMOS Z80 of a real Spectrum, as the hardware",
                  "test programs see it); Windows+Z switches between them while running"},
         .take = [&m](const std::string& v,
                      std::string&) { return cpu_model_named(v, m.cpu_model); }},
        {.name = "--symbols",
         .value = "FILE",
         .needs = "a symbol file",
         .help = {"names for addresses, shown in the disassembly and taken wherever an",
                  "address is: lines NAME EQU VALUE (pasmo's --equ and --public output),",
                  "NAME: EQU VALUE or NAME = VALUE; values decimal, $hex, #hex, 0xhex or",
                  "NNNNh; may be repeated"},
         .take = [&m](const std::string& v,
                      std::string& error) { return m.symbols.load(v, error); }},
        {.name = "--rewind-seconds",
         .value = "N",
         .needs = "a number of seconds from 0 to 600",
         .help = {"how far back the machine can go, with Windows+R or a script's rewind (default",
                  "60; 0: not at all)"},
         .take = number_into(m.rewind_seconds, 0, 600)},
        {.name = "--run-ahead",
         .value = "N",
         .needs = "0, 1 or 2",
         .help = {"show the machine N logical frames ahead of where it stands (0 to 2,",
                  "default 0), worked out anew from it with the newest keys every frame,",
                  "so that a key shows N frames sooner; the sound is the machine's own"},
         .take = number_into(m.run_ahead, 0, Session::MOST_RUN_AHEAD)},
        {.name = "--machine",
         .value = "MODEL",
         .needs = "48, 128 or plus2",
         .help = {"the machine: 48 (the 48K; default), 128 (the 128K) or plus2 (the +2: the",
                  "128K's hardware with its own ROMs); Windows+M switches while running"},
         .take = [&m](const std::string& v, std::string&) { return machine_named(v, m.kind); }},
        {.name = "--rom",
         .value = "FILE",
         .needs = "a file name",
         .help = {"the 48K's ROM image (16384 bytes) instead of the one found"},
         .take = [&m](const std::string& v, std::string&) { return m.roms.rom = v, !v.empty(); }},
        {.name = "--rom0",
         .value = "FILE",
         .needs = "a file name",
         .help = {"with --rom1, the 128K's or +2's two ROM images instead of those found"},
         .take = [&m](const std::string& v, std::string&) { return m.roms.rom0 = v, !v.empty(); }},
        {.name = "--rom1",
         .value = "FILE",
         .needs = "a file name",
         .help = {"the second of them (the one holding the 48K BASIC)"},
         .take = [&m](const std::string& v, std::string&) { return m.roms.rom1 = v, !v.empty(); }},
    };
}

std::string machine_options_usage(int column) {
    MachineOptions unused;
    return options_usage(machine_option_table(unused), column);
}

void MachineOptions::apply(Session& session) const {
    session.tape_sound = tape_sound;
    session.machine.tape_traps = tape_trap ? 1 : 0;
    session.machine.cpu_model = cpu_model;
    session.sound.mix.set_volume(volume);
    session.apply_hardware_options(hardware);
    session.symbols = symbols;
    if (session.rewind_ring.limit_seconds() != rewind_seconds)
        session.rewind_ring = RewindRing(rewind_seconds);
    session.run_ahead_frames = run_ahead;
    session.machine_kind = session.machine_chosen = kind;
    session.given_roms = roms;
}

namespace {
const char* const USAGE_HEAD = R"(usage: marrowgleam [options] [FILE]

The Marrowgleam ZX Spectrum emulator, full screen. FILE, if given, is loaded at the start:
a snapshot ending in SNA, Z80 or SZX, or a tape image ending in TAP or TZX (any case).
The choices it remembers are read from $XDG_CONFIG_HOME/marrowgleam/marrowgleam.conf
(else ~/.config/marrowgleam/marrowgleam.conf) and written there when a key changes one;
an option given here wins for this run and is not written back. The ROM sets each machine
would use are listed at the end.

options:
)";
const char* const USAGE_TAIL = R"(
Keys: F1-F12, Escape, Home, keypad and Windows+keys as the README's key table lists them.
)";

std::vector<CommandOption> program_option_table(ProgramOptions& o) {
    std::vector<CommandOption> table = {
        {.name = "--window",
         .value = "WxH",
         .needs = "a size WIDTHxHEIGHT, e.g. 800x600 (64 to 16384)",
         .value_optional = true,
         .help = {"run in a resizable window (800x600 unless given, e.g. --window=1024x768);",
                  "Alt+Enter switches between window and full screen at any time"},
         .take =
             [&o](const std::string& v, std::string&) {
                 o.window = true;
                 return v.empty() || parse_size(v, o.window_w, o.window_h);
             }},
        {.name = "--full-screen",
         .help = {"start full screen, also when the settings remember a window"},
         .take = set(o.window, false)},
        {.name = "--type-chars",
         .help = {"typing by character: a PC character that the Spectrum types with",
                  "SYMBOL SHIFT (\" : ; + - = < > ( ) * / , . ? $ _ ! @ # % & ' ^) presses",
                  "that combination (Windows+T switches it at any time)"},
         .take = set(o.type_chars, true)},
        {.name = "--exact-border",
         .help = {"draw the border from every change of its colour, where the beam was",
                  "(Windows+B switches it at any time)"},
         .take = set(o.exact_border, true)},
        {.name = "--snapshot-format",
         .value = "sna|z80|szx",
         .needs = "sna, z80 or szx",
         .help = {"the format Windows+S saves snapshots in (default szx); they go to",
                  "$XDG_DATA_HOME/marrowgleam, else ~/.local/share/marrowgleam"},
         .take = [&o](const std::string& v,
                      std::string&) { return snapshot_format_of("x." + v, o.snapshot_format); }},
    };
    for (CommandOption& option : machine_option_table(o.machine)) table.push_back(option);
    table.push_back({.name = "--no-config",
                     .help = {"neither read nor write the settings file: the defaults and the",
                              "options given"},
                     .take = set(o.no_config, true)});
    table.push_back({.name = "--help", .help = {"show this text"}, .take = set(o.help, true)});
    return table;
}
} // namespace

std::string program_usage() {
    ProgramOptions unused;
    return USAGE_HEAD + options_usage(program_option_table(unused), USAGE_COLUMN) + USAGE_TAIL;
}

std::function<bool(const std::string&, std::string&)> one_file(std::string& file) {
    return [&file](const std::string& word, std::string& why) {
        if (!file.empty()) {
            why = "only one file can be loaded (see --help)";
            return false;
        }
        file = word;
        return true;
    };
}

bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error) {
    return parse_command_line(argc, argv, program_option_table(options), one_file(options.file),
                              error);
}

ProgramOptions options_from_settings(const Settings& settings) {
    ProgramOptions o;
    o.remembered = settings;
    o.window = settings.windowed;
    o.window_w = settings.window_w;
    o.window_h = settings.window_h;
    o.type_chars = settings.type_chars;
    o.exact_border = settings.exact_border;
    o.snapshot_format = settings.snapshot_format;
    o.machine.cpu_model = settings.cpu_model;
    o.machine.kind = static_cast<MachineKind>(settings.machine);
    o.machine.volume = settings.volume;
    o.machine.hardware.stereo = settings.stereo;
    o.machine.hardware.joystick = static_cast<Session::JoystickMap>(settings.joystick_map);
    return o;
}

bool read_program_options(int argc, const char* const* argv, ProgramOptions& options,
                          std::string& error) {
    // The command line once on its own: a fault in it is told before anything is read, and
    // it says whether the file is wanted at all.
    ProgramOptions given;
    if (!parse_program_options(argc, argv, given, error)) return false;
    const std::string path = given.no_config || given.help ? std::string() : settings_path();
    if (path.empty()) {
        options = given;
        return true;
    }
    Settings settings;
    std::vector<std::string> problems;
    read_settings_file(path, settings, problems);
    options = options_from_settings(settings);
    options.settings_file = path;
    options.in_file = settings;
    options.settings_problems = problems;
    for (const std::string& problem : problems)
        std::fprintf(stderr, "marrowgleam: %s: %s (ignored)\n", path.c_str(), problem.c_str());
    return parse_program_options(argc, argv, options, error);
}

void ProgramOptions::apply(Session& session) const {
    session.keyboard.type_chars = type_chars;
    session.machine.exact_border = exact_border;
    session.files.snapshot_format = snapshot_format;
    session.view.graticule = remembered.grille ? 1 : 0;
    session.view.screen_mode = remembered.colour_mode;
    session.keyboard.joystick_keys = remembered.joystick_keys;
    set_fit_mode(session.view, remembered.fit_mode);
    session.text.overlay = remembered.text_layer;
    machine.apply(session);
}

Settings settings_of(const Session& session, const ProgramOptions& options) {
    Settings s = options.remembered;
    s.fit_mode = session.view.fit_mode;
    s.colour_mode = session.view.screen_mode;
    s.grille = session.view.graticule != 0;
    s.text_layer = session.chosen_text_layer();
    s.cpu_model = session.machine.cpu_model;
    s.machine = static_cast<MachineSetting>(session.machine_chosen);
    s.joystick_map = static_cast<int>(session.keyboard.joystick_map);
    s.joystick_keys = session.keyboard.joystick_keys;
    s.stereo = options.machine.hardware.stereo;
    s.volume = options.machine.volume;
    s.windowed = session.view.windowed;
    if (options.window_w > 0) {
        s.window_w = options.window_w;
        s.window_h = options.window_h;
    }
    s.type_chars = session.keyboard.type_chars;
    s.exact_border = session.machine.exact_border != 0;
    s.snapshot_format = session.files.snapshot_format;
    return s;
}

bool SettingsKeeper::notice(const Settings& now, std::string& why) {
    if (now == seen_) return true;
    file_ = with_changes(file_, seen_, now);
    seen_ = now;
    return write_settings_file(path_, file_, why);
}

void keep_settings(Session& session, const ProgramOptions& options) {
    if (!options.settings_problems.empty())
        session.after_title_message =
            message_with_reason(" SETTINGS FILE DAMAGED: ", options.settings_problems[0]);
    if (options.settings_file.empty()) return;
    auto keeper = std::make_shared<SettingsKeeper>(options.settings_file, options.in_file,
                                                   settings_of(session, options));
    session.after_control_keys = [keeper, &session, &options] {
        std::string why;
        if (keeper->notice(settings_of(session, options), why)) return;
        std::fprintf(stderr, "marrowgleam: settings not saved in %s: %s\n",
                     options.settings_file.c_str(), why.c_str());
        session.text.TXTINK = 0x1C;
        session.text.post_message(message_with_reason(" SETTINGS NOT SAVED: ", why).c_str());
    };
}

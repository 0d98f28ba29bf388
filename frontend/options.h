// The command lines of both programs: one parser over a table of options, one --help style.
#pragma once

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "formats/snapshots.h"
#include "frontend/session.h"
#include "frontend/settings.h"

// One option of a command line. Every option that takes a value takes it as the next word
// (`--frames 100`) or after '=' (`--frames=100`); one whose value is optional takes it only
// after '=' (`--window` or `--window=1024x768`), so that a file name after it stays a file.
struct CommandOption {
    std::string name{};              // "--frames"
    std::string value{};             // the value's name in --help ("N"); empty for a flag
    std::string needs{};             // what a value must be: "--frames needs a number"
    bool value_optional = false;     // a value only after '='
    std::vector<std::string> help{}; // the description, a line each
    // Takes the value ("" for a flag, or an optional value not given). False when it is
    // refused; `error` then says why, or, left empty, becomes "NAME needs NEEDS".
    std::function<bool(const std::string& value, std::string& error)> take{};
};

// Reads argv[1..argc-1] against `options`: every word that is not an option is given to
// `operand` (a lone "-" is one, and after "--" every word is). False with a line for the
// user in `error`: an unknown option, a value missing or refused, a value given to a flag.
bool parse_command_line(int argc, const char* const* argv,
                        const std::vector<CommandOption>& options,
                        const std::function<bool(const std::string&, std::string&)>& operand,
                        std::string& error);

// The taker of a whole decimal number from `low` to `high` (nothing after it) into `target`.
template <class T>
std::function<bool(const std::string&, std::string&)> number_into(T& target, long low,
                                                                  long high = LONG_MAX) {
    return [&target, low, high](const std::string& text, std::string&) {
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || value < low || value > high) return false;
        target = static_cast<T>(value);
        return true;
    };
}

// The operand of a program that loads one file: the first word goes into `file`, a second
// is refused ("only one file can be loaded").
std::function<bool(const std::string&, std::string&)> one_file(std::string& file);

// The options as --help lists them: "  --name VALUE" and the description at `column`; a
// name too long for its column stands on a line of its own.
std::string options_usage(const std::vector<CommandOption>& options, int column);

// The column every --help's descriptions start at.
constexpr int USAGE_COLUMN = 20;

// The machine's options, which the full-screen program and the runner both take: the sound
// chip, stereo, volume, joystick, CPU model and how tapes play.
struct MachineOptions {
    bool tape_sound = false;           // a tape playing as a signal is heard (normal pace)
    bool tape_trap = true;             // the ROM's loader takes standard blocks at once
    Session::HardwareOptions hardware; // sound chip, stereo, joystick
    CpuModel cpu_model = CpuModel::standard;
    int volume = 100;                                 // percent of the sound's full scale
    Symbols symbols;                                  // --symbols
    int rewind_seconds = RewindRing::DEFAULT_SECONDS; // 0: no rewind
    int run_ahead = 0;                                // frames the picture runs ahead
    MachineKind kind = MachineKind::m48;
    GivenRoms roms; // --rom, --rom0, --rom1

    // The settings of the session; the machine and its ROM files too, which the session's
    // load_data_files then powers on.
    void apply(Session& session) const;
};

// The machine's options as table entries that write into `target`.
std::vector<CommandOption> machine_option_table(MachineOptions& target);

// The machine's options as --help lists them, each description starting at `column`.
std::string machine_options_usage(int column);

struct ProgramOptions {
    std::string file;    // a snapshot or tape image to load, or empty
    bool window = false; // a resizable window instead of full screen
    int window_w = 0;    // its size, 0 x 0 for the default
    int window_h = 0;
    bool type_chars = false;   // typing by character from the start
    bool exact_border = false; // the border drawn from every change of its colour
    bool help = false;         // --help: print program_usage() and end
    bool no_config = false;    // --no-config: the settings file is neither read nor written
    SnapshotFormat snapshot_format = SnapshotFormat::SZX; // what Windows+S saves
    MachineOptions machine;
    // Remembered choices that have no option of their own (the grille, the colour mode, the
    // joystick keys): what the settings file said, else the defaults.
    Settings remembered;
    // The settings file ("" with --no-config) and what it held (the defaults when absent).
    std::string settings_file;
    Settings in_file;
    // What was wrong with the settings file, a line each (see read_settings_file).
    std::vector<std::string> settings_problems;

    // Puts the options that are settings of the session (not the file, window or help).
    void apply(Session& session) const;
};

// --help: the usage with every option.
std::string program_usage();

// Reads argv[1..argc-1] over what `options` holds; false with a line for the user in
// `error` on a fault.
bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error);

// The full-screen program's start: the settings file (unless --no-config or --help), then
// the command line over it, so an option given wins for this run. A damaged settings file is
// reported on standard error and in `settings_problems`, never a fault; false only for a
// fault in the command line.
bool read_program_options(int argc, const char* const* argv, ProgramOptions& options,
                          std::string& error);

// The options a settings record stands for, before any command line.
ProgramOptions options_from_settings(const Settings& settings);

// The session's choices as a settings record, to be written when one changes. `options`
// gives what the session does not hold itself (the window's size).
Settings settings_of(const Session& session, const ProgramOptions& options);

// Keeps the settings file up to date with the session's choices: at each call, the choices
// that changed since the last call are written over what the file held. A choice an option
// made for this run (which the file does not hold) thus stays out of the file until a key
// changes it. Nothing is written while nothing changes.
class SettingsKeeper {
  public:
    SettingsKeeper(std::string path, const Settings& in_file, const Settings& now)
        : path_(std::move(path)), file_(in_file), seen_(now) {}
    // False with the reason in `why` when a change could not be written (it is not tried
    // again until the next change).
    bool notice(const Settings& now, std::string& why);
    const Settings& in_file() const { return file_; }

  private:
    std::string path_;
    Settings file_, seen_;
};

// Hooks a SettingsKeeper for the file of `options` to the session's frames (unless
// --no-config or no file place), and sets the damaged file's message for row 23. `options`
// must outlive the session's run.
void keep_settings(Session& session, const ProgramOptions& options);

// The full-screen program's command line: [options] [FILE].
#pragma once

#include <string>

#include "formats/snapshots.h"
#include "frontend/session.h"

// The machine's options, which the full-screen program and the runner both take: the sound
// chip, stereo, volume, joystick, CPU model and how tapes play.
struct MachineOptions {
    bool tape_sound = false;           // a tape playing as a signal is heard (normal pace)
    bool tape_trap = true;             // the ROM's loader takes standard blocks at once
    Session::HardwareOptions hardware; // sound chip, stereo, joystick
    CpuModel cpu_model = CpuModel::standard;
    int volume = 100; // percent of the sound's full scale

    void apply(Session& session) const;
};

// Takes argv[i], and its value after it (moving i on), when it is one of the machine's
// options: 1 taken, 0 not one of them, -1 a fault told in `error` ("--stereo needs abc,
// acb or mono").
int parse_machine_option(int argc, const char* const* argv, int& i, MachineOptions& options,
                         std::string& error);

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
    SnapshotFormat snapshot_format = SnapshotFormat::SZX; // what Windows+S saves
    MachineOptions machine;

    // Puts the options that are settings of the session (not the file, window or help).
    void apply(Session& session) const;
};

// --help: the usage with every option.
std::string program_usage();

// Reads argv[1..argc-1]; false with a line for the user in `error` on a fault.
bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error);

// The full-screen program's command line: [options] [FILE].
#pragma once

#include <string>

#include "formats/snapshots.h"
#include "frontend/session.h"

struct ProgramOptions {
    std::string file;    // a snapshot or tape image to load, or empty
    bool window = false; // a resizable window instead of full screen
    int window_w = 0;    // its size, 0 x 0 for the default
    int window_h = 0;
    bool type_chars = false;   // typing by character from the start
    bool exact_border = false; // the border drawn from every change of its colour
    bool help = false;         // --help: print PROGRAM_USAGE and end
    SnapshotFormat snapshot_format = SnapshotFormat::SZX; // what Windows+S saves
    bool tape_sound = false;                              // a playing tape heard, normal pace
    bool tape_trap = true;                                // the ROM's loader takes blocks at once
    Session::HardwareOptions hardware;                    // sound chip, stereo, joystick
    CpuModel cpu_model = CpuModel::standard;

    // Puts the options that are settings of the session (not the file, window or help).
    void apply(Session& session) const;
};

extern const char* const PROGRAM_USAGE;

// Reads argv[1..argc-1]; false with a line for the user in `error` on a fault.
bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error);

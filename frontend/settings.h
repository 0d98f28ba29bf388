// The choices a user expects kept between runs, and the file they are kept in:
// $XDG_CONFIG_HOME/marrowgleam/marrowgleam.conf (else ~/.config/marrowgleam/...), lines of
// "key = value", '#' starting a comment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/snapshots.h"
#include "spectrum/ay.h"
#include "z80/model.h"

enum class MachineSetting : uint8_t { ZX48, ZX128, PLUS2 };

// Each field as the session holds it where it has one (the fit, colour and text layer as
// the session's numbers, the joystick map in the session's order).
struct Settings {
    int fit_mode = 1;    // 0 FIT, 1 FILL, 2 GAME, 3 FULL
    int colour_mode = 0; // 0 colour, 1 MELBOURNE, 2 INVERSE INK
    bool grille = true;  // the aperture grille
    int text_layer = 0;  // 0 hidden, 1 over the picture, 2 alone
    CpuModel cpu_model = CpuModel::standard;
    MachineSetting machine = MachineSetting::ZX48;
    int joystick_map = 0;       // 0 Kempston, 1 Sinclair, 2 cursor
    bool joystick_keys = false; // the arrows and Tab are the joystick
    AyStereo stereo = AyStereo::ABC;
    int volume = 100; // percent
    bool windowed = false;
    int window_w = 800, window_h = 600;
    bool type_chars = false;
    bool exact_border = false;
    SnapshotFormat snapshot_format = SnapshotFormat::SZX;

    bool operator==(const Settings&) const = default;
};

// The file's text for `settings`: every key, each under a comment naming its values.
std::string settings_text(const Settings& settings);

// Reads `text` over `settings`: each sound line sets its key, in order (a later line wins).
// A line that cannot be taken (no '=', an unknown key, a value out of its range) changes
// nothing and adds a line for the user to `problems` ("line 3: unknown key \"zoom\"").
void parse_settings(const std::string& text, Settings& settings,
                    std::vector<std::string>& problems);

// `file` with every choice that differs between `before` and `now` taken from `now`.
Settings with_changes(Settings file, const Settings& before, const Settings& now);

// $XDG_CONFIG_HOME/marrowgleam/marrowgleam.conf when that variable holds an absolute path,
// else $HOME/.config/marrowgleam/marrowgleam.conf; "" when neither is set.
std::string settings_path();

// Reads the file at `path` over `settings`. A file that is not there is no fault (nothing
// remembered yet); one that cannot be read, is not a regular file or is too large to be a
// settings file adds its reason to `problems` and changes nothing.
void read_settings_file(const std::string& path, Settings& settings,
                        std::vector<std::string>& problems);

// Writes `settings` to `path` (its directory made when missing) through a temporary file
// renamed over the old one, so that the file is never seen half-written. False with the
// reason in `why` when it could not be written; the old file is then as it was.
bool write_settings_file(const std::string& path, const Settings& settings, std::string& why);

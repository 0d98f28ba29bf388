// The user's files: the data files and channels beside the executable, the user's data
// directory (snapshots, tape saves, channels the executable's directory cannot take),
// screenshots, and the TAP file the ROM's SAVE appends to. Each action says on row 23 of
// the text layer what it did.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "formats/snapshots.h"

class Spectrum;
class TextLayer;

class UserFiles {
  public:
    // The executable's directory as an absolute path with its trailing '/', fixed at start:
    // data and channel files. The working directory is never changed.
    std::string application_path;

    // Channels 0 to 9: the whole machine state in "CH<n>", beside the executable while its
    // directory is writable, else in the user's data directory (user_data_dir()). Saving
    // never destroys the previous save; a file that is not a channel is not loaded. Both say
    // so on row 23, and name the data directory when they use it.
    std::string channel_dir() const;       // with its trailing '/'
    std::string channel_name(int n) const; // channel_dir() + "CH" + n
    void save_channel(int n, const Spectrum& machine, TextLayer& text);
    void load_channel(int n, Spectrum& machine, TextLayer& text);
    // Whether the program may create files in a directory; access(W_OK) unless a test puts
    // its own answer here.
    std::function<bool(const std::string&)> directory_writable;

    // Windows+S: the running machine as a new snapshot, named by the date and time, in the
    // user's data directory, in `snapshot_format`. Row 23 names the file, or says it failed.
    SnapshotFormat snapshot_format = SnapshotFormat::SZX;
    void save_snapshot(const Spectrum& machine, TextLayer& text);
    // The file save_snapshot() writes at `when`: "YYYYMMDD-HHMMSS.ext" in `directory`,
    // with "-2", "-3", ... before the extension while a file of that name exists.
    std::string new_snapshot_name(const std::string& directory, const std::tm& when) const;

    // Windows+P: `picture` (a picture surface) as PNG, into pictures_directory() under a name
    // with the date and time, shown on row 23. The path written, or empty on a failure.
    std::string save_screenshot(const uint8_t* picture, TextLayer& text);

    // The attached tape's file when it is a TAP image; SAVE appends to it. Otherwise the
    // first SAVE makes a new file in the data directory, and later ones append there.
    std::string save_tape_path;
    // Whether save_tape_path is the attached tape itself: the deck then gets the saved
    // blocks too, after the ones it holds, as a recorder would have them on the tape.
    bool saves_to_deck = false;
    // The length save_tape_path had when it was attached or last written, -1 when not known
    // (its length then is taken as it finds it): an append to a file of another length is
    // refused.
    int64_t save_tape_length = -1;
    // The last SAVE that failed, in words ("tape.tap: No space left on device"), for a host
    // that reports it; the host clears it.
    std::string tape_save_failure;
    // A file `path` has been loaded: a TAP image becomes the file SAVE appends to.
    void file_loaded(const std::string& path);
    // Appends the blocks the machine saved to the save file (made when there is none, or
    // when the one there is read-only), with a message.
    void write_saved_blocks(Spectrum& machine, TextLayer& text);
    // Writes `bytes` to a new file in the data directory; its path, or "" with `why`.
    std::string new_tape_file(const std::vector<uint8_t>& bytes, std::string& why);
    // " SAVE FAILED " on row 23, and why for the host.
    void tape_save_failed(const std::string& path, const std::string& why, TextLayer& text);
};

// The user's data directory with its trailing '/': $XDG_DATA_HOME/marrowgleam/ when that
// variable holds an absolute path, else $HOME/.local/share/marrowgleam/; "" when neither is
// set. It is created (with its parents) when missing.
std::string user_data_dir();

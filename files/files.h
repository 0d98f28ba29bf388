// Files: program loading, tape traps, channels, the file requester.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// The one file handle that loaders hold open: after a tape load, the tape image,
// positioned at the start of the next unread block.
extern std::FILE* f;

// The executable's directory with its trailing '/', or empty; data files are found there.
extern std::string application_path;

// The directory part of `path` up to and including its last '/', or "" when it has none.
std::string getpath(const std::string& path);

// The last three characters of `name`, upper-cased; empty when it has 3 characters or fewer.
std::string getext(const std::string& name);

// Loads a snapshot ("SNA") or attaches a tape image ("TAP"); any other name only resets.
// Returns false, changing nothing, when the file cannot be opened or a snapshot is too
// short to hold what its size class needs; `why` (if given) then says why, or is empty
// when the file could not be opened.
bool load_speccy(const std::string& path, std::string* why = nullptr);

// Loads the file named on the command line. When it cannot be loaded, prints one line
// naming the file on standard error ("Cannot load file NAME" when it cannot be opened) and
// returns false: the program then ends with status 1.
bool load_command_line_file(const std::string& path);

// Channels 0 to 9: the whole machine state in "CH<n>" beside the executable.
constexpr size_t CHANNEL_FILE_SIZE = 131158;
std::string channel_name(int n); // application_path + "CH" + n
// Saving never destroys the previous save of the channel; a file that is not a channel
// (wrong size, counters out of range) is not loaded. Both say so on row 23.
void save_channel(int n);
void load_channel(int n);

// The file requester: F10 toggles it; one frame of it per display refresh.
extern int DIRCUR; // the cursor's index in the listing
extern int DIROFF; // the index of the entry on the first list row
void do_file_requester();
void handle_file_requester();

void files_defaults();

// The file requester's page: the directory it shows (by its full path), the entries read
// from it, the cursor, and the note a directory that cannot be read leaves on row 23.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

class Keyboard;
class TextLayer;

struct ListedEntry {
    std::string name; // the bare name, within the listed directory
    bool directory;
};

class Requester {
  public:
    int DIRCUR = 0; // the cursor's index in the listing
    int DIROFF = 0; // the index of the entry on the first list row
    // The directory the requester shows, by its full path; the working directory when the
    // requester first opens.
    std::filesystem::path directory;
    // The listed entries of `directory`, read when the page opens or a directory is
    // entered (never every frame).
    std::vector<ListedEntry> entries;
    // Display frames the note on row 23 (a directory that could not be read) stays up.
    int note_frames = 0;

    // Reads `dir` and makes it the one shown. When it cannot be read, the page stays
    // where it was and row 23 of `text` says why ("CANNOT READ: Permission denied"); false.
    bool read(const std::filesystem::path& dir, TextLayer& text);
    // The page's opening: the title, and the listing read afresh.
    void open(TextLayer& text);
    // Draws the path, the entries from DIROFF on and the cursor.
    void draw(TextLayer& text);
    // The navigation keys of one frame (Home, End, Page Up, Page Down, Up, Down) on DIRCUR
    // and DIROFF for a listing of k entries. Keeps 0 <= DIRCUR - DIROFF <= 19.
    void navigate(int k, const Keyboard& keyboard);
};

// True when the requester lists this entry: a directory, or a name whose type is "SNA",
// "TAP", "TZX", "Z80" or "SZX". A name of 4 characters or fewer has no type (".sna" is not
// listed); no dot is needed ("gamesna" is a snapshot).
bool requester_lists(const std::string& name, bool directory);

// The listed entries of `directory`: ".." (the parent, but at the root), then the
// directories, then the files, each sorted by name regardless of case ("." left out).
// Empty when the directory cannot be read.
std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory);
// The same, with the reason in `ec` when the directory cannot be read.
std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory,
                                           std::error_code& ec);

// The file requester's listing and cursor logic, apart from its drawing.
#pragma once

#include <string>
#include <vector>

struct ListedEntry {
    std::string name; // the bare name, relative to the current directory
    bool directory;
};

// True when the requester lists this entry: a directory, or a name whose type is "SNA" or
// "TAP". A name of 4 characters or fewer has no type (".sna" is not listed); no dot is
// needed ("gamesna" is a snapshot).
bool requester_lists(const std::string& name, bool directory);

// The current directory's listed entries in the order the file system enumerates them
// (unsorted, directories and files mixed, "." and ".." left out). Empty when the directory
// cannot be read.
std::vector<ListedEntry> requester_listing();

// The navigation keys of one frame (Home, End, Page Up, Page Down, Up, Down) on DIRCUR and
// DIROFF for a listing of k entries. Keeps 0 <= DIRCUR - DIROFF <= 19.
void requester_navigate(int k);

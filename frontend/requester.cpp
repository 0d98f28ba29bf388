// The file requester: a full-screen text page listing a directory, on which the user walks
// the host's directories and picks a snapshot or tape image. It runs one frame per display
// refresh while the CPU stands still, each frame a pass of the main loop. It reads a
// directory once, when the page opens or the directory is entered, and keeps the listing.
// It keeps the directory it shows as a full path and never changes the process's working
// directory.
//
// Layout (colour bytes: high nibble paper, 0 transparent; low nibble ink):
//   rows 0-1    the title, double height, 175 (bright white on bright red)
//   rows 2-3    the current directory, characters 0-39 and 40-79, 14 (bright yellow)
//   rows 4-23   up to 20 entries from DIROFF on, column 1, cut to 38 characters;
//               13 (bright cyan) for a directory, 15 (bright white) for a file
//   column 0    the cursor, glyph 2, 12 (bright green), on row 4 + DIRCUR - DIROFF
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>

#include "formats/formats.h"
#include "frontend/keys.h"
#include "frontend/keyboard.h"
#include "frontend/requester.h"
#include "frontend/session.h"
#include "frontend/text_layer.h"

namespace {
constexpr int LIST_ROWS = 20;
constexpr int FIRST_LIST_ROW = 4;
constexpr int NAME_WIDTH = 38;
constexpr uint8_t CURSOR_GLYPH = 2;
constexpr uint8_t TITLE_INK = 175;
constexpr uint8_t PATH_INK = 14;
constexpr uint8_t DIRECTORY_INK = 13;
constexpr uint8_t FILE_INK = 15;
constexpr uint8_t CURSOR_INK = 12;
constexpr uint8_t MESSAGE_INK = 0x1C;

// Double height on, the 40 columns, double height off (its argument, then the end).
constexpr char TITLE[] = "\x11\x01"
                         "                FILE I/O                "
                         "\x11\x00";

int at_least_0(int n) { return n < 0 ? 0 : n; }

// Names and paths are drawn glyph by glyph: a byte of a file name that looks like a control
// code of TXTSTR is drawn, not obeyed.
void draw_requester_text(TextLayer& layer, int column, int row, const std::string& text,
                         uint8_t colour) {
    for (const char c : text) layer.TXTPUT(static_cast<uint8_t>(c), column++, row, colour, 0);
}
} // namespace

// Return on the entry under the cursor as drawn this frame.
void Session::choose(const std::filesystem::path& selection, bool directory) {
    if (directory) {
        // As the kernel names it, so that Left leads to the parent it has.
        std::error_code ec;
        std::filesystem::path entered = std::filesystem::canonical(selection, ec);
        if (ec) entered = selection;
        if (requester.read(entered, text)) requester.DIRCUR = requester.DIROFF = 0;
        return;
    }
    std::string why;
    const bool loaded = load_file(selection.string(), &why);
    do_file_requester();
    if (!loaded) {
        // The machine runs on as it was; the message says why nothing happened.
        text.TXTINK = MESSAGE_INK;
        text.post_message(message_with_reason(" CANNOT LOAD: ", why).c_str());
    }
}

bool Requester::read(const std::filesystem::path& dir, TextLayer& text) {
    std::error_code ec;
    std::vector<ListedEntry> listing = requester_listing(dir, ec);
    if (ec) {
        // The page stays where it was; row 23 says why for a while.
        const std::string note = message_with_reason(" CANNOT READ: ", ec.message());
        text.TXTCLSLN(MESSAGE_ROW, 1);
        draw_requester_text(text, 0, MESSAGE_ROW, note, MESSAGE_INK);
        note_frames = MESSAGE_FRAMES;
        return false;
    }
    directory = dir;
    entries = std::move(listing);
    return true;
}

bool requester_lists(const std::string& name, bool directory) {
    if (directory) return true;
    const std::string type = name.size() <= 4 ? "   " : getext(name);
    return type == "SNA" || type == "TAP" || type == "TZX" || type == "Z80" || type == "SZX";
}

namespace {
std::string folded(const std::string& name) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}
} // namespace

std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory,
                                           std::error_code& ec) {
    std::vector<ListedEntry> listing;
    ec.clear();
    std::filesystem::directory_iterator it(directory, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code status_ec;
        const bool is_directory = it->is_directory(status_ec); // follows symbolic links
        std::string name = it->path().filename().string();
        if (requester_lists(name, is_directory)) listing.push_back({std::move(name), is_directory});
    }
    if (ec) return {};
    // Directories, then files, each by name whatever its case (names that differ only in
    // case by their bytes, so that the order never depends on the file system's).
    std::sort(listing.begin(), listing.end(), [](const ListedEntry& a, const ListedEntry& b) {
        if (a.directory != b.directory) return a.directory;
        const std::string fa = folded(a.name), fb = folded(b.name);
        return fa != fb ? fa < fb : a.name < b.name;
    });
    // The parent first, where there is one (the root has none).
    if (directory.has_relative_path()) listing.insert(listing.begin(), {"..", true});
    return listing;
}

std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory) {
    std::error_code ec;
    std::vector<ListedEntry> listing = requester_listing(directory, ec);
    if (ec) listing.clear();
    return listing;
}

void Requester::navigate(int k, const Keyboard& keyboard) {
    auto key_pressed = [&keyboard](int key) { return keyboard.key_pressed(key); };
    if (key_pressed(key::HOME)) DIRCUR = DIROFF = 0;
    if (key_pressed(key::END)) {
        DIRCUR = at_least_0(k - 1);
        DIROFF = at_least_0(k - 21);
    }
    if (key_pressed(key::PAGEUP)) {
        DIRCUR = at_least_0(DIRCUR - LIST_ROWS);
        DIROFF = at_least_0(DIROFF - LIST_ROWS);
    }
    if (key_pressed(key::PAGEDOWN)) {
        DIRCUR = at_least_0(std::min(DIRCUR + LIST_ROWS, k - 1));
        DIROFF = at_least_0(std::min(DIROFF + LIST_ROWS, k - 21));
    }
    if (key_pressed(key::UP) && DIRCUR != 0) DIRCUR--;
    if (DIRCUR - DIROFF < 0) DIROFF--;
    if (key_pressed(key::DOWN) && DIRCUR < k - 1) DIRCUR++;
    if (DIRCUR - DIROFF > LIST_ROWS - 1) DIROFF++;
}

void Requester::open(TextLayer& text) {
    std::error_code ec;
    if (directory.empty()) directory = std::filesystem::current_path(ec);
    note_frames = 0;
    text.TXTCLS();
    text.TXTINK = TITLE_INK;
    text.TXTSTR(0, 0, TITLE);
    // The listing is read here and when a directory is entered, not every frame:
    // closing and opening the page again reads it afresh.
    if (!read(directory, text)) entries.clear();
}

void Session::do_file_requester() {
    file_requester_mode = file_requester_mode ? 0 : 1;
    if (file_requester_mode) {
        still_frame_old = still_frame;
        still_frame = 1;
        text.overlay_timeout = 0;
        text.overlay_old = text.overlay;
        text.overlay = 2; // the page alone, opaque
        requester.open(text);
    } else {
        still_frame = still_frame_old;
        text.overlay = text.overlay_old;
        text.overlay_timeout = 0;
        text.TXTCLS();
        // The key that closed the page must not reach the machine or the control keys: it
        // counts as up until it is released.
        for (const int k : {key::RETURN, key::F10}) keyboard.swallow(k);
        keyboard.update_key_rows(machine);
    }
}

void Requester::draw(TextLayer& text) {
    // A note on row 23 stays there for a while; the list gives up its last row meanwhile.
    const int rows = note_frames > 0 ? LIST_ROWS - 1 : LIST_ROWS;
    if (note_frames > 0) note_frames--;
    text.TXTCLSLN(FIRST_LIST_ROW, rows);
    const int k = static_cast<int>(entries.size());

    // The directory, characters 0-39 and 40-79.
    const std::string path = directory.string();
    text.TXTINK = PATH_INK;
    text.TXTCLSLN(2, 2);
    draw_requester_text(text, 0, 2, path.substr(0, std::min<size_t>(path.size(), 40)), text.TXTINK);
    if (path.size() > 40) draw_requester_text(text, 0, 3, path.substr(40, 40), text.TXTINK);
    // The entries from DIROFF on, and the cursor.
    for (int row = 0; row < rows && DIROFF + row < k; row++) {
        const ListedEntry& entry = entries[DIROFF + row];
        draw_requester_text(text, 1, FIRST_LIST_ROW + row,
                            entry.name.substr(0, std::min<size_t>(entry.name.size(), NAME_WIDTH)),
                            entry.directory ? DIRECTORY_INK : FILE_INK);
    }
    text.TXTINK = CURSOR_INK;
    const int cursor_row = FIRST_LIST_ROW + DIRCUR - DIROFF;
    if (cursor_row >= FIRST_LIST_ROW && cursor_row < FIRST_LIST_ROW + rows)
        text.TXTPUT(CURSOR_GLYPH, 0, cursor_row, text.TXTINK, 0);
}

void Session::handle_file_requester() {
    if (keyboard.key_pressed(key::ESCAPE)) {
        exit_request = 1;
        return;
    }
    const std::filesystem::path directory = requester.directory;
    const int k = static_cast<int>(requester.entries.size());
    const int cursor = requester.DIRCUR;
    // Held by its full path: a Left in the same frame must not change what Return means.
    std::filesystem::path selection;
    bool selection_is_directory = false;
    if (cursor >= 0 && cursor < k) {
        selection = directory / requester.entries[cursor].name;
        selection_is_directory = requester.entries[cursor].directory;
    }
    requester.draw(text);

    requester.navigate(k, keyboard);
    if (keyboard.key_pressed(key::LEFT)) {
        // Up to the parent; the root is its own parent.
        std::filesystem::path parent = directory.parent_path();
        if (parent.empty()) parent = directory;
        if (requester.read(parent, text)) requester.DIRCUR = requester.DIROFF = 0;
    }
    if (keyboard.key_pressed(key::F10)) {
        do_file_requester();
        return;
    }
    if (keyboard.key_pressed(key::RETURN) && !selection.empty())
        choose(selection, selection_is_directory);
}

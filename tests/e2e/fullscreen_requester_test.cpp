// The file requester in the real program: F10 opens its page on the program's current
// directory, the cursor walks the listing, Return on a tape image attaches it, and the
// program on that tape runs when LOAD "" is typed.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/e2e/fullscreen_fixture.h"
#include "tests/support/support.h"

namespace fullscreen {
namespace {
namespace fs = std::filesystem;

// The text layer's bright colours. The grille halves a lit channel in every other column,
// which still leaves it above 100.
bool bright_red(Rgb p) { return p.r > 100 && p.g < 50 && p.b < 50; }
bool bright_green(Rgb p) { return p.g > 100 && p.r < 50 && p.b < 50; }
bool bright_cyan(Rgb p) { return p.g > 100 && p.b > 100 && p.r < 50; }
bool bright_white(Rgb p) { return std::min({p.r, p.g, p.b}) > 100; }

// The tape program's border, non-bright green, as a mean over both columns of the grille.
bool green_border(Rgb m) { return m.g > 90 && m.r < 40 && m.b < 40; }

struct Entry {
    std::string name;
    bool directory;
};

// The page's title band: rows 0 and 1 are bright red paper but for the letters of FILE I/O.
bool title_band(const Image& s, const ScreenMap& map) {
    return share(s, map.cells(0, 39, 0), bright_red) > 0.6 &&
           share(s, map.cells(0, 39, 1), bright_red) > 0.6;
}

bool no_title_band(const Image& s, const ScreenMap& map) {
    return share(s, map.cells(0, 39, 0), bright_red) < 0.01 &&
           share(s, map.cells(0, 39, 1), bright_red) < 0.01;
}

// The text rows with the cursor's bright green mark in column 0.
std::vector<int> marked_rows(const Image& s, const ScreenMap& map) {
    std::vector<int> rows;
    for (int row = 0; row < 24; row++)
        if (share(s, map.cell(0, row), bright_green) > 0.05) rows.push_back(row);
    return rows;
}

// Entry i of `listing` on row 4 + i: a directory's name in bright cyan, a file's in bright
// white; the rows after the last entry empty. What differs, or an empty string.
std::string listing_mismatch(const Image& s, const ScreenMap& map,
                             const std::vector<Entry>& listing) {
    for (size_t i = 0; i < listing.size(); i++) {
        const int row = 4 + static_cast<int>(i);
        const Box name = map.cells(1, static_cast<int>(listing[i].name.size()), row);
        const double cyan = share(s, name, bright_cyan), white = share(s, name, bright_white);
        // The colour fringe (each pixel's red byte lands one pixel to the right) gives white
        // letters a cyan left edge, but cyan letters no white.
        // Two dots light far fewer pixels of their cells than a name's letters.
        const double lit = listing[i].name == ".." ? 0.01 : 0.05;
        if (listing[i].directory ? cyan < lit || white > 0.01 : white < lit || cyan > white / 2)
            return "row " + std::to_string(row) + " (" + listing[i].name + "): cyan share " +
                   std::to_string(cyan) + ", white share " + std::to_string(white);
    }
    for (int row = 4 + static_cast<int>(listing.size()); row < 24; row++) {
        const double lit = 1 - share(s, map.cells(0, 39, row), dark);
        if (lit > 0.01)
            return "row " + std::to_string(row) + " is not empty: " + std::to_string(lit);
    }
    return "";
}

// Characters `first`..`first + count - 1` of a row of the Spectrum's screen, read from the
// screenshot by sampling each character cell at the centres of its 8 x 8 pixels and
// matching it against the ROM's character set (codes 32 to 127, 8 bytes each from 0x3D00).
// A cell that is more than 4 pixels away from every glyph reads as '?'.
std::string paper_text(const Image& s, const ScreenMap& map, const std::vector<uint8_t>& rom,
                       int row, int first, int count) {
    constexpr size_t CHARS = 0x3D00;
    std::string text;
    for (int column = first; column < first + count; column++) {
        std::array<uint8_t, 8> cell{};
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) {
                const double px = 128 + 8 * column + x, py = 160 + 8 * row + y;
                const Box b = map.picture(px, py, px + 1, py + 1);
                const int cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
                const Rgb m = s.mean(cx - 1, cy, cx + 1, cy + 1); // both grille columns
                // Green and blue only: an ink pixel after paper carries the paper's red.
                if ((m.g + m.b) / 2 < 60) cell[y] |= 0x80 >> x;
            }
        char best = '?';
        int best_distance = 5;
        for (int code = 32; code < 128; code++) {
            int distance = 0;
            for (int y = 0; y < 8; y++)
                distance +=
                    std::popcount(static_cast<uint8_t>(cell[y] ^ rom[CHARS + 8 * (code - 32) + y]));
            if (distance < best_distance) best = static_cast<char>(code), best_distance = distance;
        }
        text += best;
    }
    return text;
}

std::vector<uint8_t> read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    const std::string zeros(size, '\0');
    out.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

TEST_F(FullScreenRealTime, RequesterLoadsATapeChosenFromTheListingAndTheMachineRunsIt) {
    const std::string tape = binary_path("tests/programs/tape_program.tap");
    const std::vector<uint8_t> rom = read_bytes(binary_path("1982.rom"));
    ASSERT_EQ(rom.size(), 16384u) << "no ROM beside the program";
    launch();

    // The program's current directory (where it was started): a subdirectory, a snapshot
    // that is never chosen, the tape, and names the requester does not list (a type other
    // than SNA or TAP, a name of 4 characters, and the program's own output files).
    const fs::path here = program_.directory();
    fs::create_directory(here / "games");
    write_file(here / "other.sna", 49179);
    fs::copy_file(tape, here / "tape_program.tap");
    write_file(here / "readme.txt", 10);
    write_file(here / ".sna", 49179);
    // The parent, the directory, then the files by name.
    const std::vector<Entry> listing = {
        {"..", true}, {"games", true}, {"other.sna", false}, {"tape_program.tap", false}};
    const int tape_index = 3;

    wait_for_white_paper();
    wait_for_title_to_go();
    // A key clears the ROM's start-up message from the paper's last line; it comes back
    // when the tape load resets the machine, which shows that the ROM is ready for keys.
    const Box message_line = map_.picture(128 + 8 * 4, 345, 128 + 8 * 20, 351);
    x_.key("Return");
    ASSERT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return share(s, message_line, dark) < 0.001;
    })) << "a key did not clear the ROM's message";
    const Box left_border = map_.picture(90, 200, 122, 320);
    const Box right_border = map_.picture(390, 200, 422, 320);
    ASSERT_FALSE(green_border(mean(x_.screenshot(), left_border)));

    // F10: the page with its title band, the listing, and the cursor on the first entry.
    Image shot;
    x_.key("F10");
    EXPECT_TRUE(wait_for_screen(
        x_, 10s,
        [&](const Image& s) {
            return title_band(s, map_) && marked_rows(s, map_) == std::vector<int>{4};
        },
        &shot))
        << "F10 did not open the page with the cursor on row 4";
    // .. and games in bright cyan, other.sna and tape_program.tap in bright white, in that
    // order, and nothing else.
    EXPECT_EQ(listing_mismatch(shot, map_, listing), "");

    // The cursor moves a row a key; then onto the tape.
    int cursor = 0;
    auto move = [&](const char* key, int step) {
        x_.key(key);
        cursor += step;
        EXPECT_TRUE(wait_for_screen(
            x_, 10s,
            [&](const Image& s) { return marked_rows(s, map_) == std::vector<int>{4 + cursor}; }))
            << key << " did not move the cursor to row " << 4 + cursor;
    };
    move("Down", 1);
    while (cursor > tape_index) move("Up", -1);
    while (cursor < tape_index) move("Down", 1);
    ASSERT_FALSE(HasFailure());

    // Return on the tape attaches it and closes the page; the machine starts afresh.
    x_.key("Return");
    EXPECT_TRUE(wait_for_screen(x_, 10s, [&](const Image& s) {
        return no_title_band(s, map_) && marked_rows(s, map_).empty();
    })) << "Return did not close the page";
    ASSERT_TRUE(wait_for_screen(x_, 30s, [&](const Image& s) {
        return share(s, message_line, dark) > 0.02 &&
               whitish(mean(s, map_.picture(200, 200, 312, 300)));
    })) << "the machine did not restart after the tape was chosen";

    // LOAD "" (OpenSE BASIC takes keywords letter by letter; the quote is SYMBOL SHIFT
    // (Ctrl) and P). The ROM takes a key pressed again only after it has been up for five of
    // its frames, so the gaps leave room for a machine slowed down by a busy computer.
    auto type = [&](const char* k) { x_.key(k, 200, 400); };
    for (const char* k : {"l", "o", "a", "d"}) type(k);
    x_.key_down("Control_L");
    type("p");
    type("p");
    x_.key_up("Control_L");
    type("Return");

    // The loader runs the code: its message on row 2, the border green, and BASIC again.
    EXPECT_TRUE(wait_for_screen(
        x_, 60s,
        [&](const Image& s) {
            return green_border(mean(s, left_border)) && green_border(mean(s, right_border)) &&
                   paper_text(s, map_, rom, 4, 0, 13) == "BACK IN BASIC";
        },
        &shot))
        << "the tape's program did not run";
    EXPECT_EQ(paper_text(shot, map_, rom, 2, 0, 22), "MARROWGLEAM TAPE TEST ");

    quit_with_escape();
}
} // namespace
} // namespace fullscreen

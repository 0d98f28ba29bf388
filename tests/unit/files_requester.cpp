// The file requester on a temporary directory tree, driven through the headless keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace fs = std::filesystem;

namespace {
struct RequesterTest : testing::Test {
    TempDir dir; // the working directory when the requester first opens
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    std::vector<int> pending;
    std::set<int> held; // keys kept down at every pump until taken out

    void SetUp() override {
        use_code_charset();
        // Keys go down at the next pump and up at the one after it, as a short press does.
        test_host().on_pump = [this] {
            std::memset(test_host().keys, 0, sizeof test_host().keys);
            for (int k : pending) test_host().keys[k] = 1;
            for (int k : held) test_host().keys[k] = 1;
            pending.clear();
        };
    }

    // ENTER as the machine's keyboard matrix has it: half-row A14 (port 0xBFFE), column 0.
    bool machine_sees_enter() const { return (m.keyboard_matrix_read(0xBFFE, 0x1F) & 0x01) == 0; }

    // One display frame of the open requester with these keys pressed.
    void frame(std::initializer_list<int> keys = {}) {
        pending = keys;
        s.read_keyboard();
        s.handle_file_requester();
    }

    // The names drawn on the list rows, without the cursor column.
    std::vector<std::string> shown() const {
        std::vector<std::string> names;
        for (int row = 4; row < 24; row++) {
            std::string name = text_row(row).substr(1);
            name.erase(name.find_last_not_of(' ') + 1);
            if (!name.empty()) names.push_back(name);
        }
        return names;
    }

    // The row of the cursor glyph in column 0, or -1.
    int cursor_row() const {
        for (int row = 4; row < 24; row++)
            if (text_row(row)[0] == 2) return row;
        return -1;
    }

    int index_of(const std::string& name) const {
        const auto listing = requester_listing(s.requester.directory);
        for (size_t i = 0; i < listing.size(); i++)
            if (listing[i].name == name) return static_cast<int>(i);
        return -1;
    }

    // Puts the cursor on `name` (on the first list row) and draws that frame.
    void select(const std::string& name) {
        s.requester.DIRCUR = s.requester.DIROFF = index_of(name);
        ASSERT_GE(s.requester.DIRCUR, 0) << name << " is not listed";
        frame();
    }

    // n listed snapshots and some files the requester does not list.
    void populate(int n) const {
        for (int i = 0; i < n; i++) dir.file("e" + std::to_string(100 + i) + ".sna");
        dir.file("notes.txt");
        dir.file("x.sn");
        dir.file(".tap");
    }
};

// The name of the entry `index` places after the first list row.
std::string listing_name(const Session& s, int index) {
    return s.requester.entries.at(static_cast<size_t>(s.requester.DIROFF + index)).name;
}

std::string padded(std::string text) {
    text.resize(40, ' ');
    return text;
}
} // namespace

TEST_F(RequesterTest, OpensAsAPageOfItsOwnAndClosesBackToTheMachine) {
    s.text.overlay = 1;
    s.text.overlay_timeout = 50;
    s.still_frame = 1; // paused when the page opens
    s.do_file_requester();
    EXPECT_TRUE(s.file_requester_mode);
    EXPECT_EQ(s.still_frame, 1);
    EXPECT_EQ(s.text.overlay, 2);
    EXPECT_EQ(s.text.overlay_old, 1);
    EXPECT_EQ(s.text.overlay_timeout, 0);
    EXPECT_EQ(text_row(0), "                FILE I/O                ");
    EXPECT_EQ(text_ink(16, 0), 15);

    frame({key::F10});
    EXPECT_FALSE(s.file_requester_mode);
    EXPECT_EQ(s.still_frame, 1) << "the pause state from before the page";
    EXPECT_EQ(s.text.overlay, 1);
    EXPECT_EQ(s.text.overlay_timeout, 0);
    EXPECT_EQ(text_row(0), padded(""));
    EXPECT_FALSE(s.keyboard.key_held(key::F10));
}

TEST_F(RequesterTest, ListsDirectoriesSnapshotsAndTapes) {
    for (const char* name : {"abcd.sna", "gamesna", "x.tap", "PROG.TAP", "Mixed.SnA", ".sna",
                             "atap", "sna", "notes.txt", "prog.tapx"})
        dir.file(name);
    dir.directory("folder");
    dir.directory("d");
    s.do_file_requester();
    frame();

    const auto names = shown();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"..", "abcd.sna", "gamesna", "x.tap", "PROG.TAP", "Mixed.SnA",
                                     "folder", "d"}));
    EXPECT_EQ(names.size(), 8u);
    for (int row = 4; row < 12; row++) {
        const bool directory = fs::is_directory(s.requester.directory / shown()[row - 4]);
        EXPECT_EQ(text_ink(1, row), directory ? 13 : 15) << shown()[row - 4];
    }
    EXPECT_EQ(cursor_row(), 4);
    EXPECT_EQ(text_ink(0, 4), 12);
    // The directory shown: the working directory, as the requester first opened.
    EXPECT_EQ(s.requester.directory, fs::current_path());
    EXPECT_EQ(text_row(2), padded(s.requester.directory.string().substr(0, 40)));
}

// The parent first, then the directories, then the files, each by name whatever its case
// (names equal but for case by their bytes); on the page as in the listing.
TEST_F(RequesterTest, ListsTheParentThenDirectoriesThenFilesEachByName) {
    for (const char* name : {"b.sna", "A.tap", "game.sna", "Game.sna", "c.TZX", "_x.z80"})
        dir.file(name);
    for (const char* name : {"zeta", "Alpha", "beta"}) dir.directory(name);
    const struct {
        const char* name;
        bool directory;
    } expected[] = {
        {"..", true},        {"Alpha", true},     {"beta", true},   {"zeta", true},
        {"_x.z80", false},   {"A.tap", false},    {"b.sna", false}, {"c.TZX", false},
        {"Game.sna", false}, {"game.sna", false},
    };
    const auto listing = requester_listing(dir.path());
    ASSERT_EQ(listing.size(), std::size(expected));
    for (size_t i = 0; i < listing.size(); i++) {
        EXPECT_EQ(listing[i].name, expected[i].name) << i;
        EXPECT_EQ(listing[i].directory, expected[i].directory) << i;
    }
    s.do_file_requester();
    frame();
    const auto names = shown();
    for (size_t i = 0; i < names.size(); i++) EXPECT_EQ(names[i], expected[i].name) << i;
    EXPECT_NE(requester_listing("/").front().name, "..") << "the root has no parent";

    frame({key::RETURN}); // on ".."
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path().parent_path()));
}

TEST_F(RequesterTest, LongPathsAndNamesAreCutOnScreenOnly) {
    const std::string deep(70, 'p');
    dir.directory(deep);
    fs::current_path(deep);
    const std::string long_name = std::string(50, 'n') + ".sna";
    dir.file(deep + "/" + long_name, sna_image(SNA_48K_SIZE));
    const std::string path = fs::current_path().string();
    ASSERT_GT(path.size(), 80u);

    s.do_file_requester();
    select(long_name);
    EXPECT_EQ(text_row(2), path.substr(0, 40));
    EXPECT_EQ(text_row(3), path.substr(40, 40));
    EXPECT_EQ(text_row(4).substr(1), padded(long_name.substr(0, 38)).substr(0, 39));

    frame({key::RETURN});
    EXPECT_FALSE(s.file_requester_mode);
    EXPECT_TRUE(m.is_snapshot) << "loaded by its full name";
}

// DIRCUR and DIROFF after one key, for listings of 0, 20, 21 and 25 entries.
TEST_F(RequesterTest, NavigationKeys) {
    const struct {
        int k, cur, off, key, new_cur, new_off;
    } cases[] = {
        {25, 0, 0, key::END, 24, 5},      {25, 24, 5, key::PAGEUP, 4, 0},
        {25, 0, 0, key::PAGEDOWN, 20, 4}, {25, 4, 0, key::PAGEDOWN, 24, 5},
        {25, 19, 0, key::DOWN, 20, 1},    {25, 24, 5, key::DOWN, 24, 5},
        {25, 5, 5, key::UP, 4, 4},        {25, 0, 0, key::UP, 0, 0},
        {25, 17, 3, key::HOME, 0, 0},     {25, 22, 5, key::PAGEUP, 2, 0},
        {21, 0, 0, key::END, 20, 1},      {20, 0, 0, key::END, 19, 0},
        {20, 19, 0, key::DOWN, 19, 0},    {20, 0, 0, key::PAGEDOWN, 19, 0},
        {20, 5, 0, key::PAGEUP, 0, 0},    {0, 0, 0, key::END, 0, 0},
        {0, 0, 0, key::PAGEDOWN, 0, 0},   {0, 0, 0, key::DOWN, 0, 0},
        {0, 0, 0, key::UP, 0, 0},
    };
    int populated = -1;
    s.do_file_requester();
    for (const auto& c : cases) {
        if (c.k != populated) {
            for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove(entry);
            populate(c.k - 1); // and the parent
            populated = c.k;
            ASSERT_TRUE(
                s.requester.read(s.requester.directory, s.text)); // the listing is read on demand
        }
        frame(); // every key up, so that the next is a new press
        s.requester.DIRCUR = c.cur;
        s.requester.DIROFF = c.off;
        if (c.k > 0) {
            frame({c.key});
        } else { // only the root lists nothing
            pending = {c.key};
            s.read_keyboard();
            s.requester.navigate(0, s.keyboard);
        }
        EXPECT_EQ(s.requester.DIRCUR, c.new_cur)
            << "k " << c.k << " from " << c.cur << "/" << c.off << " key " << c.key;
        EXPECT_EQ(s.requester.DIROFF, c.new_off)
            << "k " << c.k << " from " << c.cur << "/" << c.off << " key " << c.key;
    }
}

TEST_F(RequesterTest, KeysShowOnTheNextFrame) {
    populate(24); // and the parent
    s.do_file_requester();
    const auto listing = requester_listing(s.requester.directory);
    frame({key::END});
    EXPECT_EQ(cursor_row(), 4) << "drawn before the key acted";
    frame();
    EXPECT_EQ(cursor_row(), 23);
    const auto names = shown();
    ASSERT_EQ(names.size(), 20u);
    EXPECT_EQ(names.front(), listing[5].name);
    EXPECT_EQ(names.back(), listing[24].name);

    frame({key::PAGEUP});
    frame();
    EXPECT_EQ(cursor_row(), 8);
    EXPECT_EQ(shown().front(), listing[0].name);
}

// A directory with nothing to list shows its parent alone, with the cursor on it.
TEST_F(RequesterTest, EmptyDirectory) {
    dir.file("notes.txt");
    s.do_file_requester();
    frame({key::END});
    EXPECT_EQ(shown(), std::vector<std::string>{".."});
    EXPECT_EQ(cursor_row(), 4);
    frame({key::RETURN});
    EXPECT_TRUE(s.file_requester_mode);
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path().parent_path()));
}

TEST_F(RequesterTest, ReturnEntersADirectoryAndLeftGoesBack) {
    populate(25);
    dir.directory("sub");
    dir.file("sub/inner.sna");
    s.do_file_requester();
    select("sub");
    frame({key::RETURN});
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path() / "sub"));
    EXPECT_EQ(s.requester.DIRCUR, 0);
    EXPECT_EQ(s.requester.DIROFF, 0);
    EXPECT_TRUE(s.file_requester_mode);
    frame();
    EXPECT_EQ(shown(), (std::vector<std::string>{"..", "inner.sna"}));

    s.requester.DIRCUR = s.requester.DIROFF = 0;
    frame({key::LEFT});
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path()));
    EXPECT_EQ(s.requester.DIRCUR, 0);
    EXPECT_EQ(s.requester.DIROFF, 0);
    frame();
    EXPECT_EQ(shown().size(), 20u);
}

TEST_F(RequesterTest, ReturnActsOnTheEntryDrawnEvenWithLeftInTheSameFrame) {
    dir.directory("sub");
    s.do_file_requester();
    select("sub");
    frame({key::LEFT, key::RETURN});
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path() / "sub"));
}

TEST_F(RequesterTest, ReturnOnAFileLoadsItAndCloses) {
    dir.file("gamesna", sna_image(SNA_48K_SIZE));
    dir.file("prog.tap", tap_block(0, {1, 2, 3}));
    s.text.overlay = 1;
    s.do_file_requester();
    select("gamesna");
    frame({key::RETURN});
    EXPECT_FALSE(s.file_requester_mode);
    EXPECT_EQ(s.text.overlay, 1);
    EXPECT_TRUE(m.is_snapshot);
    EXPECT_EQ(m.z80.IX, 0xFEDC);
    EXPECT_EQ(m.port_fe, 0x03);
    EXPECT_FALSE(s.keyboard.key_held(key::RETURN));
    ASSERT_TRUE(test_host().keys[key::RETURN]) << "still down on the host";
    EXPECT_EQ(m.key_rows[6] & 0x01, 0) << "the closing Return must not reach the machine";
    EXPECT_FALSE(machine_sees_enter());

    s.do_file_requester();
    select("prog.tap");
    frame({key::RETURN});
    EXPECT_FALSE(s.file_requester_mode);
    EXPECT_TRUE(m.is_tape);
    EXPECT_EQ(m.basic_rom()[0x0556], 0xC3);
}

TEST_F(RequesterTest, AFileThatCannotBeLoadedKeepsTheMachineAndSaysSo) {
    dir.file("short.sna", sna_image(1000));
    fs::create_symlink("nowhere.sna", "dangling.sna");
    ASSERT_EQ(::mkfifo("pipe.tap", 0600), 0);
    // The reason on row 23, cut at a space to fit.
    const std::map<std::string, std::string> messages = {
        {"short.sna", " CANNOT LOAD: a snapshot needs at least "},
        {"dangling.sna", " CANNOT LOAD: No such file or directory "},
        {"pipe.tap", " CANNOT LOAD: it is a named pipe (FIFO) "},
    };
    for (const auto& [name, message] : messages) {
        SCOPED_TRACE(name);
        m.RAM[0x1234] = 0x56;
        m.tstates = 999;
        m.z80.PC = 0x4321;
        const MachineState before = capture_state();
        s.do_file_requester();
        select(name);
        frame({key::RETURN});
        EXPECT_FALSE(s.file_requester_mode);
        EXPECT_TRUE(capture_state() == before);
        EXPECT_EQ(text_row(23), padded(message));
        EXPECT_EQ(s.text.overlay_timeout, 200);
        EXPECT_FALSE(s.exit_request);
    }
}

// The listing is read when the page opens or a directory is entered, not at every frame;
// closing and opening the page reads it again.
TEST_F(RequesterTest, ReadsADirectoryOnceWhenEntered) {
    dir.file("first.sna");
    s.do_file_requester();
    frame();
    EXPECT_EQ(shown(), (std::vector<std::string>{"..", "first.sna"}));
    dir.file("second.sna");
    frame();
    frame();
    EXPECT_EQ(shown(), (std::vector<std::string>{"..", "first.sna"}));
    frame({key::F10});
    ASSERT_FALSE(s.file_requester_mode);
    s.do_file_requester();
    frame();
    const auto names = shown();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"..", "first.sna", "second.sna"}));
}

// Return on a directory that can no longer (or never could) be read: the page stays on the
// directory it shows, and row 23 says why for a while.
TEST_F(RequesterTest, ReturnOnADirectoryThatCannotBeReadSaysSo) {
    dir.directory("gone");
    dir.directory("locked");
    for (int i = 0; i < 25; i++) dir.file("e" + std::to_string(100 + i) + ".sna");
    s.do_file_requester();
    select("gone");
    fs::remove("gone");
    frame({key::RETURN});
    EXPECT_TRUE(s.file_requester_mode);
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path()));
    s.requester.DIRCUR = s.requester.DIROFF = 0;
    frame();
    EXPECT_EQ(text_row(23), padded(" CANNOT READ: No such file or directory"));
    EXPECT_EQ(shown().size(), 20u) << "19 entries and the note";
    for (int i = 0; i < 200; i++) frame();
    EXPECT_EQ(shown().size(), 20u);
    const std::string last = listing_name(s, 19);
    EXPECT_EQ(text_row(23).substr(1, last.size()), last)
        << "the note has gone, the list has its row back";

    // Root reads any directory; others meet the permissions.
    if (::geteuid() == 0) return;
    ASSERT_TRUE(s.requester.read(s.requester.directory, s.text));
    fs::permissions("locked", fs::perms::none);
    select("locked");
    frame({key::RETURN});
    fs::permissions("locked", fs::perms::owner_all);
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path()));
    EXPECT_EQ(text_row(23), padded(" CANNOT READ: Permission denied"));
}

TEST_F(RequesterTest, EscapeEndsTheProgram) {
    populate(3);
    s.do_file_requester();
    frame({key::ESCAPE});
    EXPECT_TRUE(s.exit_request);
}

TEST_F(RequesterTest, AKeyHeldAcrossTheCloseReachesTheMachineOnlyWhenPressedAgain) {
    dir.file("gamesna", sna_image(SNA_48K_SIZE));
    s.do_file_requester();
    select("gamesna");
    // Return loads the file and closes the page, and stays down; so does A, which has
    // nothing to do with the page.
    held = {key::RETURN, key::letter('a')};
    frame();
    ASSERT_FALSE(s.file_requester_mode);
    ASSERT_TRUE(m.is_snapshot);
    EXPECT_FALSE(machine_sees_enter());
    EXPECT_EQ(m.key_rows[1] & 0x01, 0x01) << "A is not swallowed";

    // Held on: frame after frame the machine and the control keys see it up.
    for (int i = 0; i < 3; i++) {
        s.read_keyboard();
        EXPECT_TRUE(test_host().keys[key::RETURN]);
        EXPECT_FALSE(s.keyboard.key_held(key::RETURN)) << "frame " << i;
        EXPECT_FALSE(s.keyboard.key_pressed(key::RETURN)) << "frame " << i;
        EXPECT_FALSE(machine_sees_enter()) << "frame " << i;
        EXPECT_EQ(m.key_rows[6], 0) << "frame " << i;
    }

    // Released: still up.
    held.erase(key::RETURN);
    s.read_keyboard();
    EXPECT_FALSE(s.keyboard.key_held(key::RETURN));
    EXPECT_FALSE(machine_sees_enter());

    // Pressed again: a key like any other.
    held.insert(key::RETURN);
    s.read_keyboard();
    EXPECT_TRUE(s.keyboard.key_held(key::RETURN));
    EXPECT_TRUE(s.keyboard.key_pressed(key::RETURN));
    EXPECT_TRUE(machine_sees_enter());
    EXPECT_EQ(m.key_rows[6], 0x01);
    s.read_keyboard();
    EXPECT_TRUE(machine_sees_enter()) << "and stays down while held";
}

TEST_F(RequesterTest, WalkingTheDirectoriesLeavesTheWorkingDirectory) {
    dir.directory("sub");
    dir.file("sub/inner.sna", sna_image(SNA_48K_SIZE));
    const fs::path working = fs::current_path();
    s.do_file_requester();
    EXPECT_EQ(s.requester.directory, working);

    select("sub");
    frame({key::RETURN});
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path() / "sub"));
    EXPECT_EQ(fs::current_path(), working) << "entering a directory";

    frame();
    frame({key::LEFT});
    EXPECT_TRUE(fs::equivalent(s.requester.directory, dir.path()));
    EXPECT_EQ(fs::current_path(), working) << "going up";

    // A file of a directory entered loads from there, the working directory elsewhere.
    select("sub");
    frame({key::RETURN});
    ASSERT_TRUE(fs::equivalent(s.requester.directory, dir.path() / "sub"));
    select("inner.sna");
    frame({key::RETURN});
    EXPECT_FALSE(s.file_requester_mode);
    EXPECT_TRUE(m.is_snapshot);
    EXPECT_EQ(m.z80.IX, 0xFEDC);
    EXPECT_EQ(fs::current_path(), working) << "loading";
}

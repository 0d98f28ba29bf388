// The file requester on a temporary directory tree, driven through the headless keyboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <set>

#include "core/machine.h"
#include "files/files.h"
#include "files/requester.h"
#include "host/headless/headless.h"
#include "input/keyboard.h"
#include "input/keys.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "text/text.h"
#include "z80/z80.h"

namespace fs = std::filesystem;

namespace {
struct RequesterTest : testing::Test {
    TempDir dir;
    std::vector<int> pending;

    void SetUp() override {
        fresh_machine();
        use_code_charset();
        // Keys go down at the next pump and up at the one after it, as a short press does.
        headless::on_pump = [this] {
            std::memset(headless::keys, 0, sizeof headless::keys);
            for (int k : pending) headless::keys[k] = 1;
            pending.clear();
        };
    }

    // One display frame of the open requester with these keys pressed.
    void frame(std::initializer_list<int> keys = {}) {
        pending = keys;
        read_keyboard();
        handle_file_requester();
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
        const auto listing = requester_listing();
        for (size_t i = 0; i < listing.size(); i++)
            if (listing[i].name == name) return static_cast<int>(i);
        return -1;
    }

    // Puts the cursor on `name` (on the first list row) and draws that frame.
    void select(const std::string& name) {
        DIRCUR = DIROFF = index_of(name);
        ASSERT_GE(DIRCUR, 0) << name << " is not listed";
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

std::string padded(std::string text) {
    text.resize(40, ' ');
    return text;
}
} // namespace

TEST_F(RequesterTest, OpensAsAPageOfItsOwnAndClosesBackToTheMachine) {
    overlay = 1;
    overlay_timeout = 50;
    still_frame = 1; // paused when the page opens
    do_file_requester();
    EXPECT_TRUE(file_requester_mode);
    EXPECT_EQ(still_frame, 1);
    EXPECT_EQ(overlay, 2);
    EXPECT_EQ(overlay_old, 1);
    EXPECT_EQ(overlay_timeout, 0);
    EXPECT_EQ(text_row(0), "                FILE I/O                ");
    EXPECT_EQ(text_ink(16, 0), 15);

    frame({key::F10});
    EXPECT_FALSE(file_requester_mode);
    EXPECT_EQ(still_frame, 1) << "the pause state from before the page";
    EXPECT_EQ(overlay, 1);
    EXPECT_EQ(overlay_timeout, 0);
    EXPECT_EQ(text_row(0), padded(""));
    EXPECT_FALSE(key_held(key::F10));
}

TEST_F(RequesterTest, ListsDirectoriesSnapshotsAndTapes) {
    for (const char* name : {"abcd.sna", "gamesna", "x.tap", "PROG.TAP", "Mixed.SnA", ".sna",
                             "atap", "sna", "notes.txt", "prog.tapx"})
        dir.file(name);
    dir.directory("folder");
    dir.directory("d");
    do_file_requester();
    frame();

    const auto names = shown();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"abcd.sna", "gamesna", "x.tap", "PROG.TAP", "Mixed.SnA",
                                     "folder", "d"}));
    EXPECT_EQ(names.size(), 7u);
    for (int row = 4; row < 11; row++) {
        const bool directory = fs::is_directory(shown()[row - 4]);
        EXPECT_EQ(text_ink(1, row), directory ? 13 : 15) << shown()[row - 4];
    }
    EXPECT_EQ(cursor_row(), 4);
    EXPECT_EQ(text_ink(0, 4), 12);
    EXPECT_EQ(text_row(2), padded(fs::current_path().string().substr(0, 40)));
}

TEST_F(RequesterTest, LongPathsAndNamesAreCutOnScreenOnly) {
    const std::string deep(70, 'p');
    dir.directory(deep);
    fs::current_path(deep);
    const std::string long_name = std::string(50, 'n') + ".sna";
    dir.file(deep + "/" + long_name, sna_image(SNA_48K_SIZE));
    const std::string path = fs::current_path().string();
    ASSERT_GT(path.size(), 80u);

    do_file_requester();
    frame();
    EXPECT_EQ(text_row(2), path.substr(0, 40));
    EXPECT_EQ(text_row(3), path.substr(40, 40));
    EXPECT_EQ(text_row(4).substr(1), padded(long_name.substr(0, 38)).substr(0, 39));

    frame({key::RETURN});
    EXPECT_FALSE(file_requester_mode);
    EXPECT_TRUE(is_snapshot) << "loaded by its full name";
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
    do_file_requester();
    for (const auto& c : cases) {
        if (c.k != populated) {
            for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove(entry);
            populate(c.k);
            populated = c.k;
        }
        frame(); // every key up, so that the next is a new press
        DIRCUR = c.cur;
        DIROFF = c.off;
        frame({c.key});
        EXPECT_EQ(DIRCUR, c.new_cur)
            << "k " << c.k << " from " << c.cur << "/" << c.off << " key " << c.key;
        EXPECT_EQ(DIROFF, c.new_off)
            << "k " << c.k << " from " << c.cur << "/" << c.off << " key " << c.key;
    }
}

TEST_F(RequesterTest, KeysShowOnTheNextFrame) {
    populate(25);
    const auto listing = requester_listing();
    do_file_requester();
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

TEST_F(RequesterTest, EmptyDirectory) {
    dir.file("notes.txt");
    do_file_requester();
    frame({key::END});
    frame({key::RETURN});
    EXPECT_TRUE(file_requester_mode) << "Return on nothing does nothing";
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path()));
    EXPECT_TRUE(shown().empty());
    EXPECT_EQ(cursor_row(), 4);
}

TEST_F(RequesterTest, ReturnEntersADirectoryAndLeftGoesBack) {
    populate(25);
    dir.directory("sub");
    dir.file("sub/inner.sna");
    do_file_requester();
    select("sub");
    frame({key::RETURN});
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path() / "sub"));
    EXPECT_EQ(DIRCUR, 0);
    EXPECT_EQ(DIROFF, 0);
    EXPECT_TRUE(file_requester_mode);
    frame();
    EXPECT_EQ(shown(), std::vector<std::string>{"inner.sna"});

    DIRCUR = DIROFF = 0;
    frame({key::LEFT});
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path()));
    EXPECT_EQ(DIRCUR, 0);
    EXPECT_EQ(DIROFF, 0);
    frame();
    EXPECT_EQ(shown().size(), 20u);
}

TEST_F(RequesterTest, ReturnActsOnTheEntryDrawnEvenWithLeftInTheSameFrame) {
    dir.directory("sub");
    do_file_requester();
    frame();
    frame({key::LEFT, key::RETURN});
    EXPECT_TRUE(fs::equivalent(fs::current_path(), dir.path() / "sub"));
}

TEST_F(RequesterTest, ReturnOnAFileLoadsItAndCloses) {
    dir.file("gamesna", sna_image(SNA_48K_SIZE));
    dir.file("prog.tap", tap_block(0, {1, 2, 3}));
    overlay = 1;
    do_file_requester();
    select("gamesna");
    frame({key::RETURN});
    EXPECT_FALSE(file_requester_mode);
    EXPECT_EQ(overlay, 1);
    EXPECT_TRUE(is_snapshot);
    EXPECT_EQ(z80.IX, 0xFEDC);
    EXPECT_EQ(IO[0xFE], 0x03);
    EXPECT_FALSE(key_held(key::RETURN));

    do_file_requester();
    select("prog.tap");
    frame({key::RETURN});
    EXPECT_FALSE(file_requester_mode);
    EXPECT_TRUE(is_tape);
    EXPECT_EQ(ROM[0x0556], 0xC3);
}

TEST_F(RequesterTest, AFileThatCannotBeLoadedKeepsTheMachineAndSaysSo) {
    dir.file("short.sna", sna_image(1000));
    fs::create_symlink("nowhere.sna", "dangling.sna");
    for (const char* name : {"short.sna", "dangling.sna"}) {
        SCOPED_TRACE(name);
        RAM[0x1234] = 0x56;
        tstates = 999;
        z80.PC = 0x4321;
        const MachineState before = capture_state();
        do_file_requester();
        select(name);
        frame({key::RETURN});
        EXPECT_FALSE(file_requester_mode);
        EXPECT_TRUE(capture_state() == before);
        EXPECT_EQ(text_row(23), padded(" CANNOT LOAD FILE "));
        EXPECT_EQ(overlay_timeout, 200);
        EXPECT_FALSE(exit_request);
    }
}

TEST_F(RequesterTest, EscapeEndsTheProgram) {
    populate(3);
    do_file_requester();
    frame({key::ESCAPE});
    EXPECT_TRUE(exit_request);
}

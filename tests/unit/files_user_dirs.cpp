// Where the user's files go: the data directory from XDG_DATA_HOME or HOME, channels beside
// the executable while that directory is writable and in the data directory when not (the
// message says so), new snapshot names by the date and time.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"

namespace {
// Sets an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string message() {
    std::string row = text_row(MESSAGE_ROW);
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}
} // namespace

TEST(UserDirs, DataDirectoryFromXdgDataHomeElseHome) {
    TempDir dir;
    {
        ScopedEnv xdg("XDG_DATA_HOME", (dir.path() / "xdg").c_str());
        EXPECT_EQ(user_data_dir(), (dir.path() / "xdg" / "marrowgleam").string() + "/");
        EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "xdg" / "marrowgleam"))
            << "made with its parents";
    }
    ScopedEnv home("HOME", (dir.path() / "home").c_str());
    for (const char* xdg_value : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        ScopedEnv xdg("XDG_DATA_HOME", xdg_value);
        EXPECT_EQ(user_data_dir(),
                  (dir.path() / "home" / ".local" / "share" / "marrowgleam").string() + "/")
            << "XDG_DATA_HOME " << (xdg_value ? xdg_value : "unset");
    }
}

// The executable's directory may not be written: the channel goes to the data directory,
// both messages say so, and the channel comes back from there.
TEST(UserDirs, ChannelsGoToTheDataDirectoryWhenBesideTheProgramIsNotWritable) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "bin");
    ScopedEnv xdg("XDG_DATA_HOME", (dir.path() / "data").c_str());
    Session& s = fresh_session();
    use_code_charset();
    s.files.application_path = (dir.path() / "bin").string() + "/";
    const std::string data = (dir.path() / "data" / "marrowgleam").string() + "/";

    // Writable: beside the program, as ever.
    s.machine.RAM[0x8000] = 0x11;
    s.files.save_channel(1, s.machine, s.text);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "bin" / "CH1"));
    EXPECT_EQ(message(), " SAVE CHANNEL 1");

    // Not writable (the test's answer, as root can write anywhere).
    std::string asked;
    s.files.directory_writable = [&](const std::string& d) {
        asked = d;
        return false;
    };
    EXPECT_EQ(s.files.channel_dir(), data);
    EXPECT_EQ(asked, s.files.application_path);
    s.machine.RAM[0x8000] = 0x22;
    s.files.save_channel(1, s.machine, s.text);
    EXPECT_EQ(message(), " SAVE CHANNEL 1 TO DATA DIR");
    EXPECT_TRUE(std::filesystem::exists(data + "CH1"));
    EXPECT_EQ(read_file(dir.path() / "bin" / "CH1").at(24 + 0x4000 * 2), 0x11)
        << "the channel beside the program is not touched";
    s.machine.RAM[0x8000] = 0;
    s.files.load_channel(1, s.machine, s.text);
    EXPECT_EQ(message(), " LOAD CHANNEL 1 FROM DATA DIR");
    EXPECT_EQ(s.machine.RAM[0x8000], 0x22) << "loaded from the data directory";
    s.files.directory_writable = nullptr;
}

// The same with the operating system's own answer: a directory without write permission.
TEST(UserDirs, ReadOnlyDirectoryBesideTheProgram) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop root's writes, so a "
                        "read-only directory cannot be made (the injected check above covers "
                        "the choice)";
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "bin");
    ScopedEnv xdg("XDG_DATA_HOME", (dir.path() / "data").c_str());
    Session& s = fresh_session();
    use_code_charset();
    s.files.application_path = (dir.path() / "bin").string() + "/";
    chmod((dir.path() / "bin").c_str(), 0555);
    s.files.save_channel(2, s.machine, s.text);
    chmod((dir.path() / "bin").c_str(), 0755);
    EXPECT_EQ(message(), " SAVE CHANNEL 2 TO DATA DIR");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "data" / "marrowgleam" / "CH2"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "bin" / "CH2"));
}

TEST(UserDirs, SnapshotNamesByDateAndTimeNeverReplaceAFile) {
    TempDir dir;
    Session& s = fresh_session();
    std::tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 9;
    when.tm_min = 5;
    when.tm_sec = 7;
    const std::string d = dir.path().string() + "/";
    EXPECT_EQ(s.files.new_snapshot_name(d, when), d + "20261208-090507.szx");
    dir.file("20261208-090507.szx");
    dir.file("20261208-090507-2.szx");
    EXPECT_EQ(s.files.new_snapshot_name(d, when), d + "20261208-090507-3.szx");
    s.files.snapshot_format = SnapshotFormat::Z80;
    EXPECT_EQ(s.files.new_snapshot_name(d, when), d + "20261208-090507.z80");
}

TEST(UserDirs, RequesterListsEverySnapshotTypeInAnyCase) {
    for (const char* name : {"game.z80", "GAME.Z80", "game.szx", "Game.SzX", "game.sna", "t.tap"})
        EXPECT_TRUE(requester_lists(name, false)) << name;
    for (const char* name : {"game.z81", "game.sz", "notes.txt"})
        EXPECT_FALSE(requester_lists(name, false)) << name;
}

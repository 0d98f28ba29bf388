// Screenshots: where they go, their names, and Windows+P writing the picture last painted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "frontend/keys.h"
#include "frontend/picture_png.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"

namespace fs = std::filesystem;

namespace {
// Sets (or unsets, with nullopt) an environment variable for the life of the object.
class Env {
  public:
    Env(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~Env() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};
} // namespace

TEST(Screenshot, PicturesDirectoryFollowsTheXdgOrder) {
    TempDir dir;
    const fs::path home = dir.path() / "home";
    fs::create_directories(home);
    Env h("HOME", home.string());
    {
        Env p("XDG_PICTURES_DIR", dir.path().string() + "/shots");
        EXPECT_EQ(pictures_directory(), dir.path() / "shots");
    }
    Env p("XDG_PICTURES_DIR", std::nullopt);
    {
        Env d("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(pictures_directory(), home / ".local" / "share" / "marrowgleam");
        Env d2("XDG_DATA_HOME", dir.path().string() + "/data");
        EXPECT_EQ(pictures_directory(), dir.path() / "data" / "marrowgleam");
    }
    fs::create_directories(home / "Pictures");
    EXPECT_EQ(pictures_directory(), home / "Pictures");
}

TEST(Screenshot, NamesCarryTheDateAndTimeAndNeverReplaceAFile) {
    TempDir dir;
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(screenshot_name(dir.path(), t), "marrowgleam-20261208-090507.png");
    dir.file("marrowgleam-20261208-090507.png");
    EXPECT_EQ(screenshot_name(dir.path(), t), "marrowgleam-20261208-090507-2.png");
    dir.file("marrowgleam-20261208-090507-2.png");
    EXPECT_EQ(screenshot_name(dir.path(), t), "marrowgleam-20261208-090507-3.png");
}

// Windows+P writes the PNG of the surface the last logical frame painted and names the file
// on row 23; nothing half-written is left beside it.
TEST(Screenshot, WindowsPWritesTheLastPicture) {
    Session& s = fresh_session();
    use_code_charset();
    TempDir dir;
    Env p("XDG_PICTURES_DIR", (dir.path() / "new").string());
    s.machine.port_fe = 2;
    s.start_machine();
    s.read_keyboard();
    ASSERT_TRUE(s.run_machine(7));
    s.machine.port_fe = 5; // a later border: not painted yet, so not in the file
    test_host().on_pump = [] {
        test_host().keys[key::LSUPER] = 1;
        test_host().keys[key::letter('p')] = 1;
    };
    s.read_keyboard();
    s.handle_control_keys();
    test_host().on_pump = nullptr;

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir.path() / "new")) files.push_back(entry);
    ASSERT_EQ(files.size(), 1u);
    const std::string name = files[0].filename().string();
    EXPECT_EQ(name.rfind("marrowgleam-", 0), 0u);
    EXPECT_EQ(read_file(files[0]), picture_png(s.ULA_surface[s.last_picture]));
    std::string row = text_row(MESSAGE_ROW);
    row.erase(row.find_last_not_of(' ') + 1);
    EXPECT_EQ(row, " SAVED " + name);
    // The picture is the machine's: the border's red in its top-left pixel.
    const std::vector<uint8_t> png = read_file(files[0]);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0);
    EXPECT_EQ(s.ULA_surface[s.last_picture][(112 * ULA_SURFACE_W + 81) * 4 + 2], 170);
}

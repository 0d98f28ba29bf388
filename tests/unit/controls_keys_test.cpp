// The emulator's own keys, one physical frame at a time: each frame samples the keyboard
// with exactly the given keys down and then runs the control keys.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "z80/z80.h"

namespace {
class Controls : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;

    void SetUp() override {
        use_code_charset();
        test_host().on_pump = [this] {
            std::memset(test_host().keys, 0, sizeof test_host().keys);
            for (int k : down_) test_host().keys[k] = 1;
        };
    }
    void TearDown() override { test_host().on_pump = nullptr; }

    // One physical frame with exactly `keys` down.
    void frame(std::vector<int> keys = {}) {
        down_ = std::move(keys);
        s.read_keyboard();
        s.handle_control_keys();
    }
    void frames(int n, const std::vector<int>& keys) {
        for (int i = 0; i < n; i++) frame(keys);
    }

    // The message row, without the blanks after the message.
    std::string message() const {
        std::string row = text_row(MESSAGE_ROW);
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    }
    // Forget the message, so that a frame that shows none can be told apart.
    void clear_message() {
        s.text.TXTCLSLN(MESSAGE_ROW, 1);
        s.text.overlay_timeout = 0;
    }

  private:
    std::vector<int> down_;
};

constexpr int WIN = key::LSUPER;
} // namespace

TEST_F(Controls, KeypadLoadsAndWindowsKeypadSavesChannels) {
    TempDir dir;
    s.files.application_path = dir.path().string() + "/";
    m.RAM[0x8000] = 0x5A;
    frame({WIN, key::keypad(3)});
    EXPECT_EQ(message(), " SAVE CHANNEL 3");
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "CH3"));
    EXPECT_GE(std::filesystem::file_size(dir.path() / "CH3"), CHANNEL_FILE_SIZE_WITH_MACHINE);

    frame();
    m.RAM[0x8000] = 0;
    frame({key::keypad(3)});
    EXPECT_EQ(message(), " LOAD CHANNEL 3");
    EXPECT_EQ(m.RAM[0x8000], 0x5A);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "CH4")) << "nothing else saved";

    // Every name of the Windows key saves; two digits in one frame act in order.
    int channel = 5;
    for (int win : {key::RSUPER, key::LMETA, key::RMETA}) {
        frame();
        frame({win, key::keypad(channel)});
        EXPECT_TRUE(std::filesystem::exists(dir.path() / ("CH" + std::to_string(channel))))
            << "key " << win;
        channel++;
    }
    frame();
    frame({WIN, key::keypad(0), key::keypad(1)});
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "CH0"));
    EXPECT_EQ(message(), " SAVE CHANNEL 1");
}

// Windows+S: a new snapshot in the data directory, named by the date and time, in the
// chosen format; row 23 names it. A save that cannot be made says so and writes nothing.
TEST_F(Controls, WindowsSSavesANewSnapshotInTheDataDirectory) {
    TempDir dir;
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string old_value = old ? old : "";
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    const auto data = dir.path() / "marrowgleam";
    auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(data))
            names.push_back(entry.path().filename().string());
        return names;
    };
    m.RAM[0x8000] = 0x5A;
    frame({key::letter('s')});
    EXPECT_FALSE(std::filesystem::exists(data)) << "S alone is the Spectrum's key";
    frame();
    frame({WIN, key::letter('s')});
    std::vector<std::string> names = listing();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].size(), std::string("20261208-090507.szx").size()) << names[0];
    EXPECT_EQ(names[0].substr(15), ".szx");
    EXPECT_EQ(message(), " SNAPSHOT " + names[0]);
    const auto loaded = std::make_unique<Spectrum>();
    ASSERT_TRUE(load_speccy(*loaded, (data / names[0]).string()));
    EXPECT_EQ(loaded->RAM[0x8000], 0x5A);

    // Held, it saves once; pressed again, a second file.
    frame();
    frames(3, {WIN, key::letter('s')});
    EXPECT_EQ(listing().size(), 2u);

    // SNA of a 48K machine whose stack is in the ROM cannot be made.
    s.files.snapshot_format = SnapshotFormat::SNA;
    m.z80.SP = 0x1000;
    frame();
    frame({WIN, key::letter('s')});
    EXPECT_EQ(message(), " SNAPSHOT FAILED");
    EXPECT_EQ(listing().size(), 2u);
    s.files.snapshot_format = SnapshotFormat::SZX;
    if (old) setenv("XDG_DATA_HOME", old_value.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
}

struct PanCase {
    int arrow;
    float* offset;
    float start;
    float limit;
    const char* text;
};

// One step takes the pan to its limit with a message; at the limit nothing happens at all.
TEST_F(Controls, PanningStopsAtItsLimitsSilently) {
    const PanCase cases[] = {{key::LEFT, &s.view.translate_x, -399, -400, " PAN X- -400"},
                             {key::RIGHT, &s.view.translate_x, 399, 400, " PAN X+ +400"},
                             {key::UP, &s.view.translate_y, -239, -240, " PAN Y- -240"},
                             {key::DOWN, &s.view.translate_y, 239, 240, " PAN Y+ +240"}};
    for (const PanCase& c : cases) {
        s.view.translate_x = s.view.translate_y = 0;
        *c.offset = c.start;
        clear_message();
        frame({WIN, c.arrow});
        EXPECT_EQ(*c.offset, c.limit);
        EXPECT_EQ(message(), c.text);
        EXPECT_EQ(s.text.overlay_timeout, 200);

        clear_message();
        frames(3, {WIN, c.arrow});
        EXPECT_EQ(*c.offset, c.limit);
        EXPECT_EQ(message(), "") << c.text;
        EXPECT_EQ(s.text.overlay_timeout, 0) << c.text;
    }
    // Without the Windows key the arrows belong to the Spectrum.
    s.view.translate_x = s.view.translate_y = 0;
    frames(2, {key::LEFT, key::UP});
    EXPECT_EQ(s.view.translate_x, 0);
    EXPECT_EQ(s.view.translate_y, 0);
    EXPECT_EQ(message(), "");
}

TEST_F(Controls, ShrinkingStopsJustBelowZero) {
    frames(200, {key::F1});
    EXPECT_GT(s.view.scale, 0.0f);
    EXPECT_LT(s.view.scale, 0.005f);
    frame({key::F1});
    EXPECT_LT(s.view.scale, 0.0f);
    EXPECT_GT(s.view.scale, -0.0051f);
    EXPECT_EQ(message(), " SCALE-   0%");
    const float last = s.view.scale;
    clear_message();
    frames(5, {key::F1});
    EXPECT_EQ(s.view.scale, last);
    EXPECT_EQ(message(), "");
}

TEST_F(Controls, GrowingStopsOnceAboveFour) {
    frames(599, {key::F2});
    EXPECT_LE(s.view.scale, 4.0f);
    frame({key::F2});
    EXPECT_GT(s.view.scale, 4.0f);
    EXPECT_LT(s.view.scale, 4.0001f);
    EXPECT_EQ(message(), " SCALE+ 400%");
    const float last = s.view.scale;
    clear_message();
    frames(5, {key::F2});
    EXPECT_EQ(s.view.scale, last);
    EXPECT_EQ(message(), "");
}

struct NumberCase {
    float* setting;
    float start;
    int key;
    const char* text;
};

// The number shown is the value after the step, truncated; the angle is folded into 0-359
// for positive angles and 1-360 for negative ones.
TEST_F(Controls, MessagesShowTheNewValueTruncated) {
    const NumberCase cases[] = {
        {&s.view.scale, 1.0f, key::F1, " SCALE-  99%"},     // 0.995
        {&s.view.scale, 1.0f, key::F2, " SCALE+ 100%"},     // 1.005
        {&s.view.scale, 0.5f, key::F2, " SCALE+  50%"},     // 0.505
        {&s.view.rotate, 0.0f, key::F3, " ROTATE- 360"},    // -0.5
        {&s.view.rotate, -89.5f, key::F3, " ROTATE- 270"},  // -90
        {&s.view.rotate, -719.5f, key::F3, " ROTATE- 360"}, // -720
        {&s.view.rotate, -1.0f, key::F4, " ROTATE+ 360"},   // -0.5
        {&s.view.rotate, 0.0f, key::F4, " ROTATE+   0"},    // 0.5
        {&s.view.rotate, 359.5f, key::F4, " ROTATE+   0"},  // 360
        {&s.view.rotate, 400.0f, key::F4, " ROTATE+  40"},  // 400.5
    };
    for (const NumberCase& c : cases) {
        s.view.scale = 1.0f;
        s.view.rotate = 0.0f;
        *c.setting = c.start;
        frame();
        frame({c.key});
        EXPECT_EQ(message(), c.text) << "from " << c.start;
    }
    // Bright green on blue.
    EXPECT_EQ(text_ink(1, MESSAGE_ROW), 12);
}

TEST_F(Controls, GrilleAndColourModeKeysActOncePerPress) {
    frame({key::F5});
    EXPECT_EQ(s.view.graticule, 0);
    EXPECT_EQ(message(), " APERTURE GRILLE OFF");
    frames(3, {key::F5});
    EXPECT_EQ(s.view.graticule, 0);
    frame();
    frame({key::F5});
    EXPECT_EQ(s.view.graticule, 1);
    EXPECT_EQ(message(), " APERTURE GRILLE ON");

    const char* const labels[] = {" MELBOURNE", " INVERSE INK", " COLOR"};
    for (int i = 0; i < 3; i++) {
        frame();
        frames(2, {key::F6});
        EXPECT_EQ(s.view.screen_mode, (i + 1) % 3);
        EXPECT_EQ(message(), labels[i]);
    }
    // Two keys in one frame: both act, the later one's message stays.
    frame();
    frame({key::F5, key::F6});
    EXPECT_EQ(s.view.graticule, 0);
    EXPECT_EQ(s.view.screen_mode, 1);
    EXPECT_EQ(message(), " MELBOURNE");
}

TEST_F(Controls, ResetRepeatsWhileF12IsHeld) {
    for (int i = 0; i < 5; i++) {
        m.tstates = 1000 + i;
        m.tstatesh = 2000;
        m.IFBCLK = 3;
        m.z80.PC = 0x8000;
        frame({key::F12});
        EXPECT_EQ(m.tstates, 0) << "frame " << i;
        EXPECT_EQ(m.tstatesh, 0);
        EXPECT_EQ(m.IFBCLK, 0);
        EXPECT_EQ(m.z80.PC, 0);
        EXPECT_EQ(message(), " RESET");
    }
    m.tstates = 1234;
    frame();
    EXPECT_EQ(m.tstates, 1234);
}

TEST_F(Controls, HomeRestoresAChangedViewElseStepsTheFitMode) {
    frame({key::F1});
    frame();
    frame({key::HOME});
    EXPECT_EQ(message(), " RESTORE");
    EXPECT_EQ(s.view.scale, 1.0f);
    EXPECT_EQ(s.view.fit_mode, 1);

    const struct {
        int mode;
        float x, y, ortho_y; // on the 16:9 screen of a fresh machine
        const char* text;
    } steps[] = {{2, 256, 192, 96, " GAME"},
                 {3, 352, 288, 144, " FULL"},
                 {0, 344, 258, 129, " FIT"},
                 {1, 352, 288, 96.75f, " FILL"}};
    for (const auto& step : steps) {
        frame();
        frame({key::HOME});
        EXPECT_EQ(s.view.fit_mode, step.mode);
        EXPECT_EQ(s.view.fit_x, step.x);
        EXPECT_EQ(s.view.fit_y, step.y);
        EXPECT_FLOAT_EQ(s.view.ULA_ortho_y, step.ortho_y) << "the projection follows the mode";
        EXPECT_EQ(message(), step.text);
    }

    // Any turn or pan, or a NaN anywhere, counts as a changed view.
    for (float* setting :
         {&s.view.rotate, &s.view.translate_x, &s.view.translate_y, &s.view.scale}) {
        *setting = setting == &s.view.scale ? std::numeric_limits<float>::quiet_NaN() : 0.5f;
        frame();
        frame({key::HOME});
        EXPECT_EQ(message(), " RESTORE");
        EXPECT_EQ(s.view.fit_mode, 1);
        EXPECT_EQ(s.view.scale, 1.0f);
        EXPECT_EQ(s.view.rotate, 0.0f);
        EXPECT_EQ(s.view.translate_x, 0.0f);
        EXPECT_EQ(s.view.translate_y, 0.0f);
    }
}

TEST_F(Controls, F9CyclesTheOverlayAndStopsTheMessageTimer) {
    s.text.overlay = 2;
    s.text.overlay_timeout = 150;
    frame({key::F9});
    EXPECT_EQ(s.text.overlay, 0);
    EXPECT_EQ(s.text.overlay_timeout, 0);
    EXPECT_EQ(message(), "") << "no message of its own";
    frame();
    frame({key::F9});
    EXPECT_EQ(s.text.overlay, 1);

    // With the requester open only F9 acts, and it flips the page between opaque and
    // translucent without touching the timer.
    s.file_requester_mode = 1;
    s.text.overlay = 2;
    s.text.overlay_timeout = 150;
    frame();
    frame({key::F9, key::F5, key::F6, key::F12, key::HOME});
    EXPECT_EQ(s.text.overlay, 1);
    EXPECT_EQ(s.text.overlay_timeout, 150);
    EXPECT_EQ(s.view.graticule, 1);
    EXPECT_EQ(s.view.screen_mode, 0);
    EXPECT_EQ(s.view.fit_mode, 1);
    frame();
    frame({key::F9});
    EXPECT_EQ(s.text.overlay, 2);
}

// The keys that act while held remember the overlay state only in the frame of their press:
// a state chosen with F9 while such a key is held is not what the message returns to.
TEST_F(Controls, HeldKeysRememberTheOverlayOnlyWhenPressed) {
    for (int k : {key::F1, key::F2, key::F3, key::F4, key::F12}) {
        s.text.overlay = 0;
        s.text.overlay_old = 2;
        s.text.overlay_timeout = 0;
        frame();
        frame({k});
        EXPECT_EQ(s.text.overlay_old, 0) << "key " << k;
        frame({k, key::F9}); // overlay 1, the timer stopped
        ASSERT_EQ(s.text.overlay_timeout, 0);
        frame({k});
        EXPECT_EQ(s.text.overlay_old, 0) << "key " << k;
        EXPECT_EQ(s.text.overlay_timeout, 200);
    }
    // Panning and the pressed keys remember whenever no message runs.
    s.text.overlay = 0;
    frame();
    frame({WIN, key::RIGHT});
    frame({WIN, key::RIGHT, key::F9});
    frame({WIN, key::RIGHT});
    EXPECT_EQ(s.text.overlay_old, 1);
    s.text.overlay = 2;
    s.text.overlay_timeout = 0;
    frame();
    frame({key::F6});
    EXPECT_EQ(s.text.overlay_old, 2);
}

// Windows + Z switches the CPU model once per press, saying which; Z alone is the
// Spectrum's key and switches nothing.
TEST_F(Controls, WindowsZSwitchesTheCpuModel) {
    ASSERT_EQ(m.cpu_model, CpuModel::standard);
    frame({key::letter('z')});
    EXPECT_EQ(m.cpu_model, CpuModel::standard);
    frame();
    frame({WIN, key::letter('z')});
    EXPECT_EQ(m.cpu_model, CpuModel::zilog);
    EXPECT_EQ(message(), " CPU ZILOG NMOS");
    frames(3, {WIN, key::letter('z')}); // held: no repeat
    EXPECT_EQ(m.cpu_model, CpuModel::zilog);
    frame();
    frame({WIN, key::letter('z')});
    EXPECT_EQ(m.cpu_model, CpuModel::standard);
    EXPECT_EQ(message(), " CPU STANDARD");
}

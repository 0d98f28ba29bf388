// The emulator's own keys, one physical frame at a time: each frame samples the keyboard
// with exactly the given keys down and then runs the control keys.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/view.h"
#include "files/files.h"
#include "host/headless/headless.h"
#include "input/controls.h"
#include "input/keyboard.h"
#include "input/keys.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"
#include "text/text.h"
#include "ula/ula.h"
#include "z80/z80.h"

namespace {
class Controls : public testing::Test {
  protected:
    void SetUp() override {
        fresh_machine();
        use_code_charset();
        headless::on_pump = [this] {
            std::memset(headless::keys, 0, sizeof headless::keys);
            for (int k : down_) headless::keys[k] = 1;
        };
    }
    void TearDown() override { headless::on_pump = nullptr; }

    // One physical frame with exactly `keys` down.
    void frame(std::vector<int> keys = {}) {
        down_ = std::move(keys);
        read_keyboard();
        handle_control_keys();
    }
    void frames(int n, const std::vector<int>& keys) {
        for (int i = 0; i < n; i++) frame(keys);
    }

    // The message row, without the blanks after the message.
    static std::string message() {
        std::string row = text_row(MESSAGE_ROW);
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    }
    // Forget the message, so that a frame that shows none can be told apart.
    static void clear_message() {
        TXTCLSLN(MESSAGE_ROW, 1);
        overlay_timeout = 0;
    }

  private:
    std::vector<int> down_;
};

constexpr int WIN = key::LSUPER;
} // namespace

TEST_F(Controls, KeypadLoadsAndWindowsKeypadSavesChannels) {
    TempDir dir;
    application_path = dir.path().string() + "/";
    RAM[0x8000] = 0x5A;
    frame({WIN, key::keypad(3)});
    EXPECT_EQ(message(), " SAVE CHANNEL 3");
    ASSERT_TRUE(std::filesystem::exists(dir.path() / "CH3"));
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "CH3"), CHANNEL_FILE_SIZE);

    frame();
    RAM[0x8000] = 0;
    frame({key::keypad(3)});
    EXPECT_EQ(message(), " LOAD CHANNEL 3");
    EXPECT_EQ(RAM[0x8000], 0x5A);
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

struct PanCase {
    int arrow;
    float* offset;
    float start;
    float limit;
    const char* text;
};

// One step takes the pan to its limit with a message; at the limit nothing happens at all.
TEST_F(Controls, PanningStopsAtItsLimitsSilently) {
    const PanCase cases[] = {{key::LEFT, &translate_x, -399, -400, " PAN X- -400"},
                             {key::RIGHT, &translate_x, 399, 400, " PAN X+ +400"},
                             {key::UP, &translate_y, -239, -240, " PAN Y- -240"},
                             {key::DOWN, &translate_y, 239, 240, " PAN Y+ +240"}};
    for (const PanCase& c : cases) {
        translate_x = translate_y = 0;
        *c.offset = c.start;
        clear_message();
        frame({WIN, c.arrow});
        EXPECT_EQ(*c.offset, c.limit);
        EXPECT_EQ(message(), c.text);
        EXPECT_EQ(overlay_timeout, 200);

        clear_message();
        frames(3, {WIN, c.arrow});
        EXPECT_EQ(*c.offset, c.limit);
        EXPECT_EQ(message(), "") << c.text;
        EXPECT_EQ(overlay_timeout, 0) << c.text;
    }
    // Without the Windows key the arrows belong to the Spectrum.
    translate_x = translate_y = 0;
    frames(2, {key::LEFT, key::UP});
    EXPECT_EQ(translate_x, 0);
    EXPECT_EQ(translate_y, 0);
    EXPECT_EQ(message(), "");
}

TEST_F(Controls, ShrinkingStopsJustBelowZero) {
    frames(200, {key::F1});
    EXPECT_GT(scale, 0.0f);
    EXPECT_LT(scale, 0.005f);
    frame({key::F1});
    EXPECT_LT(scale, 0.0f);
    EXPECT_GT(scale, -0.0051f);
    EXPECT_EQ(message(), " SCALE-   0%");
    const float last = scale;
    clear_message();
    frames(5, {key::F1});
    EXPECT_EQ(scale, last);
    EXPECT_EQ(message(), "");
}

TEST_F(Controls, GrowingStopsOnceAboveFour) {
    frames(599, {key::F2});
    EXPECT_LE(scale, 4.0f);
    frame({key::F2});
    EXPECT_GT(scale, 4.0f);
    EXPECT_LT(scale, 4.0001f);
    EXPECT_EQ(message(), " SCALE+ 400%");
    const float last = scale;
    clear_message();
    frames(5, {key::F2});
    EXPECT_EQ(scale, last);
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
        {&scale, 1.0f, key::F1, " SCALE-  99%"},     // 0.995
        {&scale, 1.0f, key::F2, " SCALE+ 100%"},     // 1.005
        {&scale, 0.5f, key::F2, " SCALE+  50%"},     // 0.505
        {&rotate, 0.0f, key::F3, " ROTATE- 360"},    // -0.5
        {&rotate, -89.5f, key::F3, " ROTATE- 270"},  // -90
        {&rotate, -719.5f, key::F3, " ROTATE- 360"}, // -720
        {&rotate, -1.0f, key::F4, " ROTATE+ 360"},   // -0.5
        {&rotate, 0.0f, key::F4, " ROTATE+   0"},    // 0.5
        {&rotate, 359.5f, key::F4, " ROTATE+   0"},  // 360
        {&rotate, 400.0f, key::F4, " ROTATE+  40"},  // 400.5
    };
    for (const NumberCase& c : cases) {
        scale = 1.0f;
        rotate = 0.0f;
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
    EXPECT_EQ(graticule, 0);
    EXPECT_EQ(message(), " APERTURE GRILLE OFF");
    frames(3, {key::F5});
    EXPECT_EQ(graticule, 0);
    frame();
    frame({key::F5});
    EXPECT_EQ(graticule, 1);
    EXPECT_EQ(message(), " APERTURE GRILLE ON");

    const char* const labels[] = {" MELBOURNE", " INVERSE INK", " COLOR"};
    for (int i = 0; i < 3; i++) {
        frame();
        frames(2, {key::F6});
        EXPECT_EQ(screen_mode, (i + 1) % 3);
        EXPECT_EQ(message(), labels[i]);
    }
    // Two keys in one frame: both act, the later one's message stays.
    frame();
    frame({key::F5, key::F6});
    EXPECT_EQ(graticule, 0);
    EXPECT_EQ(screen_mode, 1);
    EXPECT_EQ(message(), " MELBOURNE");
}

TEST_F(Controls, ResetRepeatsWhileF12IsHeld) {
    for (int i = 0; i < 5; i++) {
        tstates = 1000 + i;
        tstatesh = 2000;
        IFBCLK = 3;
        z80.PC = 0x8000;
        frame({key::F12});
        EXPECT_EQ(tstates, 0) << "frame " << i;
        EXPECT_EQ(tstatesh, 0);
        EXPECT_EQ(IFBCLK, 0);
        EXPECT_EQ(z80.PC, 0);
        EXPECT_EQ(message(), " RESET");
    }
    tstates = 1234;
    frame();
    EXPECT_EQ(tstates, 1234);
}

TEST_F(Controls, HomeRestoresAChangedViewElseStepsTheFitMode) {
    frame({key::F1});
    frame();
    frame({key::HOME});
    EXPECT_EQ(message(), " RESTORE");
    EXPECT_EQ(scale, 1.0f);
    EXPECT_EQ(fit_mode, 1);

    const struct {
        int mode;
        float x, y, ortho_y; // on the 16:9 screen of a fresh machine
        const char* text;
    } steps[] = {{2, 256, 192, 96, " GAME"},
                 {3, 352, 288, 144, " FULL"},
                 {0, 344, 258, 129, " FIT"},
                 {1, 352, 288, 96.75f, " FILL"}};
    for (const auto& s : steps) {
        frame();
        frame({key::HOME});
        EXPECT_EQ(fit_mode, s.mode);
        EXPECT_EQ(fit_x, s.x);
        EXPECT_EQ(fit_y, s.y);
        EXPECT_FLOAT_EQ(ULA_ortho_y, s.ortho_y) << "the projection follows the mode";
        EXPECT_EQ(message(), s.text);
    }

    // Any turn or pan, or a NaN anywhere, counts as a changed view.
    for (float* setting : {&rotate, &translate_x, &translate_y, &scale}) {
        *setting = setting == &scale ? std::numeric_limits<float>::quiet_NaN() : 0.5f;
        frame();
        frame({key::HOME});
        EXPECT_EQ(message(), " RESTORE");
        EXPECT_EQ(fit_mode, 1);
        EXPECT_EQ(scale, 1.0f);
        EXPECT_EQ(rotate, 0.0f);
        EXPECT_EQ(translate_x, 0.0f);
        EXPECT_EQ(translate_y, 0.0f);
    }
}

TEST_F(Controls, F9CyclesTheOverlayAndStopsTheMessageTimer) {
    overlay = 2;
    overlay_timeout = 150;
    frame({key::F9});
    EXPECT_EQ(overlay, 0);
    EXPECT_EQ(overlay_timeout, 0);
    EXPECT_EQ(message(), "") << "no message of its own";
    frame();
    frame({key::F9});
    EXPECT_EQ(overlay, 1);

    // With the requester open only F9 acts, and it flips the page between opaque and
    // translucent without touching the timer.
    file_requester_mode = 1;
    overlay = 2;
    overlay_timeout = 150;
    frame();
    frame({key::F9, key::F5, key::F6, key::F12, key::HOME});
    EXPECT_EQ(overlay, 1);
    EXPECT_EQ(overlay_timeout, 150);
    EXPECT_EQ(graticule, 1);
    EXPECT_EQ(screen_mode, 0);
    EXPECT_EQ(fit_mode, 1);
    frame();
    frame({key::F9});
    EXPECT_EQ(overlay, 2);
}

// The keys that act while held remember the overlay state only in the frame of their press:
// a state chosen with F9 while such a key is held is not what the message returns to.
TEST_F(Controls, HeldKeysRememberTheOverlayOnlyWhenPressed) {
    for (int k : {key::F1, key::F2, key::F3, key::F4, key::F12}) {
        overlay = 0;
        overlay_old = 2;
        overlay_timeout = 0;
        frame();
        frame({k});
        EXPECT_EQ(overlay_old, 0) << "key " << k;
        frame({k, key::F9}); // overlay 1, the timer stopped
        ASSERT_EQ(overlay_timeout, 0);
        frame({k});
        EXPECT_EQ(overlay_old, 0) << "key " << k;
        EXPECT_EQ(overlay_timeout, 200);
    }
    // Panning and the pressed keys remember whenever no message runs.
    overlay = 0;
    frame();
    frame({WIN, key::RIGHT});
    frame({WIN, key::RIGHT, key::F9});
    frame({WIN, key::RIGHT});
    EXPECT_EQ(overlay_old, 1);
    overlay = 2;
    overlay_timeout = 0;
    frame();
    frame({key::F6});
    EXPECT_EQ(overlay_old, 2);
}

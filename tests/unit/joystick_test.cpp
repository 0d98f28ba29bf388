// The joystick: gamepad and keyboard into the Kempston port or the Sinclair and cursor keys.
#include <gtest/gtest.h>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
class Joystick : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    void SetUp() override { test_host().reset(); }
    void TearDown() override { test_host().on_pump = nullptr; }
    // Windows+J pressed in one pump of the events, and the control keys of that frame.
    void press_windows_j() {
        test_host().reset();
        s.read_keyboard();
        test_host().on_pump = [] {
            test_host().keys[key::LSUPER] = test_host().keys[key::letter('j')] = 1;
        };
        s.read_keyboard();
        test_host().on_pump = nullptr;
        s.handle_control_keys();
    }
    // The port value the machine reads with the keys held now.
    uint8_t read(uint16_t port) {
        s.keyboard.update_key_rows(s.machine);
        return m.readport(port);
    }
};

// Each direction and fire, in the Kempston port's bit order: right, left, down, up, fire.
constexpr int JOY_KEYS[5] = {key::JOY_RIGHT, key::JOY_LEFT, key::JOY_DOWN, key::JOY_UP,
                             key::JOY_FIRE};
} // namespace

TEST_F(Joystick, KempstonPortShowsEachDirectionAndFireAndZeroWhenIdle) {
    EXPECT_EQ(read(0x001F), 0x00);
    for (int b = 0; b < 5; b++) {
        test_host().reset();
        test_host().keys[JOY_KEYS[b]] = 1;
        EXPECT_EQ(read(0x001F), 1 << b) << "bit " << b;
        EXPECT_EQ(read(0x7FFE) & 0x1F, 0x1F) << "the keyboard sees nothing";
    }
    s.keyboard.gamepad = 0x18; // up and fire from a gamepad
    test_host().reset();
    EXPECT_EQ(read(0x001F), 0x18);
}

TEST_F(Joystick, SinclairAndCursorMapsPressTheirKeys) {
    struct Case {
        Session::JoystickMap map;
        uint16_t port[5]; // the half-row each of right, left, down, up, fire presses
        uint8_t bit[5];
    };
    const Case cases[] = {
        // Sinclair: right 7, left 6, down 8, up 9, fire 0 (all on A12)
        {Session::JoystickMap::SINCLAIR,
         {0xEFFE, 0xEFFE, 0xEFFE, 0xEFFE, 0xEFFE},
         {0x08, 0x10, 0x04, 0x02, 0x01}},
        // Cursor: right 8, left 5 (A11), down 6, up 7, fire 0
        {Session::JoystickMap::CURSOR,
         {0xEFFE, 0xF7FE, 0xEFFE, 0xEFFE, 0xEFFE},
         {0x04, 0x10, 0x10, 0x08, 0x01}},
    };
    for (const Case& c : cases) {
        s.keyboard.joystick_map = c.map;
        for (int b = 0; b < 5; b++) {
            test_host().reset();
            test_host().keys[JOY_KEYS[b]] = 1;
            EXPECT_EQ(read(c.port[b]) & 0x1F, 0x1F & ~c.bit[b]) << "direction bit " << b;
            EXPECT_EQ(read(0xFEFE) & 0x01, 0x01) << "no CAPS SHIFT";
            EXPECT_EQ(read(0x001F), 0x00) << "the Kempston port stays idle";
        }
    }
}

TEST_F(Joystick, ArrowsAndTabBecomeTheJoystickWithWindowsJ) {
    test_host().keys[key::UP] = 1;
    EXPECT_EQ(read(0xFEFE) & 0x01, 0x00) << "an arrow is CAPS SHIFT + 7 by default";
    EXPECT_EQ(read(0x001F), 0x00);

    press_windows_j();
    EXPECT_TRUE(s.keyboard.joystick_keys);
    test_host().reset();
    test_host().keys[key::UP] = test_host().keys[key::TAB] = 1;
    EXPECT_EQ(read(0x001F), 0x18);
    EXPECT_EQ(read(0x00FE) & 0x1F, 0x1F) << "the arrow no longer presses keys";

    // Windows+J again: the cursor keys are back.
    press_windows_j();
    EXPECT_FALSE(s.keyboard.joystick_keys);
}

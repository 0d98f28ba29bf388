// Keys pressed and let go between two reads of the key states: the host's key events keep
// them. A control key counts as pressed for one read; a Spectrum key is played into the
// matrix for a logical frame, one tap after another, so that the ROM's scan sees each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "frontend/typing.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tools/screen_text.h"

namespace {
// The half-row port of each address line A8..A15 and the matrix bits read there.
uint8_t matrix(const Spectrum& m, int line) {
    return static_cast<uint8_t>(
        ~m.keyboard_matrix_read(static_cast<uint16_t>((0xFF & ~(1 << (line - 8))) << 8 | 0xFE),
                                0xFF) &
        0x1F);
}
constexpr int CAPS_LINE = 8, SYMBOL_LINE = 15;

// A press and its release in the same pump.
void tap(int key, uint32_t character = 0) {
    test_host().queue_key_event(key, true, character);
    test_host().queue_key_event(key, false);
}

class Taps : public testing::Test {
  protected:
    Session& s = fresh_session();
    Spectrum& m = s.machine;
    void TearDown() override { test_host().on_pump = nullptr; }
};
} // namespace

TEST_F(Taps, ATappedControlKeyIsPressedForOneRead) {
    tap(key::ESCAPE);
    s.read_keyboard();
    EXPECT_EQ(test_host().keys[key::ESCAPE], 0) << "the key-state array never saw it";
    EXPECT_TRUE(s.keyboard.key_held(key::ESCAPE));
    EXPECT_TRUE(s.keyboard.key_pressed(key::ESCAPE));
    s.read_keyboard();
    EXPECT_FALSE(s.keyboard.key_held(key::ESCAPE));
    EXPECT_FALSE(s.keyboard.key_pressed(key::ESCAPE));

    // Through a physical frame end: a tapped Escape ends the program.
    tap(key::ESCAPE);
    m.tstatesh = m.tpfh;
    s.render_physical_frame();
    EXPECT_EQ(s.exit_request, 1);
}

TEST_F(Taps, ATapHoldsTheMatrixForOneLogicalFrameThenTheNext) {
    const int a = key::letter('a'), s_key = key::letter('s');
    tap(a);
    tap(s_key);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x01) << "A alone first";
    // Still A until two logical frames of machine time have passed.
    m.tstates = 2 * m.tpf - 1;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x01);
    m.tstates = 2 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00) << "A let go after two frames";
    // S waits until six frames from A's start: the ROM has a key slot free again.
    m.tstates = 6 * m.tpf - 1;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00);
    m.tstates = 6 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x02) << "then S";
    m.tstates = 8 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00);
    EXPECT_TRUE(s.keyboard.tap_queue.empty());

    // The same key again waits nine frames: the ROM would take it for S still held.
    tap(s_key);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00);
    m.tstates = 15 * m.tpf - 1;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00);
    m.tstates = 15 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x02);
}

// The Shift held at the moment of the tap, by the order of the events, goes with it.
TEST_F(Taps, ATapKeepsTheShiftOfItsMoment) {
    test_host().queue_key_event(key::LSHIFT, true);
    tap(key::letter('z'));
    test_host().queue_key_event(key::LSHIFT, false);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x03) << "CAPS SHIFT and Z";
}

// A press held longer plays its tap and then stays down as long as the array says; a press
// made while earlier taps wait comes after them, and the shifts held now wait with it.
TEST_F(Taps, HeldKeysFollowTheirTapsInOrder) {
    const int q = key::letter('q'), w = key::letter('w');
    tap(key::letter('a'));
    test_host().queue_key_event(key::LSHIFT, true);
    test_host().queue_key_event(q, true);
    // The array changes in the pump, as a host's does.
    test_host().on_pump = [&] { test_host().keys[key::LSHIFT] = test_host().keys[q] = 1; };
    s.read_keyboard();
    test_host().on_pump = nullptr;
    EXPECT_EQ(matrix(m, 9), 0x01) << "A first";
    EXPECT_EQ(matrix(m, 10), 0x00) << "Q waits for its turn";
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00) << "the Shift is Q's, not A's";
    m.tstates = 6 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x00);
    EXPECT_EQ(matrix(m, 10), 0x01);
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x01);
    m.tstates = 20 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 10), 0x01) << "held as long as the array says";
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x01);
    // Without events (a script setting the array) a held key is down at once.
    test_host().keys[w] = 1;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 10), 0x03);
    test_host().keys[q] = test_host().keys[w] = test_host().keys[key::LSHIFT] = 0;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 10), 0x00);
}

TEST_F(Taps, NoTapReachesTheMachineFromTheRequesterOrWithWindows) {
    s.file_requester_mode = 1;
    tap(key::letter('a'));
    s.read_keyboard();
    s.file_requester_mode = 0;
    test_host().keys[key::LSUPER] = 1;
    tap(key::letter('b'));
    s.read_keyboard();
    EXPECT_TRUE(s.keyboard.tap_queue.empty() && s.keyboard.tap_playing.keys.empty());
}

// The ROM itself: five letters, each pressed and let go within one read of the keyboard,
// all in the same one, are all typed, the repeated one too.
TEST_F(Taps, TheRomTypesFiveLettersTappedAtOnce) {
    ASSERT_TRUE(read_rom(m)) << "1982.rom is missing";
    s.start_machine();
    bool tapped = false;
    test_host().on_pump = [&] {
        if (tapped || s.logical_frames < 150) return;
        for (char c : std::string("hello")) tap(key::letter(c));
        tapped = true;
    };
    s.read_keyboard();
    s.run_machine(240);
    ASSERT_TRUE(tapped);
    EXPECT_NE(screen_text_joined(m).find("hello"), std::string::npos) << screen_text_joined(m);
}

// A line and the RUN after it, every key pressed and let go in one read: the ROM takes
// each in turn (the doubled 1 too), and the R of RUN waits until the line is entered.
TEST_F(Taps, TheRomTakesALineAndItsRunTypedAtOnce) {
    ASSERT_TRUE(read_rom(m)) << "1982.rom is missing";
    s.start_machine();
    s.run_machine(100);
    for (const char c : std::string("10 PRINT 11\nRUN\n")) {
        const std::vector<int> keys = keys_for_char(c);
        if (keys.size() > 1) test_host().queue_key_event(keys[0], true);
        tap(keys.back());
        if (keys.size() > 1) test_host().queue_key_event(keys[0], false);
    }
    s.read_keyboard();
    s.run_machine(300);
    const std::string screen = screen_text_joined(m);
    EXPECT_EQ(screen.find("11\n"), 0u) << screen;
    EXPECT_NE(screen.find("OK, 10:1"), std::string::npos) << screen;
}

// Typed text when the ROM does not take keys (here none runs): each key held, then the
// next after a pause, and a repeated key only once it has been up REPEAT_GAP frames.
TEST_F(Taps, TypedTextKeepsItsPaceWithoutTheRom) {
    const int l = key::letter('l');
    for (const int hold : {1, 3}) {
        s.keyboard.type_taps({{l}, {l}, {key::letter('k')}}, hold);
        std::vector<int> downs; // the frames at which L or K is down
        for (int frame = 0; frame < 30; frame++) {
            m.tstates = frame * m.tpf;
            s.read_keyboard();
            if (matrix(m, 14) & 0x06) downs.push_back(frame);
        }
        const std::vector<int> expected = hold == 1
                                              ? std::vector<int>{0, 7, 9}
                                              : std::vector<int>{0, 1, 2, 9, 10, 11, 15, 16, 17};
        EXPECT_EQ(downs, expected) << "held " << hold;
        s.logical_tstates += 100 * static_cast<uint64_t>(m.tpf);
    }
}

// Typing by character: the PC's character chooses the Spectrum's combination.
TEST_F(Taps, TypingByCharacterPressesTheSymbolCombination) {
    // Each press in its own read, long after the last: no tap waits for another.
    auto press = [&](int k, uint32_t character) {
        s.logical_tstates += 10 * static_cast<uint64_t>(m.tpf);
        test_host().keys[k] = 1;
        test_host().queue_key_event(k, true, character);
        s.read_keyboard();
    };
    auto release = [&](int k) {
        test_host().keys[k] = 0;
        test_host().queue_key_event(k, false);
        s.read_keyboard();
    };
    const int equals = '='; // the PC key "=", which has no place on the Spectrum
    test_host().keys[key::LSHIFT] = 1;
    press(equals, '+');
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x01) << "positional: Shift alone, as before";
    EXPECT_EQ(matrix(m, 14), 0x00);
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x00);
    release(equals);

    s.keyboard.type_chars = true;
    press(equals, '+');
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x02) << "SYMBOL SHIFT";
    EXPECT_EQ(matrix(m, 14), 0x04) << "K";
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00) << "no CAPS SHIFT from the Shift that made '+'";
    s.logical_tstates += 10 * static_cast<uint64_t>(m.tpf);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 14), 0x04) << "held, after its tap";
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00);
    release(equals);

    // Shift on a letter stays CAPS SHIFT.
    press(key::letter('a'), 'A');
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x01);
    EXPECT_EQ(matrix(m, 9), 0x01);
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x00);
    release(key::letter('a'));

    // A shifted digit that makes a symbol: '!' is SYMBOL SHIFT + 1; '1' itself stays 1.
    press(key::digit(1), '!');
    EXPECT_EQ(matrix(m, 11), 0x01);
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x02);
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00);
    release(key::digit(1));
    test_host().keys[key::LSHIFT] = 0;
    press(key::digit(1), '1');
    EXPECT_EQ(matrix(m, 11), 0x01);
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x00);
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00);
}

// A tapped symbol in typing by character plays its combination as a tap.
TEST_F(Taps, ATappedSymbolPlaysItsCombination) {
    s.keyboard.type_chars = true;
    test_host().queue_key_event(key::LSHIFT, true);
    test_host().queue_key_event('\'', true, '"');
    test_host().queue_key_event('\'', false);
    test_host().queue_key_event(key::LSHIFT, false);
    test_host().keys[key::LSHIFT] = 0;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 13), 0x01) << "P";
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x02);
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00);
}

// Windows pressed in one pump and let go in the next with P pressed and let go before it:
// still Windows+P for the emulator, and no P for the Spectrum.
TEST_F(Taps, AWindowsComboSplitOverTwoPumpsStaysTheEmulators) {
    test_host().on_pump = [] { test_host().keys[key::LSUPER] = 1; };
    test_host().queue_key_event(key::LSUPER, true);
    s.read_keyboard();
    test_host().on_pump = [] { test_host().keys[key::LSUPER] = 0; };
    tap(key::letter('p'));
    test_host().queue_key_event(key::LSUPER, false);
    s.read_keyboard();
    EXPECT_TRUE(s.keyboard.win_held());
    EXPECT_TRUE(s.keyboard.key_pressed(key::letter('p')));
    EXPECT_TRUE(s.keyboard.tap_queue.empty() && s.keyboard.tap_playing.keys.empty());
    s.read_keyboard();
    EXPECT_FALSE(s.keyboard.win_held());
}

// Keys typed ahead keep playing while the Windows key is held for an emulator key (a
// screenshot taken while they play): the tap was pressed without it, so it still reaches
// the matrix; only a key held now is the emulator's.
TEST_F(Taps, ATapTypedAheadPlaysThroughAWindowsKeyHeldLater) {
    const int a = key::letter('a'), s_key = key::letter('s');
    tap(a);
    tap(s_key);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x01);
    test_host().keys[key::LSUPER] = 1;
    test_host().keys[key::letter('q')] = 1; // held with Windows: the emulator's
    test_host().queue_key_event(key::LSUPER, true);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x01) << "A still plays with Windows held";
    EXPECT_EQ(matrix(m, 10), 0x00) << "Q held with Windows is not the machine's";
    m.tstates = 6 * m.tpf;
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 9), 0x02) << "S plays in its turn, Windows still held";
    test_host().keys[key::LSUPER] = 0;
    test_host().keys[key::letter('q')] = 0;
}

// A press that comes without its character: the US keyboard's character stands in.
TEST_F(Taps, APressWithoutItsCharacterTakesTheUsKeyboards) {
    s.keyboard.type_chars = true;
    test_host().queue_key_event(key::LSHIFT, true);
    tap('=');
    test_host().queue_key_event(key::LSHIFT, false);
    s.read_keyboard();
    EXPECT_EQ(matrix(m, 14), 0x04) << "+ is SYMBOL SHIFT + K";
    EXPECT_EQ(matrix(m, SYMBOL_LINE), 0x02);
    EXPECT_EQ(matrix(m, CAPS_LINE), 0x00);
    EXPECT_EQ(us_layout_char('=', false), uint32_t('='));
    EXPECT_EQ(us_layout_char('\'', true), uint32_t('"'));
    EXPECT_EQ(us_layout_char(key::digit(2), true), uint32_t('@'));
    EXPECT_EQ(us_layout_char(key::F1, false), 0u);
}

// The reads skip eight keys at a time where nothing can have happened: each key of the
// array, wherever it lies among the eight, is still seen going down, held and up; and a
// letter held on the array reaches the matrix.
TEST_F(Taps, EveryKeyOfTheArrayIsSeenGoingDownHeldAndUp) {
    // The array changes in the pump, as a host's does.
    auto set_in_pump = [](int k, uint8_t state) {
        test_host().on_pump = [k, state] { test_host().keys[k] = state; };
    };
    for (int k = 0; k < key::LAST_WITH_JOY; k++) {
        set_in_pump(k, 1);
        s.read_keyboard();
        ASSERT_TRUE(s.keyboard.key_pressed(k)) << "key " << k;
        s.read_keyboard();
        ASSERT_TRUE(s.keyboard.key_held(k)) << "key " << k;
        ASSERT_FALSE(s.keyboard.key_pressed(k)) << "key " << k;
        set_in_pump(k, 0);
        s.read_keyboard();
        ASSERT_FALSE(s.keyboard.key_held(k)) << "key " << k;
    }
    // Q, W, E, R, T: A10, bits 0 to 4.
    const char row[] = "qwert";
    for (int i = 0; i < 5; i++) {
        set_in_pump(key::letter(row[i]), 1);
        s.read_keyboard();
        EXPECT_EQ(matrix(m, 10), 1 << i) << row[i];
        set_in_pump(key::letter(row[i]), 0);
        s.read_keyboard();
        EXPECT_EQ(matrix(m, 10), 0) << row[i];
    }
}

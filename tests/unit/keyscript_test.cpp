// The runner's key scripts: what each event presses, and when.
#include <gtest/gtest.h>

#include "frontend/keys.h"
#include "tools/keyscript.h"

namespace {
std::vector<KeyEvent> parse(const std::string& script, int frames_per_key = 3) {
    std::vector<KeyEvent> events;
    std::string error;
    EXPECT_TRUE(parse_key_script(script, frames_per_key, events, error)) << error;
    return events;
}

TEST(KeyScript, TypedCharactersPressTheirSpectrumKeys) {
    struct Case {
        char ch;
        std::vector<int> keys;
    };
    const Case cases[] = {
        {'p', {key::letter('p')}},
        {'P', {key::LSHIFT, key::letter('p')}},
        {'7', {key::digit(7)}},
        {' ', {key::SPACE}},
        {'+', {key::LCTRL, key::letter('k')}},
        {'"', {key::LCTRL, key::letter('p')}},
        {')', {key::LCTRL, key::digit(9)}},
        {';', {key::LCTRL, key::letter('o')}},
    };
    for (const Case& c : cases) EXPECT_EQ(keys_for_char(c.ch), c.keys) << c.ch;
    EXPECT_TRUE(keys_for_char('[').empty()); // no such key on the Spectrum
}

// Typed text is one event: each character's keys, for the session to play in turn.
TEST(KeyScript, TypeQueuesEachCharactersKeys) {
    const auto events = parse("10:type aB<enter><semicolon>", 4);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].frame, 10u);
    EXPECT_EQ(events[0].hold, 4);
    EXPECT_TRUE(events[0].keys.empty());
    EXPECT_EQ(events[0].typed, (std::vector<std::vector<int>>{{key::letter('a')},
                                                              {key::LSHIFT, key::letter('b')},
                                                              {key::RETURN},
                                                              {key::LCTRL, key::letter('o')}}));
}

TEST(KeyScript, PressAndReleaseInFrameOrder) {
    const auto events = parse("50:release win+kp3; 20:press win+kp3\n5:press f7");
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].frame, 5u);
    EXPECT_EQ(events[0].keys, std::vector<int>{key::F7});
    EXPECT_EQ(events[1].keys, (std::vector<int>{key::LSUPER, key::keypad(3)}));
    EXPECT_TRUE(events[1].down);
    EXPECT_FALSE(events[2].down);

    uint8_t keys[key::LAST] = {};
    size_t next = apply_key_events(events, 0, 20, keys);
    EXPECT_EQ(next, 2u);
    EXPECT_TRUE(keys[key::F7] && keys[key::LSUPER] && keys[key::keypad(3)]);
    next = apply_key_events(events, next, 50, keys);
    EXPECT_FALSE(keys[key::LSUPER] || keys[key::keypad(3)]);
    EXPECT_TRUE(keys[key::F7]);
}

TEST(KeyScript, FaultsAreReported) {
    for (const char* script : {"10 press a", "x:press a", "10:press nokey", "10:type [",
                               "10:type <bogus>", "10:type <enter", "10:type <f7>", "10:jump"}) {
        std::vector<KeyEvent> events;
        std::string error;
        EXPECT_FALSE(parse_key_script(script, 3, events, error)) << script;
        EXPECT_FALSE(error.empty()) << script;
    }
}
} // namespace

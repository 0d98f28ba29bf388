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

TEST(KeyScript, TypeHoldsEachCharacterThenReleasesIt) {
    const auto events = parse("10:type ab<enter><semicolon>", 4);
    ASSERT_EQ(events.size(), 8u);
    const uint64_t frames[] = {10, 14, 18, 22, 26, 30, 34, 38};
    for (size_t i = 0; i < events.size(); i++) {
        EXPECT_EQ(events[i].frame, frames[i]) << i;
        EXPECT_EQ(events[i].down, i % 2 == 0) << i;
    }
    EXPECT_EQ(events[4].keys, std::vector<int>{key::RETURN});
    EXPECT_EQ(events[6].keys, (std::vector<int>{key::LCTRL, key::letter('o')}));
}

// The ROM takes a key as pressed again only after it has been up for a while: a doubled
// letter waits longer than the typing rhythm.
TEST(KeyScript, ARepeatedKeyWaitsBeforeItsSecondPress) {
    const auto events = parse("0:type ll");
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].frame, 3u); // first l released
    EXPECT_GE(events[2].frame, 9u); // second l only after 6 frames up
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
                               "10:type <bogus>", "10:type <enter", "10:jump"}) {
        std::vector<KeyEvent> events;
        std::string error;
        EXPECT_FALSE(parse_key_script(script, 3, events, error)) << script;
        EXPECT_FALSE(error.empty()) << script;
    }
}
} // namespace

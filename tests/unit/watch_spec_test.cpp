// Stops as typed on the command line, and the labels the monitor lists them by.
#include <gtest/gtest.h>

#include "frontend/watch_spec.h"

TEST(WatchSpec, ReadsEveryKindWithItsConditionOrSaysWhy) {
    using K = Breakpoint::Kind;
    Symbols symbols;
    std::string error;
    ASSERT_TRUE(symbols.parse("screen EQU 4000h\nattrs EQU 5800h\nula = $FE\n", error));
    const struct {
        K kind;
        const char* text;
        const char* label; // nullptr: refused
    } cases[] = {
        {K::execute, "0x8000", "B 8000"},
        {K::execute, "56", "B 0038"},
        {K::execute, "$8000,a=3", "B 8000,A=03"},
        {K::execute, "#8000,HL=screen", "B 8000,HL=4000"},
        {K::write, "screen-attrs", "W 4000-5800"},
        {K::write, "$5C78", "W 5C78"},
        {K::read, "0x4000-0x4000", "R 4000"},
        {K::read, "$5C78,IY=$5C3A", "R 5C78,IY=5C3A"},
        {K::port_out, "ula/$FF", "O FE/FF"},
        {K::port_out, "254", "O FE"},
        // The mask's clear bits dropped from the port, which could never match otherwise.
        {K::port_in, "0xFFFD/0xC002", "I C000/C002"},
        {K::read, "$5800-$4000", nullptr},
        {K::write, "nowhere", nullptr},
        {K::write, "$4000-", nullptr},
        {K::port_in, "$FE/", nullptr},
        {K::execute, "$8000,A=$100", nullptr},
        {K::execute, "$8000,Q=1", nullptr},
        {K::execute, "$8000,A", nullptr},
        {K::execute, "$8000,HL=nowhere", nullptr},
        {K::execute, "$10000", nullptr},
    };
    for (const auto& c : cases) {
        Breakpoint point{.first = 0x1234};
        error.clear();
        const bool read = parse_watch_spec(c.kind, c.text, symbols, point, error);
        EXPECT_EQ(read, c.label != nullptr) << c.text;
        if (!read) {
            EXPECT_NE(error, "") << c.text;
            EXPECT_EQ(point.first, 0x1234) << c.text; // left as it was
            continue;
        }
        EXPECT_EQ(point.kind, c.kind) << c.text;
        EXPECT_EQ(watch_label(point), c.label) << c.text;
    }
    // What the debugger matches on, behind the labels.
    Breakpoint port;
    ASSERT_TRUE(parse_watch_spec(K::port_in, "0xFFFD/0xC002", symbols, port, error));
    EXPECT_EQ(0xFFFD & port.mask, port.first);
    Breakpoint range;
    ASSERT_TRUE(parse_watch_spec(K::write, "screen-$57FF", symbols, range, error));
    EXPECT_EQ(range.first, 0x4000);
    EXPECT_EQ(range.last, 0x57FF);
}

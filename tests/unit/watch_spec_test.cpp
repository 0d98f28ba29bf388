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
        {K::read, "$5C78,IY=$5C3A", "R 5C78,IY=5C3A"},
        {K::port_out, "ula/$FF", "O FE/FF"},
        {K::port_out, "254", "O FE"},
        // The mask's clear bits dropped from the port, which could never match otherwise.
        {K::port_in, "0xFFFD/0xC002", "I C000/C002"},
        {K::read, "$5800-$4000", nullptr},
        {K::write, "$4000-", nullptr},
        {K::execute, "$8000,A=$100", nullptr},
        {K::execute, "$8000,Q=1", nullptr},
        {K::execute, "$8000,A", nullptr},
    };
    for (const auto& c : cases) {
        Breakpoint point;
        const bool read = parse_watch_spec(c.kind, c.text, symbols, point, error = "");
        // Refused: "" with a reason told, "?" without.
        const std::string got = read ? watch_label(point) : error.empty() ? "?" : "";
        EXPECT_EQ(got, c.label ? c.label : "") << c.text;
    }
}

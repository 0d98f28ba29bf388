// Characters as the Spectrum keyboard types them: which keys make each one. Shared by the
// headless runner's typed text and the full-screen program's typing by character.
#pragma once

#include <cstdint>
#include <vector>

// The host keys that type one character on the Spectrum keyboard: a letter or digit its own
// key (a capital with CAPS SHIFT, the host's Shift), a symbol its key with SYMBOL SHIFT (the
// host's Ctrl): + is SYMBOL SHIFT + K, " is SYMBOL SHIFT + P. Empty if it has none.
std::vector<int> keys_for_char(char ch);

// The keys for a character the Spectrum types only with SYMBOL SHIFT; empty for any other
// (letters, digits, space, and characters it has no key for).
std::vector<int> symbol_keys_for_char(char ch);

// The ROM takes a key that comes back within a few frames of its release for the same press
// still held (its key state counts five interrupts down before it lets a key go), so a
// character that repeats a key of the one before it ("LL", "55") is typed only once the
// key has been up this many logical frames.
constexpr int REPEAT_GAP = 6;

// Whether two key combinations share a key other than the shifts (which the ROM reads apart
// from the key it decodes): the second cannot follow the first at once.
bool share_a_key(const std::vector<int>& a, const std::vector<int>& b);

// The character a key of a US PC keyboard types, with or without Shift; 0 for none. Typing
// by character falls back on it when the host gives a press without its character.
uint32_t us_layout_char(int key, bool shift);

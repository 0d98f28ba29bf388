// Host key codes: the values of the SDL 1.2 key symbols, as plain integers so that the
// machine library needs nothing of the media library. The full-screen host checks at
// compile time that they match.
#pragma once

namespace key {
constexpr int BACKSPACE = 8;
constexpr int TAB = 9;
constexpr int RETURN = 13;
constexpr int ESCAPE = 27;
constexpr int SPACE = 32;
constexpr int NUM_0 = 48;    // '0'..'9' are 48..57
constexpr int LETTER_A = 97; // 'a'..'z' are 97..122
constexpr int KP0 = 256;     // keypad 0..9 are 256..265
constexpr int UP = 273;
constexpr int DOWN = 274;
constexpr int RIGHT = 275;
constexpr int LEFT = 276;
constexpr int HOME = 278;
constexpr int END = 279;
constexpr int PAGEUP = 280;
constexpr int PAGEDOWN = 281;
constexpr int F1 = 282; // F1..F15 are 282..296
constexpr int F2 = 283;
constexpr int F3 = 284;
constexpr int F4 = 285;
constexpr int F5 = 286;
constexpr int F6 = 287;
constexpr int F7 = 288;
constexpr int F8 = 289;
constexpr int F9 = 290;
constexpr int F10 = 291;
constexpr int F11 = 292;
constexpr int F12 = 293;
constexpr int RSHIFT = 303;
constexpr int LSHIFT = 304;
constexpr int RCTRL = 305;
constexpr int LCTRL = 306;
constexpr int RALT = 307;
constexpr int LALT = 308;
constexpr int RMETA = 309;
constexpr int LMETA = 310;
constexpr int LSUPER = 311;
constexpr int RSUPER = 312;
constexpr int LAST = 323; // one past the highest key symbol

// The first gamepad's directions and fire, for a host that presents them as keys (the
// headless runner's scripts): codes past the keyboard's, in the Kempston port's bit order.
constexpr int JOY_RIGHT = 323;
constexpr int JOY_LEFT = 324;
constexpr int JOY_DOWN = 325;
constexpr int JOY_UP = 326;
constexpr int JOY_FIRE = 327;
constexpr int LAST_WITH_JOY = 328;

constexpr int digit(int n) { return NUM_0 + n; }
constexpr int letter(char c) { return LETTER_A + (c - 'a'); }
constexpr int keypad(int n) { return KP0 + n; }
} // namespace key

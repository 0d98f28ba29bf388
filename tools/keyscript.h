// Scripted key presses for the headless host: which keys are down at which logical frame.
//
// A script is a list of events separated by ';' or newlines, each "FRAME:ACTION":
//   50:type 10 PRINT 2+2<enter>   type text from frame 50 on: each character's keys held for
//                                 a few frames, the next as soon as the ROM has taken it
//   120:press f7                  hold keys (several joined with '+', e.g. win+kp3)
//   125:release f7                let them go
//   200:tape play / 300:tape stop start and stop the tape
//   500:rewind 5                  take the machine 5 seconds (250 logical frames) back at the
//                                 end of the logical frame the event falls in; the frame
//                                 numbers go on counting, the machine that far behind them
// Key names: a-z, 0-9, space, enter, shift (CAPS SHIFT), symbol (SYMBOL SHIFT: Ctrl),
// backspace, up, down, left, right, escape, home, end, pageup, pagedown, f1-f12, kp0-kp9,
// win, tab, and the gamepad's joy_up, joy_down, joy_left, joy_right, joy_fire. In typed text,
// capitals add CAPS SHIFT and the symbols of the Spectrum keyboard add SYMBOL SHIFT (+ is SYMBOL
// SHIFT + K, " is SYMBOL SHIFT + P, ...); <enter> is ENTER, <semicolon> types ';' (which itself
// separates events) and <name> is any key of the Spectrum's keyboard by name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/typing.h"

class Session;

// A script event may also work the tape deck instead of keys ("200:tape play").
enum class TapeAction : uint8_t { NONE, PLAY, STOP };

struct KeyEvent {
    uint64_t frame;        // logical frame from which the change applies
    std::vector<int> keys; // host key codes
    bool down;
    TapeAction tape = TapeAction::NONE;
    // Typed text: the keys of each character, for the session's queue of taps
    // (Session::type_taps), each held `hold` logical frames at least.
    std::vector<std::vector<int>> typed = {};
    int hold = 0;
    // Logical frames to take the machine back (Session::request_rewind); 0: none.
    int rewind_frames = 0;
};

// Parses a script; on a fault returns false and sets `error`.
bool parse_key_script(const std::string& script, int frames_per_key, std::vector<KeyEvent>& events,
                      std::string& error);

// The host key code of a key name, or -1.
int key_by_name(const std::string& name);

// keys_for_char: the keys that type one character (frontend/typing.h).

// Applies to `keys` (one byte a key code) every event whose frame has come, in order,
// starting at `next`, and hands typed text and rewinds to `typing` (none without it);
// returns the new `next`.
size_t apply_key_events(const std::vector<KeyEvent>& events, size_t next, uint64_t frame,
                        uint8_t* keys, Session* typing = nullptr);

// The headless host: no window and no sound device. Key states are set by a script or a
// test; presented frames are counted, and the host remembers what it was asked to show.
#pragma once

#include <cstdint>
#include <functional>

#include "frontend/keys.h"

class Session;

namespace headless {
// The key-state array this host owns, one byte per key code.
extern uint8_t keys[key::LAST_WITH_JOY];

// Hands the array to the session's keyboard.
void attach_keyboard(Session& session);

// Called at every pump of events, before the keyboard edges are computed: a script sets
// keys here. Empty by default. Setting `quit` asks the program to end, as closing the
// window does.
extern std::function<void()> on_pump;

struct Stats {
    uint64_t presents = 0; // host_present calls
    uint64_t pumps = 0;    // host_pump_events calls
    uint64_t clears = 0;   // host_clear_screen calls
    int previous = -1, current = -1;
    float previous_weight = 0, current_weight = 0;
    bool audio_paused = true;
    uint64_t audio_resumes = 0;
};
// Key events for the next pump, in order (the key code, down or up, the character a press
// types): delivered to the attached session after on_pump, as a host takes them from its
// queue. The caller sets `keys` to the states they leave.
void queue_key_event(int key, bool down, uint32_t character = 0);

extern bool quit;
extern Stats stats;

// Forgets the script and the statistics and releases every key.
void reset();
} // namespace headless

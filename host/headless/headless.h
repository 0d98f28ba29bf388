// The headless host: no window and no sound device. Key states are set by a script or a
// test; presented frames are counted, and the host remembers what it was asked to show.
// Everything it keeps is its own: two sessions, each with a host of its own, run side by
// side in one process.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "frontend/host.h"
#include "frontend/keys.h"

class HeadlessHost : public Host {
  public:
    // The key-state array, one byte per key code.
    uint8_t keys[key::LAST_WITH_JOY] = {};

    // Called at every pump of events, before the keyboard edges are computed: a script sets
    // keys here. Empty by default. Setting `quit` asks the program to end, as closing the
    // window does.
    std::function<void()> on_pump;
    bool quit = false;

    struct Stats {
        uint64_t presents = 0; // present calls
        uint64_t pumps = 0;    // pump_events calls
        uint64_t clears = 0;   // clear_screen calls
        int previous = -1, current = -1;
        float previous_weight = 0, current_weight = 0;
        bool audio_paused = true;
        uint64_t audio_resumes = 0;
    };
    Stats stats;

    // Hands the key-state array to the session's keyboard.
    void attach_keyboard(Session& session);
    // Key events for the next pump, in order (the key code, down or up, the character a
    // press types): given to the pumping session after on_pump, as a host takes them from
    // its queue. The caller sets `keys` to the states they leave.
    void queue_key_event(int key, bool down, uint32_t character = 0);
    // Forgets the script, the queued events and the statistics, and releases every key.
    void reset();

    bool pump_events(Session& session) override;
    void present(Session& session, int previous, float previous_weight, int current,
                 float current_weight) override;
    void clear_screen() override { stats.clears++; }
    void audio_pause(bool paused) override;
    // Nothing plays concurrently without a device.
    void audio_lock() override {}
    void audio_unlock() override {}

  private:
    struct QueuedKey {
        int key;
        bool down;
        uint32_t character;
    };
    std::vector<QueuedKey> queued;
};

// The few things a session asks of its host, handed to it as an object: the full-screen host
// (window, OpenGL, audio device) and the headless host (tests, runner, benchmarks) each
// implement them. The session calls them a few times a frame, never per instruction.
#pragma once

class Session;

class Host {
  public:
    virtual ~Host() = default;

    // Refreshes the key-state array the host handed to the session's keyboard, and gives
    // `session` the key events taken from the host's queue, in order. True when the user
    // asked the program to end (a window closed, a signal).
    virtual bool pump_events(Session& session) = 0;

    // Composes the screen from the session's previous and current picture surfaces with
    // their weights, draws the text layer and the grille, and presents it: the buffer swap,
    // held to at least 1/60 s of real time by the full-screen host.
    virtual void present(Session& session, int previous, float previous_weight, int current,
                         float current_weight) = 0;

    // Clears the host's colour buffer (when the text page is shown alone).
    virtual void clear_screen() = 0;

    // The audio device: pause or resume playback; lock and unlock the callback out.
    virtual void audio_pause(bool paused) = 0;
    virtual void audio_lock() = 0;
    virtual void audio_unlock() = 0;
};

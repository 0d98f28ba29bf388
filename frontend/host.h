// The few things a session asks of its host. The full-screen host (window, OpenGL, audio
// device) and the headless host (tests, runner, benchmarks) each define all of them; the
// linker picks one.
#pragma once

class Session;

// Refreshes the key-state array the host handed to Session::keyboard_attach(). True when
// the user asked the program to end (a window closed, a signal).
bool host_pump_events();

// Composes the screen from the session's previous and current picture surfaces with their
// weights, draws the text layer and the grille, and presents it: the buffer swap, held to
// at least 1/60 s of real time by the full-screen host.
void host_present(const Session& session, int previous, float previous_weight, int current,
                  float current_weight);

// Clears the host's colour buffer (when the text page is shown alone).
void host_clear_screen();

// The audio device: pause or resume playback; lock and unlock the callback out.
void host_audio_pause(bool paused);
void host_audio_lock();
void host_audio_unlock();

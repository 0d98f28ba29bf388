// The full-screen host's own pieces, shared by its start-up and its seam.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <SDL/SDL.h>

class Session;

// When the program started: the 1/60 s frame grid, and with it the machine's clock, begins
// there.
std::chrono::steady_clock::time_point program_start_time();

// Start-up's single swap before the main loop: shows nothing yet, and starts the grid of
// 1/60 s frame deadlines.
void swap_first_frame();

// Opens the audio device paused: 48000 Hz, signed 16-bit, stereo, 512-sample buffer, played
// by audio_callback. False, with SDL's reason in `why`, if it cannot: the host's audio calls
// then do nothing.
bool startup_audio(Session& session, std::string& why);

// Called by SDL on its audio thread.
void audio_callback(void* userdata, uint8_t* stream, int length);

// Opens the first gamepad, if the computer has one (its events then come with the others),
// for `session`.
void gamepad_open(Session& session);
// Takes a gamepad event into the session's gamepad (the Kempston bits); false for any other
// event.
bool gamepad_event(const SDL_Event& event);
// The video mode. open_display sets full screen at the desktop's size or a resizable window
// of width x height (800 x 600 if not given); false if SDL cannot. follow_display_mode
// switches to the mode session.windowed asks for; resize_window takes a window's new size.
bool open_display(Session& session, bool windowed, int width, int height);
void follow_display_mode(Session& session);
void resize_window(Session& session, int width, int height);

// The mouse pointer, hidden over the picture by a blank cursor of the video subsystem.
void set_blank_cursor();
void free_blank_cursor();

// The session whose keyboard the host's key events go to.
void attach_session(Session& session);

// Times the 1/60 s grid was started anew because the frames fell too far behind it.
uint64_t host_grid_restarts();

// The full-screen host's own pieces, shared by its start-up and its seam.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include <SDL/SDL.h>

#include "frontend/host.h"
#include "host/sdl/pacer.h"

class Session;

// The full-screen host: SDL 1.2 events, OpenGL composition, the audio device, and the clock
// that holds each displayed frame to 1/60 s. SDL has one window and one audio device a
// process, so a process has one of these.
class SdlHost : public Host {
  public:
    // Opens the audio device paused: 48000 Hz, signed 16-bit, stereo, 512-sample buffer,
    // played by audio_callback for `session`. False, with SDL's reason in `why`, if it
    // cannot: the audio calls then do nothing.
    bool startup_audio(Session& session, std::string& why);
    // Start-up's single swap before the main loop: shows nothing yet, and starts the grid of
    // 1/60 s frame deadlines.
    void swap_first_frame();
    // Times the 1/60 s grid was started anew because the frames fell too far behind it.
    uint64_t grid_restarts() const { return pacer.resyncs(); }

    bool pump_events(Session& session) override;
    void present(Session& session, int previous, float previous_weight, int current,
                 float current_weight) override;
    void clear_screen() override;
    void audio_pause(bool paused) override;
    void audio_lock() override;
    void audio_unlock() override;

  private:
    FramePacer pacer;
    // Said once, the first time the grid had to be restarted because even skipping could
    // not keep up: the machine then runs as fast as the host lets it.
    bool slow_host_said = false;
    // Without a device the calls that pause and lock it do nothing: the machine runs on
    // silent, its pace held by the clock at every swap as it is with sound.
    bool device_open = false;
    // Holds the frame just swapped until its deadline, unless the swap already waited so
    // long; the seconds held.
    double hold_frame();
};

// When the program started: the 1/60 s frame grid, and with it the machine's clock, begins
// there.
std::chrono::steady_clock::time_point program_start_time();

// Called by SDL on its audio thread.
void audio_callback(void* userdata, uint8_t* stream, int length);

// Opens the first gamepad, if the computer has one (its events then come with the others).
void gamepad_open();
// Takes a gamepad event into the session's gamepad (the Kempston bits); false for any other
// event.
bool gamepad_event(const SDL_Event& event, Session& session);
// The video mode. open_display sets full screen at the desktop's size or a resizable window
// of width x height (800 x 600 if not given); false if SDL cannot. follow_display_mode
// switches to the mode session.windowed asks for; resize_window takes a window's new size.
bool open_display(Session& session, bool windowed, int width, int height);
void follow_display_mode(Session& session);
void resize_window(Session& session, int width, int height);

// The mouse pointer, hidden over the picture by a blank cursor of the video subsystem.
void set_blank_cursor();
void free_blank_cursor();

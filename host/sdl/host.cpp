// The host seam of the full-screen program: SDL 1.2 events and audio, OpenGL composition,
// and the clock that holds each displayed frame to 1/60 s.
#include "frontend/host.h"

#include <cerrno>
#include <chrono>
#include <ctime>

#include <SDL/SDL.h>

#include "display/display.h"
#include "frontend/session.h"
#include "host/sdl/pacer.h"
#include "host/sdl/sdl_host.h"
#include "host/sdl/stats.h"

namespace {
FramePacer pacer;
// A host that cannot compose and swap 60 frames a second (a software renderer on a busy
// computer) would otherwise slow the machine down with it: a frame that is already late is
// not composed or swapped, so the machine keeps its own time, at most this many in a row so
// that the screen still moves.
constexpr int MOST_SKIPPED_IN_A_ROW = 5;
int skipped_in_a_row = 0;
// When the program started (before main): the machine's clock starts with it.
const FramePacer::clock::time_point program_start = FramePacer::clock::now();
Session* attached = nullptr;
} // namespace

std::chrono::steady_clock::time_point program_start_time() { return program_start; }

namespace {

double seconds_between(FramePacer::clock::time_point a, FramePacer::clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// Sleeps until `deadline` on the monotonic clock (steady_clock's clock on Linux); an
// absolute wake-up, so a signal or a late wake-up never lengthens the grid.
void sleep_until(FramePacer::clock::time_point deadline) {
    const auto since_epoch = deadline.time_since_epoch();
    const auto secs = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
    timespec until{};
    until.tv_sec = static_cast<time_t>(secs.count());
    until.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - secs).count());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// Holds the frame just swapped until its deadline, unless the swap already waited so long.
double hold_frame() {
    const auto now = FramePacer::clock::now();
    const auto deadline = pacer.next_deadline(now);
    if (deadline <= now) return 0;
    sleep_until(deadline);
    return seconds_between(now, FramePacer::clock::now());
}
} // namespace

void swap_first_frame() {
    SDL_GL_SwapBuffers();
    pacer.start_from(program_start, FramePacer::clock::now(), std::chrono::seconds(1));
}

void attach_session(Session& session) { attached = &session; }

bool host_pump_events() {
    if (attached) follow_display_mode(*attached);
    SDL_PumpEvents();
    // The key-state array holds the keys held; the key events, taken in order, give the
    // keys pressed and let go again before this pump, which the array never shows. A quit
    // request (SIGINT, SIGTERM, the window closed), which SDL turns into an event instead of
    // letting the signal end the process, ends the program as Escape does.
    SDL_Event events[64];
    int n;
    bool quit = false;
    while ((n = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_ALLEVENTS)) > 0) {
        for (int i = 0; i < n; i++) {
            const SDL_Event& e = events[i];
            if (e.type == SDL_QUIT) quit = true;
            if (!attached) continue;
            if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP)
                attached->key_event(e.key.keysym.sym, e.type == SDL_KEYDOWN, e.key.keysym.unicode);
            else if (e.type == SDL_VIDEORESIZE) resize_window(*attached, e.resize.w, e.resize.h);
            gamepad_event(e);
        }
    }
    return quit;
}

void host_present(const Session& session, int previous, float previous_weight, int current,
                  float current_weight) {
    const auto t0 = FramePacer::clock::now();
    if (pacer.behind(t0) && skipped_in_a_row < MOST_SKIPPED_IN_A_ROW) {
        skipped_in_a_row++;
        pacer.next_deadline(t0); // the frame keeps its place on the grid, already past
        if (run_stats::enabled()) run_stats::skipped();
        return;
    }
    skipped_in_a_row = 0;
    render_GL(session, previous, previous_weight, current, current_weight);
    const auto t1 = FramePacer::clock::now();
    SDL_GL_SwapBuffers();
    const auto t2 = FramePacer::clock::now();
    const double hold = hold_frame();
    if (run_stats::enabled())
        run_stats::frame(seconds_between(t0, t1), seconds_between(t1, t2), hold);
}

void host_clear_screen() { clear_screen(); }

void host_audio_pause(bool paused) { SDL_PauseAudio(paused ? 1 : 0); }
void host_audio_lock() { SDL_LockAudio(); }
void host_audio_unlock() { SDL_UnlockAudio(); }

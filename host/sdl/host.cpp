// The host seam of the full-screen program: SDL 1.2 events, OpenGL composition,
// and the clock that holds each displayed frame to 1/60 s.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include <SDL/SDL.h>

#include "display/display.h"
#include "frontend/session.h"
#include "host/sdl/pacer.h"
#include "host/sdl/sdl_host.h"
#include "host/sdl/stats.h"

namespace {
// A host that cannot compose and swap 60 frames a second (a software renderer on a busy
// computer) would otherwise slow the machine down with it: a frame that is already late is
// not composed or swapped, so the machine keeps its own time, at most this many in a row so
// that the screen still moves.
constexpr int MOST_SKIPPED_IN_A_ROW = 5;
// A test hook: MARROWGLEAM_TEST_SWAP_DELAY_MS=N adds N milliseconds to every buffer swap,
// a host as slow to show a frame as a software renderer on a busy computer.
const std::chrono::milliseconds test_swap_delay = [] {
    const char* value = std::getenv("MARROWGLEAM_TEST_SWAP_DELAY_MS");
    const long ms = value ? std::strtol(value, nullptr, 10) : 0;
    return std::chrono::milliseconds(std::clamp(ms, 0L, 1000L));
}();
// When the program started (before main): the machine's clock starts with it.
const FramePacer::clock::time_point program_start = FramePacer::clock::now();
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
} // namespace

double SdlHost::hold_frame() {
    const auto now = FramePacer::clock::now();
    const auto deadline = pacer.next_deadline(now);
    if (deadline <= now) return 0;
    sleep_until(deadline);
    return seconds_between(now, FramePacer::clock::now());
}

void SdlHost::swap_first_frame() {
    SDL_GL_SwapBuffers();
    pacer.start_from(program_start, FramePacer::clock::now(), std::chrono::seconds(1));
}

bool SdlHost::pump_events(Session& session) {
    follow_display_mode(session);
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
            if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP)
                session.key_event(e.key.keysym.sym, e.type == SDL_KEYDOWN, e.key.keysym.unicode);
            else if (e.type == SDL_VIDEORESIZE) resize_window(session, e.resize.w, e.resize.h);
            gamepad_event(e, session);
        }
    }
    return quit;
}

void SdlHost::present(Session& session, int previous, float previous_weight, int current,
                      float current_weight) {
    const auto t0 = FramePacer::clock::now();
    // While a tape loads fast the session shows a frame now and then and the machine runs
    // as fast as it can: nothing is skipped or held, and the grid starts anew from each
    // frame, so that it is where the normal pace resumes.
    const bool fast = session.tape_fast();
    if (!fast && pacer.skip(t0, MOST_SKIPPED_IN_A_ROW)) {
        if (run_stats::enabled()) run_stats::skipped();
        return;
    }
    render_GL(session, previous, previous_weight, current, current_weight);
    const auto t1 = FramePacer::clock::now();
    SDL_GL_SwapBuffers();
    if (test_swap_delay.count() > 0) sleep_until(FramePacer::clock::now() + test_swap_delay);
    const auto t2 = FramePacer::clock::now();
    double hold = 0;
    if (fast) {
        pacer.start(t2);
    } else {
        pacer.shown(t2 - t0);
        hold = hold_frame();
    }
    if (run_stats::enabled())
        run_stats::frame(seconds_between(t0, t1), seconds_between(t1, t2), hold);
    if (pacer.slow_resyncs() > 0 && !slow_host_said) {
        slow_host_said = true;
        session.text.post_message(" SLOW HOST ");
    }
}

void SdlHost::clear_screen() { ::clear_screen(); }

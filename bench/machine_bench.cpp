// The whole machine headless, as the runner runs it: the ROM booted, a BASIC loop that prints
// and scrolls typed in and running, then logical frames as fast as the host allows (CPU with
// contention and raster capture, the picture painted every logical frame, beeper
// conversion, the keyboard and control keys at every physical frame). Prints logical frames
// per second and the multiple of real time (50 frames a second) of each run and their
// median, then where the time goes: the CPU alone, the rasteriser alone, and the rest.
//
// usage: machine_bench [FRAMES [RUNS [busy|pause [48|128 [AHEAD [break]]]]]]
//        (default 3000 logical frames, 7 runs, the busy program, the 48K, no run-ahead; the
//        128K runs the system's free ROM pair, its BASIC in ROM 1, with the sound chip it
//        always has); AHEAD 1 or 2 shows the machine that many frames ahead (--run-ahead): the
//        added time a frame is the difference of the "in all" figures against AHEAD 0;
//        `break` sets a breakpoint where the program never goes, so the machine runs the
//        debugger's checking path: its cost is the "in all" figure against a run without
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include <memory>

#include "frontend/roms.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "tools/keyscript.h"
#include "tools/screen_text.h"

namespace {
using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::string executable_path() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return "";
    buffer[n] = '\0';
    return buffer;
}

// Each character's keys held for 4 logical frames and released for 6, long enough for the
// ROM to take a repeated key as a new press.
std::vector<KeyEvent> typing(uint64_t frame, const std::string& text) {
    std::vector<KeyEvent> events;
    for (char ch : text) {
        const std::vector<int> keys = keys_for_char(ch);
        events.push_back({frame, keys, true});
        events.push_back({frame + 4, keys, false});
        frame += 10;
    }
    return events;
}

// The busy program: it prints without end, and POKE 23692 keeps the ROM from stopping at
// "scroll?" when the screen is full.
const char* const BUSY_PROGRAM = "10 POKE 23692,255: PRINT \"HELLO \";: GOTO 10\n";
// The pausing one prints once, then waits for a key in PAUSE 0, which is a HALT every frame:
// the machine idle, as a game is while it waits for its next frame.
const char* const PAUSE_PROGRAM = "10 PRINT \"HELLO\";\" HELLO\";\" HELLO\": PAUSE 0\n";

// Boots the ROM and starts the program; false if the screen does not show it running.
bool start_workload(Session& s, HeadlessHost& host, const char* program, int model) {
    std::string error;
    if (!s.load_data_files(executable_path().c_str(), error)) {
        std::fprintf(stderr, "machine_bench: %s\n", error.c_str());
        return false;
    }
    if (model == 128) {
        RomSet set;
        if (!find_roms(MachineKind::m128, {}, {}, set, error)) {
            std::fprintf(stderr, "machine_bench: %s\n", error.c_str());
            return false;
        }
        s.machine.power_on(128, std::move(set.images));
    }
    host.attach_keyboard(s);
    static std::vector<KeyEvent> events;
    events = typing(100, program);
    const uint64_t run_at = 100 + 10 * std::string(program).size() + 20;
    for (const KeyEvent& e : typing(run_at, "RUN\n")) events.push_back(e);
    static size_t next = 0;
    host.on_pump = [&s, &host] {
        next = apply_key_events(events, next, s.logical_frames, host.keys);
    };
    s.start_machine();
    s.machine.rasterize_ULA(s.ULA_surface[0], s.view.screen_mode, true);
    s.read_keyboard();
    s.run_machine(run_at + 100);
    const std::string text = screen_text_joined(s.machine);
    if (text.find("HELLO HELLO HELLO") == std::string::npos) {
        std::fprintf(stderr, "machine_bench: the program is not running; the screen shows:\n%s\n",
                     text.c_str());
        return false;
    }
    return true;
}

// The CPU alone over `frames` logical frames: the same steps the loop runs, with only the
// counters of the frame ends kept (no picture, no sound, no keyboard).
double cpu_only(Spectrum& m, int frames) {
    const auto start = Clock::now();
    for (int f = 0; f < frames; f++) {
        m.tstatesh = 0;
        m.z80_run(m.tpf, INT_MAX);
        m.tstates -= m.tpf;
        m.OUTSTK.clear();
    }
    return seconds_since(start);
}

double raster_only(Session& s, int frames) {
    Spectrum& m = s.machine;
    const auto start = Clock::now();
    for (int f = 0; f < frames; f++) {
        m.rasterize_ULA(s.ULA_surface[f % 3], s.view.screen_mode, true);
        m.flashctr++;
    }
    return seconds_since(start);
}

double beeper_only(Session& s, int frames) {
    Spectrum& m = s.machine;
    const auto start = Clock::now();
    for (int f = 0; f < frames; f++) {
        m.OUTSTK.clear();
        s.sound.mix_frame(m, s.tape_sound);
        m.pulldown = m.pulldown == 4 ? 0 : m.pulldown + 1;
    }
    return seconds_since(start);
}
} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const std::string workload = argc > 3 ? argv[3] : "busy";
    const int model = argc > 4 ? std::atoi(argv[4]) : 48;
    const int ahead = argc > 5 ? std::atoi(argv[5]) : 0;
    const bool checked = argc > 6 && std::string(argv[6]) == "break";
    if (frames < 1 || runs < 1 || (workload != "busy" && workload != "pause") ||
        (model != 48 && model != 128) || ahead < 0 || ahead > Session::MOST_RUN_AHEAD ||
        (argc > 6 && !checked)) {
        std::fprintf(stderr, "usage: machine_bench [FRAMES [RUNS [busy|pause [48|128 [AHEAD "
                             "[break]]]]]]\n");
        return 2;
    }
    const char* const program = workload == "busy" ? BUSY_PROGRAM : PAUSE_PROGRAM;
    std::printf("build: %s, flags \"%s\", CPU step also \"%s\"\n", MARROWGLEAM_BUILD_TYPE,
                MARROWGLEAM_CXX_FLAGS, MARROWGLEAM_STEP_OPTIONS);
    HeadlessHost host;
    const auto session = std::make_unique<Session>(host); // large: the picture surfaces
    Session& s = *session;
    // As the runner runs a script that does not go back: no states kept.
    s.rewind_ring = RewindRing(0);
    if (!start_workload(s, host, program, model)) return 1;
    s.run_ahead_frames = ahead;
    // The top of memory, above the user-defined graphics: data, never code.
    if (checked) s.debugger.toggle(0xFFF0);
    std::printf("workload (%dK): %s", model, program);
    if (checked) std::printf("a breakpoint at $FFF0: the checking path\n");
    if (ahead) std::printf("run-ahead: %d logical frames\n", ahead);

    // Each round times the whole machine, then the CPU alone, the rasteriser alone and the
    // beeper conversion alone on the same workload, so that all four see the same load.
    std::vector<double> rates, cpu, raster, beeper;
    for (int r = 0; r < runs; r++) {
        const auto start = Clock::now();
        s.run_machine(s.logical_frames + frames);
        const double took = seconds_since(start);
        rates.push_back(frames / took);
        std::printf("run %d: %d logical frames in %.3f s: %.0f frames/s, %.1f x real time\n", r + 1,
                    frames, took, frames / took, frames / took / 50);
        cpu.push_back(cpu_only(s.machine, frames) / frames);
        raster.push_back(raster_only(s, frames) / frames);
        beeper.push_back(beeper_only(s, frames) / frames);
    }
    const double rate = median(rates);
    std::printf("median: %.0f logical frames/s, %.1f x real time\n", rate, rate / 50);

    const double total_us = 1e6 / rate;
    const double cpu_us = median(cpu) * 1e6, raster_us = median(raster) * 1e6,
                 beeper_us = median(beeper) * 1e6;
    // The parts are timed apart, so their sum can exceed the whole by the noise of the timing.
    const double rest_us = std::max(0.0, total_us - cpu_us - raster_us - beeper_us);
    std::printf("per logical frame: %.1f us in all (medians; each part timed alone)\n", total_us);
    std::printf("  CPU step (contention, raster capture)  %7.1f us  %5.1f%%\n", cpu_us,
                100 * cpu_us / total_us);
    std::printf("  rasterize_ULA                          %7.1f us  %5.1f%%\n", raster_us,
                100 * raster_us / total_us);
    std::printf("  beeper conversion                      %7.1f us  %5.1f%%\n", beeper_us,
                100 * beeper_us / total_us);
    std::printf("  the rest (loop, keyboard, controls)    %7.1f us  %5.1f%%\n", rest_us,
                100 * rest_us / total_us);
    return 0;
}

// The main loop: the CPU, the emulated machine's 50 Hz frame and the display's 60 Hz frame.
//
// Both frame lengths are counted in emulated T-states: a logical frame is tpf (69888 on the
// 48K machine), a physical frame tpfh = 58240. Six physical frames last exactly as long as
// five 48K logical frames, and IFBCLK (0..5) and pulldown (0..4) walk that common cycle from
// the same phase after every reset.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "frontend/keys.h"
#include "frontend/session.h"

// Six physical frames last as long as five logical ones: the displayed position advances
// by 1.0 once and by 0.8 five times in each cycle.
const float IFBCOE[6][2] = {{1.0f, 0.0f}, {0.0f, 1.0f}, {0.2f, 0.8f},
                            {0.4f, 0.6f}, {0.6f, 0.4f}, {0.8f, 0.2f}};

void Session::present() {
    const Spectrum& m = machine;
    host.present(*this, (m.IFB_buffer + 2) % 3, IFBCOE[m.IFBCLK][0], m.IFB_buffer,
                 IFBCOE[m.IFBCLK][1]);
}

void Session::render_logical_frame() {
    Spectrum& m = machine;
    // This frame's sound (beeper, tape signal, sound chip) into FRAME_SAMPLES, then into the
    // slot of the ring after the write end.
    sound.mix_frame(m, tape_sound);
    tape_frame();
    sound.publish_frame();
    text.overlay_tick();
    // The text page shown alone hides the picture: its border is not painted, and the host's
    // screen is cleared to transparent black.
    const bool text_alone = text.overlay == 2;
    if (text_alone) host.clear_screen();
    // Loading fast, a picture nobody will see is not painted; the screen the beam fetches
    // next frame is reloaded all the same. Running ahead, the picture shown is the copy's.
    const bool shown =
        !tape_fast() || std::chrono::steady_clock::now() - fast_shown >= FAST_LOAD_SHOW_PERIOD;
    const bool ahead_shown = shown && run_ahead_frames > 0;
    if (shown && !ahead_shown)
        m.rasterize_ULA(ULA_surface[m.IFB_buffer], view.screen_mode, !text_alone,
                        &ULA_painted[m.IFB_buffer]);
    else std::memcpy(m.RTFB, m.screen_bank(), sizeof m.RTFB);
    last_picture = m.IFB_buffer;
    logical_tstates += static_cast<uint64_t>(m.tpf);
    m.end_logical_frame();
    logical_frames++;
    after_logical_frame(last_picture, ahead_shown, !text_alone);
}

bool Session::render_physical_frame() {
    // One display refresh. While paused, each one redraws the same picture and reads the
    // keyboard, and the main loop comes back here without running the machine; F8 lets one
    // physical frame run before the pause holds again.
    {
        if (keyboard.key_pressed(key::F7)) {
            still_frame = !still_frame;
            text.post_message(still_frame ? " PAUSE " : " RUN   ");
            text.overlay = 1;
        }
        // While a tape loads fast, a frame is shown only every FAST_LOAD_SHOW_PERIOD of real
        // time: a shown frame holds the machine to the display's pace.
        bool show = true;
        if (tape_fast() && !still_frame) {
            const auto now = std::chrono::steady_clock::now();
            show = now - fast_shown >= FAST_LOAD_SHOW_PERIOD;
            if (show) fast_shown = now;
        }
        if (show) present();
        // The audio device starts two physical frames after a reset at the earliest, and
        // only once the ring holds AUDIO_LEAD samples: the frames written ahead of the
        // device carry it over the emulation thread's stalls.
        if (sound.enable_audio == 1) {
            if (sound.audio_unread() >= AUDIO_LEAD) {
                sound.enable_audio = 0;
                host.audio_pause(false);
            }
        } else if (sound.enable_audio == 2) {
            sound.enable_audio = 1;
        }
        read_keyboard();
        // Escape ends the program, paused or not; so does the host's quit request (a
        // window closed, a signal), which read_keyboard takes from the host.
        if (keyboard.key_pressed(key::ESCAPE)) exit_request = 1;
        if (!exit_request && monitor_keys()) return false;
        // Windows+R holds the machine as a pause does, going back meanwhile.
        if (!exit_request && rewind_key_held()) {
            rewind_step(2, true);
            return false;
        }
        if (!exit_request && still_frame && !keyboard.key_pressed(key::F8)) return false;
    }

    handle_control_keys();
    if (!after_title_message.empty() && !text.splashing) {
        text.TXTINK = 0x1C;
        text.post_message(after_title_message.c_str());
        after_title_message.clear();
    }
    if (after_control_keys) after_control_keys();
    machine.end_physical_frame();
    physical_frames++;
    return true;
}

void Session::reset_logical_system() {
    machine.reset_logical_system();
    reset_audio();
}

void Session::reset_audio() {
    host.audio_pause(true);
    sound.enable_audio = 2;
    // A callback already running must not see the ring positions half set back.
    host.audio_lock();
    sound.clear();
    host.audio_unlock();
}

void Session::read_keyboard() {
    keyboard.before_pump();
    if (host.pump_events(*this)) exit_request = 1;
    keyboard.after_pump(machine, machine_time());
}

uint64_t Session::machine_time() const {
    return logical_tstates + static_cast<uint64_t>(std::max(machine.tstates, 0));
}

bool Session::run_machine(uint64_t frame_limit) {
    Spectrum& m = machine;
    for (;;) {
        if (m.tstates >= m.tpf) {
            render_logical_frame();
            if (frame_clock() >= frame_limit) return !exit_request;
        }
        if (rewinding || m.tstatesh >= m.tpfh || monitor.open) {
            if (exit_request) return false;
            // The machine stands still (requester open, paused, or going back): no
            // instruction runs. Each display frame is one pass; the host is never waited on.
            bool held = true;
            if (rewinding) {
                rewind_frame();
            } else if (file_requester_mode) {
                read_keyboard();
                handle_file_requester();
                present();
            } else {
                held = !render_physical_frame();
            }
            if (held) {
                held_frames++;
                if (exit_request) return false;
                if (frame_clock() >= frame_limit) return true;
                continue;
            }
        }
        // A pass runs one instruction. Where no frame end is due, running on to the next one
        // is the same as passing the checks once per instruction; where one is still due (a
        // tape block can carry the counters several frames ahead), exactly one runs.
        const bool due = m.tstates >= m.tpf || m.tstatesh >= m.tpfh;
        if (debugger.armed()) {
            if (debugger.run(m, due ? m.tstates + 1 : m.tpf, due ? m.tstatesh + 1 : m.tpfh))
                return true;
        } else if (due) {
            m.z80_step();
        } else {
            m.z80_run(m.tpf, m.tpfh);
        }
    }
}

void Session::main_loop() {
    // A breakpoint's stop returns from the run and opens the monitor there.
    while (run_machine(UINT64_MAX)) open_monitor(debugger.reason);
}

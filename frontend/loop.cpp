// The main loop: the CPU, the emulated machine's 50 Hz frame and the display's 60 Hz frame.
//
// Both frame lengths are counted in emulated T-states: a logical frame is tpf (69888 on the
// 48K machine), a physical frame tpfh = 58240. Six physical frames last exactly as long as
// five 48K logical frames, and IFBCLK (0..5) and pulldown (0..4) walk that common cycle from
// the same phase after every reset.
#include <cstring>

#include "frontend/host.h"
#include "frontend/keys.h"
#include "frontend/session.h"

void Session::present() {
    const Spectrum& m = machine;
    host_present(*this, (m.IFB_buffer + 2) % 3, IFBCOE[m.IFBCLK][0], m.IFB_buffer,
                 IFBCOE[m.IFBCLK][1]);
}

void Session::render_logical_frame() {
    Spectrum& m = machine;
    // The slot of the ring this frame fills; the samples and the level are stored before the
    // write end moves, so the audio thread that sees the new AUDPOSW sees them too.
    const int32_t base = m.pulldown * SAMPLES_PER_FRAME;
    m.beeper_frame_end(AUDBUF + base);
    AUDDAT.store(m.OUTAGE, std::memory_order_release);
    AUDPOSW.store(base + SAMPLES_PER_FRAME, std::memory_order_release);
    overlay_tick();
    // The text page shown alone hides the picture: its border is not painted, and the host's
    // screen is cleared to transparent black.
    const bool text_alone = overlay == 2;
    if (text_alone) host_clear_screen();
    m.rasterize_ULA(ULA_surface[m.IFB_buffer], screen_mode, !text_alone);
    last_picture = m.IFB_buffer;
    logical_tstates += static_cast<uint64_t>(m.tpf);
    m.end_logical_frame();
    logical_frames++;
}

void Session::render_physical_frame() {
    // The pause repetition: while paused, every display refresh redraws the same picture and
    // reads the keyboard; F8 lets one physical frame run before the pause holds again.
    do {
        if (key_pressed(key::F7)) {
            still_frame = !still_frame;
            post_message(still_frame ? " PAUSE " : " RUN   ");
            overlay = 1;
        }
        present();
        // The audio device starts two physical frames after a reset, when the first logical
        // frame has filled its slot.
        if (enable_audio == 1) {
            enable_audio = 0;
            host_audio_pause(false);
        } else if (enable_audio == 2) {
            enable_audio = 1;
        }
        read_keyboard();
        // Escape ends the program, paused or not; so does the host's quit request (a
        // window closed, a signal), which read_keyboard takes from the host.
        if (key_pressed(key::ESCAPE)) exit_request = 1;
        if (exit_request) break;
    } while (still_frame && !key_pressed(key::F8));

    handle_control_keys();
    machine.end_physical_frame();
    physical_frames++;
}

void Session::reset_logical_system() {
    machine.reset_logical_system();
    reset_audio();
}

void Session::reset_audio() {
    host_audio_pause(true);
    enable_audio = 2;
    // A callback already running must not see the ring positions half set back.
    host_audio_lock();
    AUDPOSR.store(0, std::memory_order_relaxed);
    AUDPOSW.store(0, std::memory_order_relaxed);
    AUDDAT.store(0, std::memory_order_relaxed);
    host_audio_unlock();
}

bool Session::run_machine(uint64_t logical_frame_limit) {
    Spectrum& m = machine;
    for (;;) {
        if (m.tstates >= m.tpf) {
            render_logical_frame();
            if (logical_frames >= logical_frame_limit) return !exit_request;
        }
        if (m.tstatesh >= m.tpfh) {
            if (exit_request) return false;
            if (file_requester_mode) {
                // The machine stands still: no instruction runs and no counter moves.
                read_keyboard();
                handle_file_requester();
                present();
                continue;
            }
            render_physical_frame();
        }
        // A pass runs one instruction. Where no frame end is due, running on to the next one
        // is the same as passing the checks once per instruction; where one is still due (a
        // tape block can carry the counters several frames ahead), exactly one runs.
        if (m.tstates >= m.tpf || m.tstatesh >= m.tpfh) m.z80_step();
        else m.z80_run(m.tpf, m.tpfh);
    }
}

void Session::main_loop() { run_machine(UINT64_MAX); }

void Session::audio_fill(uint8_t* stream, int length) {
    int32_t r = AUDPOSR.load(std::memory_order_acquire);
    if (file_requester_mode.load(std::memory_order_acquire) ||
        still_frame.load(std::memory_order_acquire)) {
        // Stopped machine: silence, but the read position keeps moving through the ring.
        for (int n = 0; n < length; n++) {
            if (r == AUDBUF_SIZE) r = 0;
            stream[n] = 0x00;
            r++;
        }
        AUDPOSR.store(r, std::memory_order_release);
        return;
    }
    for (int n = 0; n < length; n++) {
        if (r == AUDBUF_SIZE) r = 0;
        // A write end of 4800 is the same place as a read position of 0.
        if (r == AUDPOSW.load(std::memory_order_acquire) % AUDBUF_SIZE) {
            // Caught up with the writer: hold the last frame's final level, so an underrun
            // is heard as silence rather than a click, and wait here for the next slot.
            std::memset(stream + n, AUDDAT.load(std::memory_order_acquire),
                        static_cast<size_t>(length - n));
            break;
        }
        stream[n] = AUDBUF[r++];
    }
    AUDPOSR.store(r, std::memory_order_release);
}

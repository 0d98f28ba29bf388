// The main loop: the CPU, the emulated machine's 50 Hz frame and the display's 60 Hz frame.
//
// Both frame lengths are counted in emulated T-states: a logical frame is tpf (69888 on the
// 48K machine), a physical frame tpfh = 58240. Six physical frames last exactly as long as
// five 48K logical frames, and IFBCLK (0..5) and pulldown (0..4) walk that common cycle from
// the same phase after every reset.
#include "core/loop.h"

#include "audio/beeper.h"
#include "core/host.h"
#include "core/machine.h"
#include "core/view.h"
#include "files/files.h"
#include "input/controls.h"
#include "input/keyboard.h"
#include "input/keys.h"
#include "text/text.h"
#include "ula/ula.h"
#include "z80/z80.h"

uint64_t logical_frames;
uint64_t physical_frames;

namespace {
void present() {
    host_present((IFB_buffer + 2) % 3, IFBCOE[IFBCLK][0], IFB_buffer, IFBCOE[IFBCLK][1]);
}
} // namespace

void render_logical_frame() {
    tstates -= tpf; // the overshoot of the last instruction carries into the next frame
    beeper_frame_end();
    overlay_tick();
    rasterize_ULA(IFB_buffer);
    pulldown = pulldown == 4 ? 0 : pulldown + 1;
    flashctr++;
    logical_frames++;
}

void render_physical_frame() {
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
        // window closed, a signal), which sets exit_request while pumping the events.
        if (key_pressed(key::ESCAPE)) exit_request = 1;
        if (exit_request) break;
    } while (still_frame && !key_pressed(key::F8));

    handle_control_keys();
    IFBCLK = IFBCLK == 5 ? 0 : IFBCLK + 1;
    tstatesh -= tpfh;
    IFB_buffer = IFB_buffer == 2 ? 0 : IFB_buffer + 1;
    physical_frames++;
}

bool run_machine(uint64_t logical_frame_limit) {
    for (;;) {
        if (tstates >= tpf) {
            render_logical_frame();
            if (logical_frames >= logical_frame_limit) return !exit_request;
        }
        if (tstatesh >= tpfh) {
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
        if (tstates >= tpf || tstatesh >= tpfh) z80_step();
        else z80_run(tpf, tpfh);
    }
}

void main_loop() { run_machine(UINT64_MAX); }

// Going back in time and running ahead of it: the session's rewind ring, Windows+R, a
// script's rewind, and the picture shown from a copy run some frames ahead.
#include <cstring>

#include "frontend/keys.h"
#include "frontend/run_ahead.h"
#include "frontend/session.h"

void Session::after_logical_frame(int slot, bool painted_ahead, bool paint_border) {
    rewind_ring.push(machine);
    if (rewind_requested > 0) {
        const int frames = rewind_requested;
        rewind_requested = 0;
        if (rewind_ring.rewind(machine, frames)) {
            show_restored_frame();
            // What the ring holds of the dropped frames is never played.
            reset_audio();
            return;
        }
    }
    if (!painted_ahead) return;
    // The copy runs with the key rows the machine has now, the newest input; the sound it
    // makes, the blocks it saves and its tape's messages go with it, unseen.
    if (!ahead) ahead = std::make_unique<Spectrum>();
    FrameTarget between;
    between.tape_heard = tape_sound;
    const FrameTarget last{ULA_surface[slot], view.screen_mode, paint_border, &ULA_painted[slot],
                           tape_sound};
    run_ahead(machine, *ahead, run_ahead_frames, [&](Spectrum& copy, bool is_last) {
        run_logical_frame(copy, is_last ? last : between);
    });
}

// A state is taken at a logical frame end, after its picture was painted: its RTFB is the
// screen as the frame left it (the frame's picture, but for bytes written after the beam
// had passed them, which show a frame later anyway) and its border the colour it ended
// with. Painting it leaves the state as it was: the painter reloads RTFB from the screen,
// which it already equals. So the picture of every frame gone back to is painted from the
// state itself, and the ring keeps no pictures.
void Session::show_restored_frame() {
    Spectrum& m = machine;
    const int slot = m.IFB_buffer;
    m.rasterize_ULA(ULA_surface[slot], view.screen_mode, text.overlay != 2, &ULA_painted[slot]);
    // The display blends the surface before this one in: it shows the same picture, not one
    // of the frames left behind.
    const int previous = (slot + 2) % 3;
    std::memcpy(ULA_surface[previous], ULA_surface[slot], sizeof ULA_surface[slot]);
    ULA_painted[previous] = ULA_painted[slot];
    last_picture = slot;
}

void Session::rewind_step(int frames, bool first) {
    if (first) {
        rewinding = 1;
        rewind_phase = 0;
    }
    bool older = rewind_ring.size() > 1;
    if (frames > 0) {
        older = rewind_ring.rewind(machine, frames);
        if (older) show_restored_frame();
    }
    text.post_message(older ? " REWIND " : " REWIND: NOTHING OLDER ", first);
    text.overlay = 1;
}

// One display frame while Windows+R is held. The display shows 50 logical frames in 60 of
// its own; going back two logical frames in five of every six goes back 100 a second, twice
// real time.
void Session::rewind_frame() {
    present();
    read_keyboard();
    if (keyboard.key_pressed(key::ESCAPE)) exit_request = 1;
    if (!exit_request && rewind_key_held()) {
        rewind_step(++rewind_phase % 6 == 5 ? 0 : 2, false);
        return;
    }
    // Let go: the machine goes on from the state reached, the newer ones dropped; the typed
    // keys still queued and a script go on from now. The ring's sound was of the frames left
    // behind: the device starts again on the new ones.
    rewinding = 0;
    reset_audio();
}

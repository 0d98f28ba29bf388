// The emulator's own keys, polled once per physical frame from the key states just sampled.
// Held keys act on every physical frame while down; pressed keys once per press.
#include <cstdio>

#include "frontend/keys.h"
#include "frontend/session.h"

namespace {
// The rotation as shown: 0..359 for positive angles, 360 down to 1 for negative ones (so
// -0.5 degrees shows 360 and -90 shows 270).
int shown_angle(float rotate) {
    if (rotate >= 0) return static_cast<int>(rotate) % 360;
    return 360 - static_cast<int>(-rotate) % 360;
}

// Windows + Z: the CPU model, standard or Zilog NMOS, from the next instruction on.
void cpu_model_key(Session& s) {
    if (!s.keyboard.win_held() || !s.keyboard.key_pressed(key::letter('z'))) return;
    Spectrum& m = s.machine;
    m.cpu_model = m.cpu_model == CpuModel::zilog ? CpuModel::standard : CpuModel::zilog;
    s.text.post_message(m.cpu_model == CpuModel::zilog ? " CPU ZILOG NMOS " : " CPU STANDARD   ");
}
} // namespace

void Session::machine_key() {
    if (!keyboard.win_held() || !keyboard.key_pressed(key::letter('m'))) return;
    // The tape stays in the deck, wound back to its start, as it would when the recorder is
    // plugged into another machine; power_on takes it out.
    const bool had_tape = machine.is_tape != 0;
    std::vector<uint8_t> tape_image = machine.tape.get();
    std::vector<TapeBlock> tape_blocks = machine.tape_deck.blocks.get();
    std::string skipped;
    for (int step = 1; step <= 2; step++) {
        const auto kind = static_cast<MachineKind>((static_cast<int>(machine_kind) + step) % 3);
        std::string error;
        if (!choose_machine(kind, error)) {
            std::fprintf(stderr, "marrowgleam: %s skipped: %s\n", machine_label(kind).c_str(),
                         error.c_str());
            skipped += (skipped.empty() ? "" : ", ") + machine_label(kind);
            continue;
        }
        reset_logical_system();
        if (had_tape) machine.attach_tape_blocks(std::move(tape_image), std::move(tape_blocks));
        rewind_ring.clear(); // the states kept were of the machine left, with its ROMs
        text.post_message(
            message_with_reason(" " + machine_label(kind) + ": ",
                                rom_set_name + (skipped.empty() ? "" : ", NO ROMS FOR " + skipped))
                .c_str());
        return;
    }
    text.post_message(message_with_reason(" NO ROMS FOR ", skipped).c_str());
}

void set_fit_mode(View& view, int mode) {
    struct Fit {
        float x, y;
    };
    static const Fit FITS[4] = {{344, 258}, {352, 288}, {256, 192}, {352, 288}};
    view.fit_mode = mode;
    view.fit_x = FITS[mode].x;
    view.fit_y = FITS[mode].y;
    view.update_ortho();
}

// Windows + R: the machine goes back in time while held (frontend/rewinding.cpp).
bool Session::rewind_key_held() const {
    return keyboard.win_held() && keyboard.key_held(key::letter('r'));
}

void Session::channel_keys() {
    for (int n = 0; n <= 9; n++) {
        if (!keyboard.key_pressed(key::keypad(n))) continue;
        if (keyboard.win_held()) files.save_channel(n, machine, text);
        else files.load_channel(n, machine, text);
    }
}

// Win + arrows pan the picture by one picture pixel per physical frame, within limits; at a
// limit nothing happens, not even the message.
void Session::pan_keys() {
    if (!keyboard.win_held()) return;
    if (keyboard.key_held(key::LEFT) && view.translate_x > -400) {
        view.translate_x -= 1;
        text.post_formatted(" PAN X- %+4i ", true, static_cast<int>(view.translate_x));
    }
    if (keyboard.key_held(key::RIGHT) && view.translate_x < 400) {
        view.translate_x += 1;
        text.post_formatted(" PAN X+ %+4i ", true, static_cast<int>(view.translate_x));
    }
    if (keyboard.key_held(key::UP) && view.translate_y > -240) {
        view.translate_y -= 1;
        text.post_formatted(" PAN Y- %+4i ", true, static_cast<int>(view.translate_y));
    }
    if (keyboard.key_held(key::DOWN) && view.translate_y < 240) {
        view.translate_y += 1;
        text.post_formatted(" PAN Y+ %+4i ", true, static_cast<int>(view.translate_y));
    }
}

// F1/F2 zoom and F3/F4 turn in single-precision steps while held. They remember the overlay
// state only in the frame of the press.
void Session::zoom_and_rotate_keys() {
    if (keyboard.key_held(key::F1) && view.scale > 0) {
        view.scale -= 0.005f;
        text.post_formatted(" SCALE- %3i%% ", keyboard.key_pressed(key::F1),
                            static_cast<int>(view.scale * 100));
    }
    if (keyboard.key_held(key::F2) && view.scale <= 4) {
        view.scale += 0.005f;
        text.post_formatted(" SCALE+ %3i%% ", keyboard.key_pressed(key::F2),
                            static_cast<int>(view.scale * 100));
    }
    if (keyboard.key_held(key::F3)) {
        view.rotate -= 0.5f;
        text.post_formatted(" ROTATE- %3i ", keyboard.key_pressed(key::F3),
                            shown_angle(view.rotate));
    }
    if (keyboard.key_held(key::F4)) {
        view.rotate += 0.5f;
        text.post_formatted(" ROTATE+ %3i ", keyboard.key_pressed(key::F4),
                            shown_angle(view.rotate));
    }
}

void Session::grille_and_colour_keys() {
    if (keyboard.key_pressed(key::F5)) {
        view.graticule = !view.graticule;
        text.post_message(" APERTURE GRILLE ");
        text.TXTSTR(17, 23, view.graticule ? "ON  " : "OFF ");
    }
    if (keyboard.key_pressed(key::F6)) {
        static const char* const LABELS[3] = {" COLOR       ", " MELBOURNE   ", " INVERSE INK "};
        view.screen_mode = (view.screen_mode + 1) % 3;
        text.post_message(LABELS[view.screen_mode]);
    }
}

// Home puts a zoomed, turned or panned picture back; on a picture at rest it steps the fit
// mode. A NaN anywhere counts as a changed view.
void Session::home_key() {
    if (!keyboard.key_pressed(key::HOME)) return;
    text.TXTCLSLN(23, 1);
    if (view.at_rest()) {
        static const char* const MESSAGES[4] = {" FIT  ", " FILL ", " GAME ", " FULL "};
        set_fit_mode(view, (view.fit_mode + 1) % 4);
        text.post_message(MESSAGES[view.fit_mode]);
    } else {
        view.rotate = 0.0f;
        view.scale = 1.0f;
        view.translate_x = view.translate_y = 0.0f;
        text.post_message(" RESTORE ");
    }
}
void Session::handle_control_keys() {
    text.TXTINK = 0x1C; // bright green on blue for every message of this frame
    if (!file_requester_mode) {
        channel_keys();
        if (keyboard.win_held() && keyboard.key_pressed(key::letter('s')))
            files.save_snapshot(machine, text);
        pan_keys();
        zoom_and_rotate_keys();
        grille_and_colour_keys();
        if (keyboard.key_held(key::F12)) {
            reset_logical_system();
            machine.tape_rewind();
            text.post_message(" RESET ", keyboard.key_pressed(key::F12));
        }
        home_key();
        if (keyboard.key_pressed(key::F11)) tape_key();
        joystick_keys_key();
        cpu_model_key(*this);
        machine_key();
        feature_keys();
    }
    if (keyboard.key_pressed(key::F9)) {
        if (file_requester_mode) {
            text.overlay = text.overlay == 2 ? 1 : 2;
        } else {
            text.overlay = (text.overlay + 1) % 3;
            text.overlay_timeout = 0; // a running message stops timing; the chosen state stays
        }
    }
    if (keyboard.key_pressed(key::F10)) do_file_requester();
}

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

template <typename... Args>
void post_number(Session& s, const char* format, bool remember, Args... args) {
    std::snprintf(s.TXTLNBUF, sizeof s.TXTLNBUF, format, args...);
    s.post_message(s.TXTLNBUF, remember);
}

// Windows + Z: the CPU model, standard or Zilog NMOS, from the next instruction on.
void cpu_model_key(Session& s) {
    if (!s.win_held() || !s.key_pressed(key::letter('z'))) return;
    Spectrum& m = s.machine;
    m.cpu_model = m.cpu_model == CpuModel::zilog ? CpuModel::standard : CpuModel::zilog;
    s.post_message(m.cpu_model == CpuModel::zilog ? " CPU ZILOG NMOS " : " CPU STANDARD   ");
}
} // namespace

void Session::channel_keys() {
    for (int n = 0; n <= 9; n++) {
        if (!key_pressed(key::keypad(n))) continue;
        if (win_held()) save_channel(n);
        else load_channel(n);
    }
}

// Win + arrows pan the picture by one picture pixel per physical frame, within limits; at a
// limit nothing happens, not even the message.
void Session::pan_keys() {
    if (!win_held()) return;
    if (key_held(key::LEFT) && translate_x > -400) {
        translate_x -= 1;
        post_number(*this, " PAN X- %+4i ", true, static_cast<int>(translate_x));
    }
    if (key_held(key::RIGHT) && translate_x < 400) {
        translate_x += 1;
        post_number(*this, " PAN X+ %+4i ", true, static_cast<int>(translate_x));
    }
    if (key_held(key::UP) && translate_y > -240) {
        translate_y -= 1;
        post_number(*this, " PAN Y- %+4i ", true, static_cast<int>(translate_y));
    }
    if (key_held(key::DOWN) && translate_y < 240) {
        translate_y += 1;
        post_number(*this, " PAN Y+ %+4i ", true, static_cast<int>(translate_y));
    }
}

// F1/F2 zoom and F3/F4 turn in single-precision steps while held. They remember the overlay
// state only in the frame of the press.
void Session::zoom_and_rotate_keys() {
    if (key_held(key::F1) && scale > 0) {
        scale -= 0.005f;
        post_number(*this, " SCALE- %3i%% ", key_pressed(key::F1), static_cast<int>(scale * 100));
    }
    if (key_held(key::F2) && scale <= 4) {
        scale += 0.005f;
        post_number(*this, " SCALE+ %3i%% ", key_pressed(key::F2), static_cast<int>(scale * 100));
    }
    if (key_held(key::F3)) {
        rotate -= 0.5f;
        post_number(*this, " ROTATE- %3i ", key_pressed(key::F3), shown_angle(rotate));
    }
    if (key_held(key::F4)) {
        rotate += 0.5f;
        post_number(*this, " ROTATE+ %3i ", key_pressed(key::F4), shown_angle(rotate));
    }
}

void Session::grille_and_colour_keys() {
    if (key_pressed(key::F5)) {
        graticule = !graticule;
        post_message(" APERTURE GRILLE ");
        TXTSTR(17, 23, graticule ? "ON  " : "OFF ");
    }
    if (key_pressed(key::F6)) {
        static const char* const LABELS[3] = {" COLOR       ", " MELBOURNE   ", " INVERSE INK "};
        screen_mode = (screen_mode + 1) % 3;
        post_message(LABELS[screen_mode]);
    }
}

// Home puts a zoomed, turned or panned picture back; on a picture at rest it steps the fit
// mode. A NaN anywhere counts as a changed view.
void Session::home_key() {
    if (!key_pressed(key::HOME)) return;
    TXTCLSLN(23, 1);
    if (scale == 1.0f && rotate == 0.0f && translate_x == 0.0f && translate_y == 0.0f) {
        struct Fit {
            float x, y;
            const char* message;
        };
        static const Fit FITS[4] = {
            {344, 258, " FIT  "}, {352, 288, " FILL "}, {256, 192, " GAME "}, {352, 288, " FULL "}};
        fit_mode = (fit_mode + 1) % 4;
        fit_x = FITS[fit_mode].x;
        fit_y = FITS[fit_mode].y;
        update_ortho();
        post_message(FITS[fit_mode].message);
    } else {
        rotate = 0.0f;
        scale = 1.0f;
        translate_x = translate_y = 0.0f;
        post_message(" RESTORE ");
    }
}
void Session::handle_control_keys() {
    TXTINK = 0x1C; // bright green on blue for every message of this frame
    if (!file_requester_mode) {
        channel_keys();
        if (win_held() && key_pressed(key::letter('s'))) save_snapshot_key();
        pan_keys();
        zoom_and_rotate_keys();
        grille_and_colour_keys();
        if (key_held(key::F12)) {
            reset_logical_system();
            machine.tape_rewind();
            post_message(" RESET ", key_pressed(key::F12));
        }
        home_key();
        if (key_pressed(key::F11)) tape_key();
        joystick_keys_key();
        cpu_model_key(*this);
        feature_keys();
    }
    if (key_pressed(key::F9)) {
        if (file_requester_mode) {
            overlay = overlay == 2 ? 1 : 2;
        } else {
            overlay = (overlay + 1) % 3;
            overlay_timeout = 0; // a running message stops timing; the chosen state stays
        }
    }
    if (key_pressed(key::F10)) do_file_requester();
}

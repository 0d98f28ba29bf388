// The control keys of typing by character (Windows+T), screenshots (Windows+P), the exact
// border (Windows+B) and the display mode (Alt+Enter), each with its message on row 23.
#include "frontend/keys.h"
#include "frontend/session.h"

void Session::feature_keys() {
    const Keyboard& k = keyboard;
    if (k.win_held() && k.key_pressed(key::letter('t'))) {
        keyboard.type_chars = !keyboard.type_chars;
        text.post_message(keyboard.type_chars ? " TYPE BY CHARACTER " : " TYPE BY POSITION  ");
    }
    if (k.win_held() && k.key_pressed(key::letter('p')))
        files.save_screenshot(ULA_surface[last_picture], text);
    if (k.win_held() && k.key_pressed(key::letter('b'))) {
        machine.exact_border = !machine.exact_border;
        text.post_message(machine.exact_border ? " EXACT BORDER ON  " : " EXACT BORDER OFF ");
    }
    if ((k.key_held(key::LALT) || k.key_held(key::RALT)) && k.key_pressed(key::RETURN)) {
        view.windowed = !view.windowed;
        text.post_message(view.windowed ? " WINDOW      " : " FULL SCREEN ");
    }
}

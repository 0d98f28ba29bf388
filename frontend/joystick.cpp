// The joystick: a gamepad, gamepad keys or the keyboard's arrows, seen by the machine as a
// Kempston interface or as the keys a Sinclair or cursor joystick presses.
#include <string>

#include "frontend/keys.h"
#include "frontend/words.h"
#include "frontend/session.h"

uint8_t Keyboard::joystick_bits() const {
    uint8_t bits = gamepad;
    for (int b = 0; b < 5; b++)
        if (key_held(key::JOY_RIGHT + b)) bits |= static_cast<uint8_t>(1 << b);
    if (joystick_keys && !win_held()) {
        if (key_held(key::RIGHT)) bits |= 0x01;
        if (key_held(key::LEFT)) bits |= 0x02;
        if (key_held(key::DOWN)) bits |= 0x04;
        if (key_held(key::UP)) bits |= 0x08;
        if (key_held(key::TAB)) bits |= 0x10;
    }
    return bits;
}

void Keyboard::apply_joystick(Spectrum& machine) const {
    const uint8_t bits = joystick_bits();
    machine.kempston = 0;
    // Half-row A11 holds 1-5 (5 is bit 4), A12 holds 0, 9, 8, 7, 6 (bits 0-4).
    uint8_t& row11 = machine.key_rows[3];
    uint8_t& row12 = machine.key_rows[4];
    auto when = [bits](int bit, uint8_t mask) { return (bits >> bit) & 1 ? mask : 0; };
    switch (joystick_map) {
    case JoystickMap::KEMPSTON: machine.kempston = bits; break;
    case JoystickMap::SINCLAIR: // left 6, right 7, down 8, up 9, fire 0
        row12 |= when(1, 0x10) | when(0, 0x08) | when(2, 0x04) | when(3, 0x02) | when(4, 0x01);
        break;
    case JoystickMap::CURSOR: // left 5, down 6, up 7, right 8, fire 0
        row11 |= when(1, 0x10);
        row12 |= when(2, 0x10) | when(3, 0x08) | when(0, 0x04) | when(4, 0x01);
        break;
    }
}

void Session::joystick_keys_key() {
    if (!(keyboard.win_held() && keyboard.key_pressed(key::letter('j')))) return;
    keyboard.joystick_keys = !keyboard.joystick_keys;
    text.post_message(keyboard.joystick_keys ? " JOYSTICK KEYS ON " : " JOYSTICK KEYS OFF ");
}

void Session::apply_hardware_options(const HardwareOptions& options) {
    machine.ay_on_48 = options.ay_on_48;
    machine.ay.stereo = options.stereo;
    keyboard.joystick_map = options.joystick;
}

bool parse_stereo(const std::string& word, AyStereo& stereo) {
    const std::string w = ascii_lower(word);
    if (w == "abc") stereo = AyStereo::ABC;
    else if (w == "acb") stereo = AyStereo::ACB;
    else if (w == "mono") stereo = AyStereo::MONO;
    else return false;
    return true;
}

bool parse_joystick_map(const std::string& word, Session::JoystickMap& map) {
    const std::string w = ascii_lower(word);
    if (w == "kempston") map = Session::JoystickMap::KEMPSTON;
    else if (w == "sinclair") map = Session::JoystickMap::SINCLAIR;
    else if (w == "cursor") map = Session::JoystickMap::CURSOR;
    else return false;
    return true;
}

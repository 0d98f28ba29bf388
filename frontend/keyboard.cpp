// The host keyboard: per-key press edges for the control keys, and the Spectrum's 40-key
// matrix for the machine.
#include <algorithm>

#include "frontend/host.h"
#include "frontend/keys.h"
#include "frontend/session.h"

void Session::keyboard_attach(const uint8_t* states, int count) {
    keystate = states;
    numkeys = count;
    keystate_last.assign(count, 0);
    keystate_make.assign(count, 0);
    keystate_swallowed.assign(count, 0);
}

void Session::read_keyboard() {
    std::copy(keystate, keystate + numkeys, keystate_last.begin());
    if (host_pump_events()) exit_request = 1;
    for (int i = 0; i < numkeys; i++) {
        keystate_make[i] = (keystate[i] ^ keystate_last[i]) & keystate[i];
        keystate_swallowed[i] &= keystate[i];
    }
    update_key_rows();
}

bool Session::win_held() const {
    return key_held(key::LSUPER) || key_held(key::RSUPER) || key_held(key::LMETA) ||
           key_held(key::RMETA);
}

namespace {
// The half-rows by address line A8..A15; column n is bit n of the port value. Each column
// lists the host keys that press it (0 ends a list). Backspace is CAPS SHIFT + 0, the
// arrows are CAPS SHIFT + 5, 6, 7, 8; either Shift is CAPS SHIFT, either Ctrl SYMBOL SHIFT.
constexpr int MAX_KEYS = 8;
struct HalfRow {
    int keys[5][MAX_KEYS];
};
constexpr HalfRow HALF_ROWS[8] = {
    // A8 (0xFEFE): CAPS SHIFT, Z, X, C, V
    {{{key::LSHIFT, key::RSHIFT, key::BACKSPACE, key::UP, key::DOWN, key::LEFT, key::RIGHT},
      {key::letter('z')},
      {key::letter('x')},
      {key::letter('c')},
      {key::letter('v')}}},
    // A9 (0xFDFE): A, S, D, F, G
    {{{key::letter('a')},
      {key::letter('s')},
      {key::letter('d')},
      {key::letter('f')},
      {key::letter('g')}}},
    // A10 (0xFBFE): Q, W, E, R, T
    {{{key::letter('q')},
      {key::letter('w')},
      {key::letter('e')},
      {key::letter('r')},
      {key::letter('t')}}},
    // A11 (0xF7FE): 1, 2, 3, 4, 5
    {{{key::digit(1)},
      {key::digit(2)},
      {key::digit(3)},
      {key::digit(4)},
      {key::digit(5), key::LEFT}}},
    // A12 (0xEFFE): 0, 9, 8, 7, 6
    {{{key::digit(0), key::BACKSPACE},
      {key::digit(9)},
      {key::digit(8), key::RIGHT},
      {key::digit(7), key::UP},
      {key::digit(6), key::DOWN}}},
    // A13 (0xDFFE): P, O, I, U, Y
    {{{key::letter('p')},
      {key::letter('o')},
      {key::letter('i')},
      {key::letter('u')},
      {key::letter('y')}}},
    // A14 (0xBFFE): ENTER, L, K, J, H
    {{{key::RETURN},
      {key::letter('l')},
      {key::letter('k')},
      {key::letter('j')},
      {key::letter('h')}}},
    // A15 (0x7FFE): SPACE, SYMBOL SHIFT, M, N, B
    {{{key::SPACE},
      {key::LCTRL, key::RCTRL},
      {key::letter('m')},
      {key::letter('n')},
      {key::letter('b')}}},
};
} // namespace

void Session::update_key_rows() {
    const bool emulator_keys = win_held();
    for (int line = 0; line < 8; line++) {
        uint8_t mask = 0;
        if (!emulator_keys)
            for (int col = 0; col < 5; col++)
                for (int i = 0; i < MAX_KEYS && HALF_ROWS[line].keys[col][i]; i++) {
                    const int k = HALF_ROWS[line].keys[col][i];
                    // With the joystick on the keyboard the arrows are the joystick's.
                    if (joystick_keys && k >= key::UP && k <= key::LEFT) continue;
                    if (key_held(k)) mask |= 1 << col;
                }
        machine.key_rows[line] = mask;
    }
    apply_joystick();
}

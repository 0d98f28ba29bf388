// The host keyboard as the Spectrum's 40-key matrix.
#include "input/keyboard.h"

#include <cstdlib>
#include <cstring>

#include "core/host.h"
#include "input/keys.h"

uint8_t* keystate;
int numkeys;
uint8_t* keystate_last;
uint8_t* keystate_make;

void keyboard_attach(uint8_t* states, int count) {
    keyboard_release();
    keystate = states;
    numkeys = count;
    keystate_last = static_cast<uint8_t*>(std::calloc(count, 1));
    keystate_make = static_cast<uint8_t*>(std::calloc(count, 1));
}

void keyboard_release() {
    std::free(keystate_make);
    std::free(keystate_last);
    keystate_make = keystate_last = nullptr;
    keystate = nullptr;
    numkeys = 0;
}

void read_keyboard() {
    std::memcpy(keystate_last, keystate, numkeys);
    host_pump_events();
    for (int i = 0; i < numkeys; i++)
        keystate_make[i] = (keystate[i] ^ keystate_last[i]) & keystate[i];
}

bool win_held() {
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
    {{{key::letter('a')}, {key::letter('s')}, {key::letter('d')}, {key::letter('f')},
      {key::letter('g')}}},
    // A10 (0xFBFE): Q, W, E, R, T
    {{{key::letter('q')}, {key::letter('w')}, {key::letter('e')}, {key::letter('r')},
      {key::letter('t')}}},
    // A11 (0xF7FE): 1, 2, 3, 4, 5
    {{{key::digit(1)}, {key::digit(2)}, {key::digit(3)}, {key::digit(4)},
      {key::digit(5), key::LEFT}}},
    // A12 (0xEFFE): 0, 9, 8, 7, 6
    {{{key::digit(0), key::BACKSPACE},
      {key::digit(9)},
      {key::digit(8), key::RIGHT},
      {key::digit(7), key::UP},
      {key::digit(6), key::DOWN}}},
    // A13 (0xDFFE): P, O, I, U, Y
    {{{key::letter('p')}, {key::letter('o')}, {key::letter('i')}, {key::letter('u')},
      {key::letter('y')}}},
    // A14 (0xBFFE): ENTER, L, K, J, H
    {{{key::RETURN}, {key::letter('l')}, {key::letter('k')}, {key::letter('j')},
      {key::letter('h')}}},
    // A15 (0x7FFE): SPACE, SYMBOL SHIFT, M, N, B
    {{{key::SPACE}, {key::LCTRL, key::RCTRL}, {key::letter('m')}, {key::letter('n')},
      {key::letter('b')}}},
};

uint8_t half_row_mask(const HalfRow& row) {
    uint8_t mask = 0;
    for (int col = 0; col < 5; col++)
        for (int i = 0; i < MAX_KEYS && row.keys[col][i]; i++)
            if (key_held(row.keys[col][i])) mask |= 1 << col;
    return mask;
}
} // namespace

uint8_t keyboard_matrix_read(uint16_t port, uint8_t value) {
    if (win_held()) return value; // the emulator's own keys use the Windows key
    for (int line = 0; line < 8; line++)
        if (!(port & (0x100 << line))) value &= ~half_row_mask(HALF_ROWS[line]);
    return value;
}

// The host keyboard as the Spectrum's key matrix, and per-key press edges.
#pragma once

#include <cstdint>

// The host's key-state array, one byte per key code (1 = down), refreshed only when the
// host pumps its events. The host owns it; keystate_last and keystate_make are ours.
extern uint8_t* keystate;
extern int numkeys;
extern uint8_t* keystate_last; // the states just before the most recent pump
extern uint8_t* keystate_make; // 1 for each key that went down in the most recent pump

// Samples the keyboard: remember the states, pump the host's events, compute the edges.
void read_keyboard();

// Allocates keystate_last and keystate_make for the host's array; frees them.
void keyboard_attach(uint8_t* states, int count);
void keyboard_release();

inline bool key_held(int k) { return k >= 0 && k < numkeys && keystate[k]; }
inline bool key_pressed(int k) { return k >= 0 && k < numkeys && keystate_make[k]; }

// A Windows key, whichever name the host gives it (SUPER, or META without the keyboard
// layout mapping of the compat library).
bool win_held();

// The matrix read of an even-port IN: value with the bits of the held keys of every
// half-row selected by a 0 on A8..A15 cleared. With a Windows key held nothing is cleared.
uint8_t keyboard_matrix_read(uint16_t port, uint8_t value);

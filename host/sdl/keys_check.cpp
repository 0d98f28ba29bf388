// The machine library names host keys by plain integers; they must be SDL 1.2's key symbols.
#include <SDL/SDL.h>

#include "frontend/keys.h"

static_assert(key::BACKSPACE == SDLK_BACKSPACE && key::RETURN == SDLK_RETURN);
static_assert(key::ESCAPE == SDLK_ESCAPE && key::SPACE == SDLK_SPACE);
static_assert(key::NUM_0 == SDLK_0 && key::digit(9) == SDLK_9);
static_assert(key::LETTER_A == SDLK_a && key::letter('z') == SDLK_z);
static_assert(key::KP0 == SDLK_KP0 && key::keypad(9) == SDLK_KP9);
static_assert(key::UP == SDLK_UP && key::DOWN == SDLK_DOWN);
static_assert(key::RIGHT == SDLK_RIGHT && key::LEFT == SDLK_LEFT);
static_assert(key::HOME == SDLK_HOME && key::END == SDLK_END);
static_assert(key::PAGEUP == SDLK_PAGEUP && key::PAGEDOWN == SDLK_PAGEDOWN);
static_assert(key::F1 == SDLK_F1 && key::F2 == SDLK_F2 && key::F3 == SDLK_F3);
static_assert(key::F4 == SDLK_F4 && key::F5 == SDLK_F5 && key::F6 == SDLK_F6);
static_assert(key::F7 == SDLK_F7 && key::F8 == SDLK_F8 && key::F9 == SDLK_F9);
static_assert(key::F10 == SDLK_F10 && key::F11 == SDLK_F11 && key::F12 == SDLK_F12);
static_assert(key::RSHIFT == SDLK_RSHIFT && key::LSHIFT == SDLK_LSHIFT);
static_assert(key::RCTRL == SDLK_RCTRL && key::LCTRL == SDLK_LCTRL);
static_assert(key::RALT == SDLK_RALT && key::LALT == SDLK_LALT);
static_assert(key::RMETA == SDLK_RMETA && key::LMETA == SDLK_LMETA);
static_assert(key::LSUPER == SDLK_LSUPER && key::RSUPER == SDLK_RSUPER);
static_assert(key::LAST == SDLK_LAST);

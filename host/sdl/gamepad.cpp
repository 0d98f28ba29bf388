// The first gamepad: its stick (with a dead zone), its hat and its buttons as the machine's
// joystick, in the Kempston interface's bits.
#include <SDL/SDL.h>

#include "frontend/session.h"
#include "host/sdl/sdl_host.h"

namespace {
SDL_Joystick* pad = nullptr;
// Directions from the stick and from the hat, kept apart so that letting go of one does
// not cancel the other; fire from any button.
uint8_t stick = 0, hat = 0;
uint32_t buttons = 0;
// A third of the stick's travel either side of the centre counts as no direction.
constexpr int DEAD_ZONE = 32767 / 3;

constexpr uint8_t RIGHT = 0x01, LEFT = 0x02, DOWN = 0x04, UP = 0x08, FIRE = 0x10;
} // namespace

void gamepad_open() {
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) < 0 || SDL_NumJoysticks() < 1) return;
    pad = SDL_JoystickOpen(0);
    if (pad) SDL_JoystickEventState(SDL_ENABLE);
}

bool gamepad_event(const SDL_Event& event, Session& session) {
    switch (event.type) {
    case SDL_JOYAXISMOTION: {
        if (event.jaxis.which != 0 || event.jaxis.axis > 1) return true;
        const int v = event.jaxis.value;
        const uint8_t minus = event.jaxis.axis == 0 ? LEFT : UP;
        const uint8_t plus = event.jaxis.axis == 0 ? RIGHT : DOWN;
        stick &= static_cast<uint8_t>(~(minus | plus));
        if (v < -DEAD_ZONE) stick |= minus;
        if (v > DEAD_ZONE) stick |= plus;
        break;
    }
    case SDL_JOYHATMOTION:
        if (event.jhat.which != 0 || event.jhat.hat != 0) return true;
        hat = 0;
        if (event.jhat.value & SDL_HAT_UP) hat |= UP;
        if (event.jhat.value & SDL_HAT_DOWN) hat |= DOWN;
        if (event.jhat.value & SDL_HAT_LEFT) hat |= LEFT;
        if (event.jhat.value & SDL_HAT_RIGHT) hat |= RIGHT;
        break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (event.jbutton.which != 0 || event.jbutton.button >= 32) return true;
        if (event.type == SDL_JOYBUTTONDOWN) buttons |= 1u << event.jbutton.button;
        else buttons &= ~(1u << event.jbutton.button);
        break;
    default: return false;
    }
    session.keyboard.gamepad = static_cast<uint8_t>(stick | hat | (buttons ? FIRE : 0));
    return true;
}

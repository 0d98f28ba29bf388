// Keys, taps and typing: the host's key states and the edges between two reads, the presses
// played into the machine's key rows one at a time as taps, typing by character, and the
// joystick (a gamepad, gamepad keys or the arrows) as the machine sees it.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "frontend/typing.h"

class Spectrum;

class Keyboard {
  public:
    // The host's key-state array, one byte per key code (1 = down), refreshed only when the
    // host pumps its events; the host owns it.
    const uint8_t* keystate = nullptr;
    int numkeys = 0;
    std::vector<uint8_t> keystate_last; // the states just before the most recent pump
    std::vector<uint8_t> keystate_make; // 1 for each key that went down in the most recent pump
    // 1 for each key whose press the host's event queue gave in the most recent pump, even
    // if it was let go again before the pump ended (a tap between two reads).
    std::vector<uint8_t> keystate_tapped;
    // 1 for each key let go in the most recent pump: it still counts as held for this read,
    // so that Windows+P pressed and let go across two pumps is still Windows+P.
    std::vector<uint8_t> keystate_released;
    // Keys that closed the requester: they count as up until they are released.
    std::vector<uint8_t> keystate_swallowed;
    void attach(const uint8_t* states, int count);
    // A read of the keyboard is before_pump(), the host's pump of its events (which may
    // deliver key_event()s), then after_pump(): the edges, the taps and the key rows.
    void before_pump();
    void after_pump(Spectrum& machine, uint64_t machine_time);
    // A key is held for a read when it is down, or went down or up since the last read.
    bool key_held(int k) const {
        return k >= 0 && k < numkeys &&
               (keystate[k] || keystate_tapped[k] || keystate_released[k]) &&
               !keystate_swallowed[k];
    }
    bool key_pressed(int k) const { return key_held(k) && keystate_make[k]; }
    // A Windows key, whichever name the host gives it (SUPER, or META without the keyboard
    // layout mapping of the compat library).
    bool win_held() const;
    // A held key counts as up until it is released (the key that closed the requester).
    void swallow(int k) {
        if (key_held(k)) keystate_swallowed[k] = 1;
    }
    // The machine's key rows from the held keys and the tap being played; none while a
    // Windows key is held (the emulator's own keys use it). Then the joystick.
    void update_key_rows(Spectrum& machine);
    // One key event from the host's queue, in order, during the pump: the key code, down
    // or up, and the character a press types (0 if none or unknown). While the requester
    // is open a press plays no tap.
    void key_event(int key, bool down, uint32_t character, bool requester_open);
    // Typing by character: a host character that the Spectrum types with SYMBOL SHIFT
    // presses that combination instead of the key in its place.
    bool type_chars = false;
    // Presses of Spectrum keys, played one after another, each for a few logical frames
    // (the ROM's scan at the interrupt sees it) and no sooner than the ROM can take it.
    struct KeyTap {
        int key = -1;          // the host key whose press it is (-1: typed by a script)
        std::vector<int> keys; // host keys, as the key rows map them
        bool symbol = false;   // a character typed with SYMBOL SHIFT: no CAPS SHIFT with it
        int hold = 2;          // logical frames down at least
        int gap = 6;           // logical frames from its start to the next one's, at least,
                               // when the ROM's keyboard routine is not in charge
    };
    std::deque<KeyTap> tap_queue;
    KeyTap tap_playing; // the tap in the key rows now, or none
    std::vector<int> last_tap_keys;
    uint64_t tap_started = 0; // the machine time when the last one began
    TapHandshake tap_rom;     // what the ROM has made of the last one (frontend/typing.h)
    // Text typed by the headless runner's script: each combination a tap held `hold` frames,
    // queued behind the taps still waiting.
    void type_taps(const std::vector<std::vector<int>>& combinations, int hold);

    // The joystick is read from the host's first gamepad (`gamepad`, set by the host), from
    // the gamepad keys of a host that has them (key::JOY_*), and, with joystick_keys on
    // (Windows+J), from the arrows and Tab (fire). joystick_map says where the machine sees
    // it: the Kempston port 0x1F, or the keys 6-0 (Sinclair) or 5-8 and 0 (cursor).
    enum class JoystickMap : uint8_t { KEMPSTON, SINCLAIR, CURSOR };
    JoystickMap joystick_map = JoystickMap::KEMPSTON;
    bool joystick_keys = false;
    uint8_t gamepad = 0; // Kempston bits: 0 right, 1 left, 2 down, 3 up, 4 fire
    // The joystick's state now, in Kempston bits.
    uint8_t joystick_bits() const;
    // Gives the machine the joystick: the port's bits, or the mapped keys added to its rows.
    void apply_joystick(Spectrum& machine) const;

  private:
    // Per key held in typing by character: the Spectrum keys its character presses (empty:
    // the key in its place).
    std::vector<std::vector<int>> key_symbols;
    std::vector<int> key_pending; // per key, its presses still waiting in tap_queue
    // Modifiers as the events so far leave them.
    bool event_shift = false, event_ctrl = false, event_alt = false, event_win = false;
    void play_taps(const Spectrum& machine, uint64_t now);
};

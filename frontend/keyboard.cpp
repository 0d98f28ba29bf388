// The host keyboard: per-key press edges for the control keys, and the Spectrum's 40-key
// matrix for the machine.
//
// The key-state array says which keys are held. A key pressed and let go between two reads
// never shows in it, so the host also hands over its key events in order: a press holds a
// control key for at least one read, and is played into the matrix as a tap, on its own,
// in the order of the presses, for a few logical frames: long enough for the ROM's scan at
// the interrupt to see it however short the press (a key held for less than a frame could
// otherwise fall between two interrupts). A key still held after its tap stays down.
#include <algorithm>
#include <cstring>

#include "frontend/keys.h"
#include "frontend/keyboard.h"
#include "spectrum/machine.h"

void Keyboard::attach(const uint8_t* states, int count) {
    keystate = states;
    numkeys = count;
    keystate_last.assign(count, 0);
    keystate_make.assign(count, 0);
    keystate_tapped.assign(count, 0);
    keystate_released.assign(count, 0);
    keystate_swallowed.assign(count, 0);
    key_symbols.assign(count, {});
    key_pending.assign(count, 0);
}

namespace {
// Whether any of the eight bytes at p is set.
bool any_of_eight(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word != 0;
}
} // namespace

void Keyboard::before_pump() {
    std::copy(keystate, keystate + numkeys, keystate_last.begin());
    std::fill(keystate_tapped.begin(), keystate_tapped.end(), 0);
    event_shift = keystate_last[key::LSHIFT] || keystate_last[key::RSHIFT];
    event_ctrl = keystate_last[key::LCTRL] || keystate_last[key::RCTRL];
    event_alt = keystate_last[key::LALT] || keystate_last[key::RALT];
    event_win = keystate_last[key::LSUPER] || keystate_last[key::RSUPER] ||
                keystate_last[key::LMETA] || keystate_last[key::RMETA];
    std::fill(keystate_released.begin(), keystate_released.end(), 0);
}

void Keyboard::after_pump(Spectrum& machine, uint64_t machine_time) {
    for (int g = 0; g < numkeys; g += 8) {
        const int end = std::min(g + 8, numkeys);
        // Eight keys that are up, were up at the last read, were not tapped since and hold
        // no swallow (almost all of them, almost always) need nothing: their symbols went
        // at the read that first saw them up, and only a tap gives new ones.
        if (end == g + 8 && !any_of_eight(keystate + g) && !any_of_eight(&keystate_last[g]) &&
            !any_of_eight(&keystate_tapped[g]) && !any_of_eight(&keystate_swallowed[g])) {
            std::fill_n(&keystate_make[g], 8, 0);
            continue;
        }
        for (int i = g; i < end; i++) {
            keystate_make[i] =
                keystate_tapped[i] | ((keystate[i] ^ keystate_last[i]) & keystate[i]);
            // A key pressed anew is no longer the one that closed the requester.
            keystate_swallowed[i] &= keystate[i] & !keystate_tapped[i];
            if (!keystate[i]) key_symbols[i].clear();
        }
    }
    play_taps(machine, machine_time);
    update_key_rows(machine);
}

bool Keyboard::win_held() const {
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

bool on_matrix(int k) {
    for (const HalfRow& row : HALF_ROWS)
        for (const auto& column : row.keys)
            for (int i = 0; i < MAX_KEYS && column[i]; i++)
                if (column[i] == k) return true;
    return false;
}

namespace {
bool is_shift(int k) { return k == key::LSHIFT || k == key::RSHIFT; }
bool is_ctrl(int k) { return k == key::LCTRL || k == key::RCTRL; }
bool is_win(int k) {
    return k == key::LSUPER || k == key::RSUPER || k == key::LMETA || k == key::RMETA;
}
} // namespace

void Keyboard::key_event(int k, bool down, uint32_t character, bool requester_open) {
    if (k < 0 || k >= numkeys) return;
    if (is_shift(k)) event_shift = down;
    if (is_ctrl(k)) event_ctrl = down;
    if (k == key::LALT || k == key::RALT) event_alt = down;
    if (is_win(k)) event_win = down;
    if (!down) {
        keystate_released[k] = 1;
        return;
    }
    keystate_tapped[k] = 1;
    key_symbols[k].clear();
    // The SDL 1.2 compatibility layer joins a press and its character only when both come
    // in the same pump; without one, the key's character on a US keyboard stands in.
    if (type_chars && character == 0) character = us_layout_char(k, event_shift);
    if (type_chars && character > 0 && character < 128)
        key_symbols[k] = symbol_keys_for_char(static_cast<char>(character));
    // Every press of a Spectrum key is played as a tap, in the order pressed, with the
    // shifts held at that moment; the key counts as held from the array once it has played.
    if (event_win || requester_open || (event_alt && k == key::RETURN)) return;
    KeyTap tap{k, key_symbols[k], !key_symbols[k].empty()};
    if (tap.keys.empty() && on_matrix(k) && !is_shift(k) && !is_ctrl(k)) {
        tap.keys.push_back(k);
        if (event_shift) tap.keys.push_back(key::LSHIFT);
        if (event_ctrl) tap.keys.push_back(key::LCTRL);
    }
    if (tap.keys.empty()) return;
    tap_queue.push_back(tap);
    key_pending[k]++;
}

namespace {
// Past these limits (logical frames) a tap goes on as if the ROM had done its part, so that
// nothing waits for a ROM that is not there or not listening.
constexpr int LIVE_LIMIT = 50;     // FRAMES standing still: the ROM's routine is not running
constexpr int REGISTER_LIMIT = 25; // a tap held without the ROM seeing it (its repeat is at 35)
constexpr int PENDING_LIMIT = 10;  // a new key nobody takes (a program reading keys itself)
constexpr int SET_LIMIT = 10;      // a KSTATE set still holding the next tap's key
constexpr int BUSY_LIMIT = 50;     // the ROM away from where it took the last key (a program)
} // namespace

// One tap at a time: it starts at a read and stays down at least `hold` logical frames of
// machine time, so that the ROM's scan sees it at two interrupts at least (as a held key
// would give it).
//
// When the ROM's keyboard routine is in charge (it counts FRAMES at each interrupt, and IM 1,
// IY and KSTATE look as BASIC keeps them) the next tap waits for the ROM's handshake instead
// of a fixed time, so that text typed at any speed arrives whole: the tap stays down until a
// KSTATE set holds it; the next goes down once the ROM has taken this one (bit 5 of FLAGS
// clear again), is back where it took it (ERR_SP: entering a line clears the bit on the
// way back to the editor, which would lose a key that came meanwhile), is scanning
// (FRAMES moves: interrupts on), and has let the next one's key go (no KSTATE set holds it,
// one is free). Otherwise the next tap waits `gap` frames from this one's start, and a tap
// that shares a key with it at least REPEAT_GAP frames after its release.
void Keyboard::play_taps(const Spectrum& machine, uint64_t now) {
    const auto frame = static_cast<uint64_t>(machine.tpf);
    // Whole frames since machine time t, give or take the few T-states a frame's last
    // instruction runs over.
    auto after = [&](uint64_t t, int frames) {
        return now < t || now - t + frame / 2 >= static_cast<uint64_t>(frames) * frame;
    };
    const RomKeys rom = read_rom_keys(machine);
    TapHandshake& h = tap_rom;
    if (rom.frames != h.frames) h.frames_moved = now;
    if (!h.frames_seen) h.frames_moved = UINT64_MAX; // the first look: not yet seen moving
    h.frames = rom.frames;
    h.frames_seen = true;
    const bool in_charge =
        rom.sane && h.frames_moved != UINT64_MAX && !after(h.frames_moved, LIVE_LIMIT);
    const bool scanning = in_charge && !after(h.frames_moved, 2);

    if (in_charge && h.code) {
        if (!h.registered && rom.holds(h.code)) {
            h.registered = true;
            h.registered_at = now;
        }
        if (h.registered && !h.taken && !rom.new_key) {
            h.taken = true;
            h.taken_at = now;
        }
        if (h.taken && rom.context != h.context) h.back = false;
        else if (h.taken && !h.back) {
            h.back = true;
            h.back_at = now;
        }
    }

    if (!tap_playing.keys.empty()) {
        const bool held = now - tap_started >= static_cast<uint64_t>(tap_playing.hold) * frame;
        const bool seen =
            !in_charge || !h.code || h.registered || after(tap_started, REGISTER_LIMIT);
        if (!held || !seen) return;
        tap_playing = {};
        h.released_at = now;
    }
    if (tap_queue.empty()) return;
    const KeyTap& next = tap_queue.front();
    if (!last_tap_keys.empty()) {
        if (in_charge) {
            const uint8_t code = rom_key_code(next.keys);
            const bool fresh =
                !code || (!rom.holds(code) && rom.set_free()) || after(h.released_at, SET_LIMIT);
            const bool handed = !h.registered || h.taken || h.pending_before ||
                                after(h.registered_at, PENDING_LIMIT);
            // Back for a whole frame: the bit is cleared before the editor leaves for the line.
            const bool back =
                !h.taken || (h.back && after(h.back_at, 1)) || after(h.taken_at, BUSY_LIMIT);
            if (!scanning || !fresh || !handed || !back) return;
        }
        // A key the editor did not take went to a program that reads the keyboard itself
        // (INKEY$, a game): it gets the pause between keys that it may wait for.
        if (!in_charge || !h.taken) {
            const bool repeats = share_a_key(last_tap_keys, next.keys);
            const int gap = repeats ? std::max(h.gap + 3, h.hold + REPEAT_GAP) : h.gap;
            if (now < tap_started + static_cast<uint64_t>(gap) * frame) return;
        }
    }
    tap_playing = next;
    tap_queue.pop_front();
    if (tap_playing.key >= 0) key_pending[tap_playing.key]--;
    tap_started = now;
    last_tap_keys = tap_playing.keys;
    TapHandshake started;
    started.code = rom_key_code(tap_playing.keys);
    started.context = rom.context;
    started.pending_before = rom.new_key;
    started.hold = tap_playing.hold;
    started.gap = tap_playing.gap;
    started.frames = h.frames;
    started.frames_moved = h.frames_moved;
    started.frames_seen = true;
    h = started;
}

void Keyboard::type_taps(const std::vector<std::vector<int>>& combinations, int hold) {
    for (const std::vector<int>& keys : combinations) {
        KeyTap tap;
        tap.keys = keys;
        tap.hold = hold;
        tap.gap = 2 * hold;
        tap_queue.push_back(tap);
    }
}

void Keyboard::update_key_rows(Spectrum& machine) {
    // The host keys that count as down: the tap being played, and the held keys whose
    // presses have all been played (a key typed by character in its combination's place,
    // and no CAPS SHIFT from the Shift that made the character). While taps are being
    // played they carry their own shifts: the shifts held now belong to later keys.
    const bool busy = !tap_playing.keys.empty() || !tap_queue.empty();
    auto counts = [&](int k) {
        return keystate[k] && !keystate_swallowed[k] && !key_pending[k] &&
               !(busy && (is_shift(k) || is_ctrl(k)));
    };
    // The tap being played was pressed without the Windows key (which makes a key the
    // emulator's), so a Windows key held since (a screenshot taken while typed-ahead keys
    // still play) holds back only the keys held now, never the tap.
    const bool alt = key_held(key::LALT) || key_held(key::RALT); // Alt+Enter is the host's
    const bool emulator_keys = win_held();
    // Only a key that is down can count: found eight at a time.
    std::vector<int> held;
    for (int g = 0; g < numkeys && !emulator_keys; g += 8) {
        const int end = std::min(g + 8, numkeys);
        if (end == g + 8 && !any_of_eight(keystate + g)) continue;
        for (int k = g; k < end; k++)
            if (counts(k)) held.push_back(k);
    }
    bool symbol = tap_playing.symbol;
    for (int k : held)
        if (!key_symbols[k].empty()) symbol = true;
    std::vector<int> down = tap_playing.keys;
    for (int k : held) {
        if (alt && k == key::RETURN) continue;
        if (!key_symbols[k].empty())
            down.insert(down.end(), key_symbols[k].begin(), key_symbols[k].end());
        else if (!(symbol && is_shift(k))) down.push_back(k);
    }
    for (int line = 0; line < 8; line++) {
        uint8_t mask = 0;
        // With no key down (the usual case) there is nothing to look up.
        for (int col = 0; col < 5 && !down.empty(); col++)
            for (int i = 0; i < MAX_KEYS && HALF_ROWS[line].keys[col][i]; i++) {
                const int k = HALF_ROWS[line].keys[col][i];
                // With the joystick on the keyboard the arrows are the joystick's.
                if (joystick_keys && k >= key::UP && k <= key::LEFT) continue;
                if (std::find(down.begin(), down.end(), k) != down.end()) mask |= 1 << col;
            }
        machine.key_rows[line] = mask;
    }
    apply_joystick(machine);
}

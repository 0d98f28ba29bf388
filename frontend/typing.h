// Characters as the Spectrum keyboard types them: which keys make each one. Shared by the
// headless runner's typed text and the full-screen program's typing by character.
#pragma once

#include <cstdint>
#include <vector>

class Spectrum;

// The host keys that type one character on the Spectrum keyboard: a letter or digit its own
// key (a capital with CAPS SHIFT, the host's Shift), a symbol its key with SYMBOL SHIFT (the
// host's Ctrl): + is SYMBOL SHIFT + K, " is SYMBOL SHIFT + P. Empty if it has none.
std::vector<int> keys_for_char(char ch);

// The keys for a character the Spectrum types only with SYMBOL SHIFT; empty for any other
// (letters, digits, space, and characters it has no key for).
std::vector<int> symbol_keys_for_char(char ch);

// The ROM takes a key that comes back within a few frames of its release for the same press
// still held (its key state counts five interrupts down before it lets a key go), so a
// character that repeats a key of the one before it ("LL", "55") is typed only once the
// key has been up this many logical frames.
constexpr int REPEAT_GAP = 6;

// Whether two key combinations share a key other than the shifts (which the ROM reads apart
// from the key it decodes): the second cannot follow the first at once.
bool share_a_key(const std::vector<int>& a, const std::vector<int>& b);

// The character a key of a US PC keyboard types, with or without Shift; 0 for none. Typing
// by character falls back on it when the host gives a press without its character.
uint32_t us_layout_char(int key, bool shift);

// What the ROM's keyboard routine shows of itself in the system variables at a frame end.
// Its routine runs at every frame interrupt: it counts FRAMES, keeps the keys it has seen
// in KSTATE's two sets (a key code and a count of interrupts down to letting it go), and
// puts a new key in LAST_K with bit 5 of FLAGS set; the editor clears the bit as it takes
// the key. Opening the keyboard channel clears it too, so a key that comes while a line is
// being entered, before the editor waits again, is lost: ERR_SP, where an error would
// return to, says whether the editor is still where it took the last key.
struct RomKeys {
    bool sane = false;      // IM 1, IY at ERR_NR, the ROM paged, KSTATE as the ROM keeps it
    uint16_t frames = 0;    // FRAMES, low 16 bits
    bool new_key = false;   // bit 5 of FLAGS: a key not yet taken
    uint8_t kstate[2] = {}; // the key code of each KSTATE set; bit 7 set when the set is free
    uint32_t context = 0;   // ERR_SP and the address it holds
    // Whether a KSTATE set holds this key code: the ROM takes that key as still held.
    bool holds(uint8_t code) const { return code && (kstate[0] == code || kstate[1] == code); }
    bool set_free() const { return (kstate[0] & 0x80) || (kstate[1] & 0x80); }
};
RomKeys read_rom_keys(const Spectrum& m);

// The key code the ROM's scan gives a combination: its key other than the shifts, as the
// key is labelled ('A', '1', ENTER 13, SPACE 32; Backspace is 0, the arrows 5 to 8); 0 when
// it has none (the shifts alone).
uint8_t rom_key_code(const std::vector<int>& keys);

// The handshake of typed keys with the ROM: what it has made of the last tap, by machine
// time (T-states).
struct TapHandshake {
    uint8_t code = 0;            // the tap's key code, 0 when it has none
    bool registered = false;     // a KSTATE set took it
    bool taken = false;          // then bit 5 of FLAGS went clear: the ROM handed it on
    bool pending_before = false; // bit 5 was set already when it went down (nobody takes keys)
    uint32_t context = 0;        // the ROM's context when it went down
    uint64_t registered_at = 0, taken_at = 0, released_at = 0;
    bool back = false; // the context is `context` again since back_at
    uint64_t back_at = 0;
    int hold = 2, gap = 6; // the tap's own (Session::KeyTap)
    uint16_t frames = 0;   // FRAMES at the last read, and the time it last moved
    uint64_t frames_moved = 0;
    bool frames_seen = false;
};

// Whether the key is on the Spectrum's keyboard (in its place or as a CAPS SHIFT combination:
// Backspace, the arrows).
bool on_matrix(int key);

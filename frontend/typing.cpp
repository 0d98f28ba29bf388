#include "frontend/typing.h"

#include <algorithm>
#include <array>
#include <utility>

#include "frontend/keys.h"
#include "spectrum/machine.h"

namespace {
// The symbols printed in red on the Spectrum's keys, typed with SYMBOL SHIFT, each with its
// key (^ is the up arrow on H). The brackets, braces, ~, | and \ need extended mode: no
// single combination types them.
constexpr std::array<std::pair<char, char>, 24> SYMBOLS = {{
    {'!', '1'}, {'@', '2'}, {'#', '3'}, {'$', '4'}, {'%', '5'}, {'&', '6'}, {'\'', '7'}, {'(', '8'},
    {')', '9'}, {'_', '0'}, {'<', 'r'}, {'>', 't'}, {';', 'o'}, {'"', 'p'}, {'=', 'l'},  {'+', 'k'},
    {'-', 'j'}, {'^', 'h'}, {':', 'z'}, {'?', 'c'}, {'/', 'v'}, {'*', 'b'}, {',', 'n'},  {'.', 'm'},
}};
} // namespace

std::vector<int> symbol_keys_for_char(char ch) {
    for (const auto& [symbol, base] : SYMBOLS)
        if (symbol == ch)
            return {key::LCTRL, base >= 'a' ? key::letter(base) : key::digit(base - '0')};
    return {};
}

std::vector<int> keys_for_char(char ch) {
    if (ch >= 'a' && ch <= 'z') return {key::letter(ch)};
    if (ch >= 'A' && ch <= 'Z')
        return {key::LSHIFT, key::letter(static_cast<char>(ch - 'A' + 'a'))};
    if (ch >= '0' && ch <= '9') return {key::digit(ch - '0')};
    if (ch == ' ') return {key::SPACE};
    if (ch == '\n') return {key::RETURN};
    return symbol_keys_for_char(ch);
}

bool share_a_key(const std::vector<int>& a, const std::vector<int>& b) {
    for (const int k : a)
        if (k != key::LSHIFT && k != key::LCTRL && std::find(b.begin(), b.end(), k) != b.end())
            return true;
    return false;
}

uint32_t us_layout_char(int k, bool shift) {
    static constexpr std::array<std::pair<char, char>, 11> PUNCTUATION = {{
        {'=', '+'},
        {'-', '_'},
        {';', ':'},
        {'\'', '"'},
        {',', '<'},
        {'.', '>'},
        {'/', '?'},
        {'`', '~'},
        {'[', '{'},
        {']', '}'},
        {'\\', '|'},
    }};
    static constexpr char SHIFTED_DIGITS[] = ")!@#$%^&*(";
    if (k >= '0' && k <= '9') return static_cast<uint32_t>(shift ? SHIFTED_DIGITS[k - '0'] : k);
    if (k >= 'a' && k <= 'z') return static_cast<uint32_t>(shift ? k - 'a' + 'A' : k);
    for (const auto& [plain, shifted] : PUNCTUATION)
        if (k == plain) return static_cast<uint32_t>(shift ? shifted : plain);
    return 0;
}

namespace {
// System variables of the ROM's keyboard routine and editor.
constexpr uint16_t KSTATE = 23552;
constexpr uint16_t ERR_SP = 23613;
constexpr uint16_t FLAGS = 23611;
constexpr uint16_t FRAMES = 23672;
constexpr uint16_t ERR_NR = 23610; // IY holds its address while BASIC runs
} // namespace

RomKeys read_rom_keys(const Spectrum& m) {
    auto byte = [&](uint16_t a) { return m.readbyte_internal(a); };
    auto word = [&](uint16_t a) { return static_cast<uint16_t>(byte(a) | byte(a + 1) << 8); };
    RomKeys rom;
    rom.frames = word(FRAMES);
    rom.new_key = byte(FLAGS) & 0x20;
    rom.kstate[0] = byte(KSTATE);
    rom.kstate[1] = byte(KSTATE + 4);
    const uint16_t err_sp = word(ERR_SP);
    rom.context = static_cast<uint32_t>(err_sp) << 16 | word(err_sp);
    // A set in use counts at most five interrupts down.
    const bool kstate_sane = ((rom.kstate[0] & 0x80) || byte(KSTATE + 1) <= 5) &&
                             ((rom.kstate[1] & 0x80) || byte(KSTATE + 5) <= 5);
    rom.sane = m.z80.IM == 1 && m.z80.IY == ERR_NR && m.SLTPTR[0] == m.basic_rom() && kstate_sane;
    return rom;
}

uint8_t rom_key_code(const std::vector<int>& keys) {
    for (const int k : keys) {
        if (k >= key::letter('a') && k <= key::letter('z'))
            return static_cast<uint8_t>(k - key::letter('a') + 'A');
        if (k >= key::digit(0) && k <= key::digit(9)) return static_cast<uint8_t>(k);
        switch (k) {
        case key::RETURN: return 13;
        case key::SPACE: return ' ';
        case key::BACKSPACE: return '0';
        case key::LEFT: return '5';
        case key::DOWN: return '6';
        case key::UP: return '7';
        case key::RIGHT: return '8';
        default: break;
        }
    }
    return 0;
}

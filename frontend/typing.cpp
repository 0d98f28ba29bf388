#include "frontend/typing.h"

#include <algorithm>
#include <array>
#include <utility>

#include "frontend/keys.h"

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

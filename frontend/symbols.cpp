#include "frontend/symbols.h"

#include "formats/formats.h"
#include "frontend/words.h"

#include <cctype>
#include <sstream>

namespace {

bool name_char(char ch, bool first) {
    const auto c = static_cast<unsigned char>(ch);
    return std::isalpha(c) || ch == '_' || ch == '.' || ch == '?' || ch == '@' ||
           (!first && (std::isdigit(c) || ch == '$'));
}

bool digits_of_base(const std::string& text, int base, uint16_t& value) {
    if (text.empty() || text.size() > 8) return false;
    unsigned long result = 0;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        int digit = std::isdigit(c) ? ch - '0' : std::isxdigit(c) ? std::toupper(c) - 'A' + 10 : 99;
        if (digit >= base) return false;
        result = result * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    if (result > 0xFFFF) return false;
    value = static_cast<uint16_t>(result);
    return true;
}

} // namespace

bool parse_address_number(const std::string& raw, uint16_t& value) {
    const std::string text = trimmed(raw);
    if (text.empty()) return false;
    if (text[0] == '$' || text[0] == '#') return digits_of_base(text.substr(1), 16, value);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return digits_of_base(text.substr(2), 16, value);
    if (!std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    if (text.back() == 'h' || text.back() == 'H')
        return digits_of_base(text.substr(0, text.size() - 1), 16, value);
    return digits_of_base(text, 10, value);
}

bool Symbols::parse(const std::string& text, std::string& error) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        number++;
        line = trimmed(line.substr(0, line.find(';')));
        if (line.empty()) continue;
        size_t end = 0;
        while (end < line.size() && name_char(line[end], end == 0)) end++;
        const std::string name = line.substr(0, end);
        std::string rest = trimmed(line.substr(end));
        if (!rest.empty() && rest[0] == ':') rest = trimmed(rest.substr(1));
        if (!rest.empty() && rest[0] == '=') rest = rest.substr(1);
        else if (ascii_upper(rest.substr(0, 4)) == "EQU " ||
                 ascii_upper(rest.substr(0, 4)) == "EQU\t")
            rest = rest.substr(4);
        else rest = "?";
        uint16_t value = 0;
        if (name.empty() || !parse_address_number(rest, value)) {
            error = "line " + std::to_string(number) + ": not NAME EQU VALUE or NAME = VALUE";
            return false;
        }
        by_name[ascii_upper(name)] = value;
        by_value.emplace(value, name);
    }
    return true;
}

// A symbol file of pasmo's is a few kilobytes; anything past this is no symbol file.
constexpr size_t MOST_SYMBOL_FILE = size_t{16} << 20;

bool Symbols::load(const std::string& path, std::string& error) {
    std::string content;
    if (!read_text_file(path, MOST_SYMBOL_FILE, content, error)) return false;
    if (parse(content, error)) return true;
    error = path + ": " + error;
    return false;
}

std::string Symbols::name_at(uint16_t address) const {
    const auto at = by_value.find(address);
    return at == by_value.end() ? "" : at->second;
}

bool Symbols::address(const std::string& text, uint16_t& value) const {
    if (parse_address_number(text, value)) return true;
    const auto at = by_name.find(ascii_upper(trimmed(text)));
    if (at == by_name.end()) return false;
    value = at->second;
    return true;
}

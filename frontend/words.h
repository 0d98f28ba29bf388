// What the readers of the user's words share (settings, symbols, key scripts, watchpoints,
// option values): letters folded in ASCII alone, whatever the locale, and blanks trimmed.
#pragma once

#include <string>

inline std::string ascii_upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

inline std::string ascii_lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// `text` without the `blanks` at either end.
inline std::string trimmed(const std::string& text, const char* blanks = " \t\r") {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

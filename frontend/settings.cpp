#include "frontend/settings.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "formats/formats.h"
#include "frontend/words.h"

namespace {
// A settings file is a few hundred bytes; anything much larger is not one.
constexpr size_t SETTINGS_LIMIT = 64 * 1024;

// One key of the file: how its value is written and read. `read` leaves the record as it
// was when the value is refused, and says what it takes in `takes`.
struct Key {
    const char* name;
    std::string takes; // "fit, fill, game or full": the comment above it and the refusal
    std::function<std::string(const Settings&)> write;
    std::function<bool(const std::string&, Settings&)> read;
};

std::string either(const std::vector<const char*>& words) {
    std::string text;
    for (size_t i = 0; i < words.size(); i++)
        text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i]);
    return text;
}

// A field that takes one of `words`, the field's value being the word's index.
template <typename T>
Key choice(const char* name, T Settings::*field, std::vector<const char*> words) {
    return {name, either(words),
            [field, words](const Settings& s) {
                // A value out of range (never made here) is written as the first word.
                const auto i = static_cast<size_t>(s.*field);
                return std::string(words[i < words.size() ? i : 0]);
            },
            [field, words](const std::string& value, Settings& s) {
                for (size_t i = 0; i < words.size(); i++) {
                    if (ascii_lower(value) != words[i]) continue;
                    s.*field = static_cast<T>(i);
                    return true;
                }
                return false;
            }};
}

Key flag(const char* name, bool Settings::*field) { return choice(name, field, {"off", "on"}); }

// A whole number from `low` to `high`, in decimal digits only.
bool number(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::atoi(text.c_str());
    if (n < low || n > high) return false;
    value = n;
    return true;
}

const std::vector<Key>& keys() {
    static const std::vector<Key> KEYS = {
        choice("fit", &Settings::fit_mode, {"fit", "fill", "game", "full"}),
        choice("colour", &Settings::colour_mode, {"colour", "melbourne", "inverse"}),
        flag("grille", &Settings::grille),
        choice("text_layer", &Settings::text_layer, {"hidden", "over", "alone"}),
        choice("cpu", &Settings::cpu_model, {"standard", "zilog"}),
        choice("machine", &Settings::machine, {"48", "128", "plus2"}),
        choice("joystick", &Settings::joystick_map, {"kempston", "sinclair", "cursor"}),
        flag("joystick_keys", &Settings::joystick_keys),
        choice("stereo", &Settings::stereo, {"abc", "acb", "mono"}),
        {"volume", "0 to 100", [](const Settings& s) { return std::to_string(s.volume); },
         [](const std::string& value, Settings& s) { return number(value, 0, 100, s.volume); }},
        choice("display", &Settings::windowed, {"full_screen", "window"}),
        // The same bounds as the command line's --window=WxH.
        {"window_size", "WIDTHxHEIGHT, each 64 to 16384",
         [](const Settings& s) {
             return std::to_string(s.window_w) + "x" + std::to_string(s.window_h);
         },
         [](const std::string& value, Settings& s) {
             const auto x = value.find('x');
             int w = 0, h = 0;
             if (x == std::string::npos || !number(value.substr(0, x), 64, 16384, w) ||
                 !number(value.substr(x + 1), 64, 16384, h))
                 return false;
             s.window_w = w;
             s.window_h = h;
             return true;
         }},
        choice("typing", &Settings::type_chars, {"position", "character"}),
        flag("exact_border", &Settings::exact_border),
        choice("snapshot_format", &Settings::snapshot_format, {"sna", "z80", "szx"}),
    };
    return KEYS;
}

} // namespace

std::string settings_text(const Settings& settings) {
    std::string text = "# Marrowgleam's settings, written when one of them changes. Each line is\n"
                       "# key = value; '#' starts a comment. Delete the file to start afresh.\n";
    for (const Key& key : keys())
        text += "\n# " + key.takes + "\n" + key.name + " = " + key.write(settings) + "\n";
    return text;
}

void parse_settings(const std::string& text, Settings& settings,
                    std::vector<std::string>& problems) {
    size_t start = 0;
    for (int number = 1; start < text.size(); number++) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const std::string at = "line " + std::to_string(number) + ": ";
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            problems.push_back(at + "no '=' in \"" + line + "\"");
            continue;
        }
        const std::string name = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        const Key* key = nullptr;
        for (const Key& k : keys())
            if (name == k.name) key = &k;
        if (!key) problems.push_back(at + "unknown key \"" + name + "\"");
        else if (!key->read(value, settings))
            problems.push_back(at + name + " takes " + key->takes + ", not \"" + value + "\"");
    }
}

Settings with_changes(Settings file, const Settings& before, const Settings& now) {
    for (const Key& key : keys()) {
        const std::string value = key.write(now);
        if (value != key.write(before)) key.read(value, file);
    }
    return file;
}

std::string settings_path() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::filesystem::path dir;
    // A relative XDG_CONFIG_HOME is ignored, as the XDG base directory rules say.
    if (xdg && xdg[0] == '/') dir = xdg;
    else if (home && home[0]) dir = std::filesystem::path(home) / ".config";
    else return {};
    return (dir / "marrowgleam" / "marrowgleam.conf").string();
}

void read_settings_file(const std::string& path, Settings& settings,
                        std::vector<std::string>& problems) {
    std::error_code ec;
    // Nothing remembered yet. A name that cannot even be looked at is read below and says why.
    if (!std::filesystem::exists(path, ec) && !ec) return;
    std::vector<uint8_t> bytes;
    const LoadResult read = read_regular_file(path, SETTINGS_LIMIT + 1, bytes);
    if (!read) {
        problems.push_back("cannot read it: " + read.why);
        return;
    }
    if (bytes.size() > SETTINGS_LIMIT) {
        problems.push_back("it is too large to be a settings file");
        return;
    }
    parse_settings(std::string(bytes.begin(), bytes.end()), settings, problems);
}

bool write_settings_file(const std::string& path, const Settings& settings, std::string& why) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    const std::string text = settings_text(settings);
    return write_file_atomic(path, std::vector<uint8_t>(text.begin(), text.end()), &why);
}

#include "tools/keyscript.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "frontend/typing.h"
#include "frontend/words.h"

namespace {
// Script items are trimmed of line ends too: a script file has one event a line.
std::string trim(const std::string& s) { return trimmed(s, " \t\r\n"); }
} // namespace

int key_by_name(const std::string& raw) {
    const std::string name = ascii_lower(trim(raw));
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return key::letter(name[0]);
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return key::digit(name[0] - '0');
    static const std::map<std::string, int> NAMES = {
        {"space", key::SPACE},
        {"enter", key::RETURN},
        {"return", key::RETURN},
        {"shift", key::LSHIFT},
        {"caps", key::LSHIFT},
        {"symbol", key::LCTRL},
        {"ctrl", key::LCTRL},
        {"backspace", key::BACKSPACE},
        {"up", key::UP},
        {"down", key::DOWN},
        {"left", key::LEFT},
        {"right", key::RIGHT},
        {"escape", key::ESCAPE},
        {"esc", key::ESCAPE},
        {"home", key::HOME},
        {"end", key::END},
        {"pageup", key::PAGEUP},
        {"pagedown", key::PAGEDOWN},
        {"win", key::LSUPER},
        {"super", key::LSUPER},
        {"tab", key::TAB},
        {"joy_up", key::JOY_UP},
        {"joy_down", key::JOY_DOWN},
        {"joy_left", key::JOY_LEFT},
        {"joy_right", key::JOY_RIGHT},
        {"joy_fire", key::JOY_FIRE},
    };
    if (const auto it = NAMES.find(name); it != NAMES.end()) return it->second;
    if (name.size() >= 2 && name[0] == 'f' && std::isdigit(static_cast<unsigned char>(name[1]))) {
        const int n = std::atoi(name.c_str() + 1);
        if (n >= 1 && n <= 12) return key::F1 + n - 1;
    }
    if (name.size() == 3 && name.compare(0, 2, "kp") == 0 &&
        std::isdigit(static_cast<unsigned char>(name[2])))
        return key::keypad(name[2] - '0');
    return -1;
}

bool parse_key_script(const std::string& script, int frames_per_key, std::vector<KeyEvent>& events,
                      std::string& error) {
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find_first_of(";\n", start);
        if (end == std::string::npos) end = script.size();
        const std::string item = trim(script.substr(start, end - start));
        start = end + 1;
        if (item.empty()) continue;

        const auto colon = item.find(':');
        char* rest = nullptr;
        const unsigned long long frame = std::strtoull(item.c_str(), &rest, 10);
        if (colon == std::string::npos || rest != item.c_str() + colon || colon == 0) {
            error = "expected FRAME:ACTION in \"" + item + "\"";
            return false;
        }
        const std::string action = trim(item.substr(colon + 1));
        const auto space = action.find(' ');
        const std::string verb = ascii_lower(action.substr(0, space));
        const std::string argument = space == std::string::npos ? "" : action.substr(space + 1);

        if (verb == "press" || verb == "release") {
            KeyEvent event{frame, {}, verb == "press"};
            size_t from = 0;
            while (from <= argument.size()) {
                size_t plus = argument.find('+', from);
                if (plus == std::string::npos) plus = argument.size();
                const std::string name = argument.substr(from, plus - from);
                const int code = key_by_name(name);
                if (code < 0) {
                    error = "unknown key \"" + trim(name) + "\"";
                    return false;
                }
                event.keys.push_back(code);
                from = plus + 1;
            }
            events.push_back(event);
        } else if (verb == "type") {
            // The text goes to the session's queue of taps, which keeps pace with the ROM.
            KeyEvent event{frame, {}, true};
            event.hold = frames_per_key;
            for (size_t i = 0; i < argument.size(); i++) {
                std::vector<int> keys;
                if (argument[i] == '<') {
                    const auto close = argument.find('>', i);
                    if (close == std::string::npos) {
                        error = "unclosed <key> in \"" + argument + "\"";
                        return false;
                    }
                    const std::string name = argument.substr(i + 1, close - i - 1);
                    const int code = key_by_name(name);
                    if (name == "semicolon") {
                        keys = keys_for_char(';'); // ';' itself separates events
                    } else if (code >= 0 && on_matrix(code)) {
                        keys.push_back(code);
                    } else if (code >= 0) {
                        error = "<" + name + "> is not a Spectrum key (press and release it)";
                        return false;
                    } else {
                        error = "unknown key <" + name + ">";
                        return false;
                    }
                    i = close;
                } else {
                    keys = keys_for_char(argument[i]);
                    if (keys.empty()) {
                        error = std::string("cannot type '") + argument[i] + "'";
                        return false;
                    }
                }
                event.typed.push_back(keys);
            }
            events.push_back(event);
        } else if (verb == "tape") {
            const std::string what = ascii_lower(trim(argument));
            if (what != "play" && what != "stop") {
                error = "tape needs play or stop, not \"" + what + "\"";
                return false;
            }
            events.push_back(
                {frame, {}, false, what == "play" ? TapeAction::PLAY : TapeAction::STOP});
        } else if (verb == "rewind") {
            // Seconds of the machine's 50 logical frames, up to what a ring can hold.
            char* end = nullptr;
            const double seconds = std::strtod(argument.c_str(), &end);
            const double frames = std::round(seconds * 50);
            if (argument.empty() || *end != '\0' || !(frames >= 1 && frames <= 600 * 50)) {
                error = "rewind needs seconds from 0.02 to 600, not \"" + argument + "\"";
                return false;
            }
            KeyEvent event{frame, {}, false};
            event.rewind_frames = static_cast<int>(frames);
            events.push_back(event);
        } else {
            error = "unknown action \"" + verb + "\" (press, release, type, tape or rewind)";
            return false;
        }
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const KeyEvent& a, const KeyEvent& b) { return a.frame < b.frame; });
    return true;
}

size_t apply_key_events(const std::vector<KeyEvent>& events, size_t next, uint64_t frame,
                        uint8_t* keys, Session* typing) {
    while (next < events.size() && events[next].frame <= frame) {
        for (const int code : events[next].keys) keys[code] = events[next].down ? 1 : 0;
        if (typing) typing->keyboard.type_taps(events[next].typed, events[next].hold);
        if (typing && events[next].rewind_frames > 0)
            typing->request_rewind(events[next].rewind_frames);
        next++;
    }
    return next;
}

#include "frontend/watch_spec.h"

#include "frontend/words.h"

#include <algorithm>
#include <cstdio>

namespace {

bool address_of(const std::string& text, const Symbols& symbols, uint16_t& value,
                std::string& error) {
    if (symbols.address(text, value)) return true;
    error = "\"" + text + "\" is no address nor symbol";
    return false;
}

// "REG=VALUE" into `when`.
bool parse_condition(const std::string& text, const Symbols& symbols, RegisterCondition& when,
                     std::string& error) {
    const auto equals = text.find('=');
    const std::string reg = ascii_upper(text.substr(0, equals));
    if (equals == std::string::npos || !register_name_known(reg)) {
        error = "\"" + text + "\" is no REG=VALUE (A F B C D E H L I R AF BC DE HL IX IY SP PC)";
        return false;
    }
    uint16_t value = 0;
    if (!address_of(text.substr(equals + 1), symbols, value, error)) return false;
    if (reg.size() == 1 && value > 0xFF) {
        error = reg + " holds a byte: " + text.substr(equals + 1) + " is past 255";
        return false;
    }
    when = {reg, value};
    return true;
}

// Hex as the monitor shows it: four digits for an address, two for a byte.
std::string hex(unsigned value, bool address = false) {
    char text[8];
    std::snprintf(text, sizeof text, address || value > 0xFF ? "%04X" : "%02X", value);
    return text;
}

} // namespace

bool parse_watch_spec(Breakpoint::Kind kind, const std::string& text, const Symbols& symbols,
                      Breakpoint& point, std::string& error) {
    using K = Breakpoint::Kind;
    const auto comma = text.find(',');
    const std::string place = text.substr(0, comma);
    Breakpoint p{.kind = kind};
    if (comma != std::string::npos &&
        !parse_condition(text.substr(comma + 1), symbols, p.when, error))
        return false;
    if (kind == K::port_in || kind == K::port_out) {
        const auto slash = place.find('/');
        uint16_t port = 0;
        if (!address_of(place.substr(0, slash), symbols, port, error)) return false;
        if (slash != std::string::npos &&
            !address_of(place.substr(slash + 1), symbols, p.mask, error))
            return false;
        // The bits the mask leaves out would make the port never match.
        p.first = p.last = port & p.mask;
    } else {
        // A symbol's name holds no '-', so the first one ends the range's start.
        const auto dash = kind == K::execute ? std::string::npos : place.find('-');
        if (!address_of(place.substr(0, dash), symbols, p.first, error)) return false;
        p.last = p.first;
        if (dash != std::string::npos &&
            !address_of(place.substr(dash + 1), symbols, p.last, error))
            return false;
        if (p.last < p.first) {
            error = "the range " + place + " ends before it starts";
            return false;
        }
    }
    point = p;
    return true;
}

std::string watch_label(const Breakpoint& p) {
    using K = Breakpoint::Kind;
    static const char LETTERS[] = "BRWIO";
    const bool port = p.kind == K::port_in || p.kind == K::port_out;
    std::string label =
        std::string(1, LETTERS[static_cast<int>(p.kind)]) + " " + hex(p.first, !port);
    if ((p.kind == K::read || p.kind == K::write) && p.last != p.first)
        label += "-" + hex(p.last, true);
    if (port && p.mask != 0xFFFF) label += "/" + hex(p.mask);
    if (!p.when.reg.empty()) label += "," + p.when.reg + "=" + hex(p.when.value);
    return label;
}

bool toggle_point(std::vector<Breakpoint>& points, const Breakpoint& point) {
    const auto same = std::find(points.begin(), points.end(), point);
    if (same != points.end()) {
        points.erase(same);
        return false;
    }
    points.push_back(point);
    return true;
}

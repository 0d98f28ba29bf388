#include "frontend/monitor.h"

#include <algorithm>
#include <cstdio>

#include "frontend/keys.h"
#include "frontend/session.h"
#include "frontend/watch_spec.h"
#include "z80/disasm.h"

namespace {

z80::Disassembly disassemble_at(const Spectrum& m, uint16_t address, const Symbols& s) {
    uint8_t bytes[4];
    for (int i = 0; i < 4; i++) bytes[i] = m.readbyte_internal(static_cast<uint16_t>(address + i));
    return z80::disassemble(bytes, address, [&s](uint16_t a) { return s.name_at(a); });
}

std::string line(const char* format, auto... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return std::string(text).substr(0, TEXT_COLUMNS);
}

} // namespace

void Monitor::open_at(uint16_t pc, const std::string& why) {
    open = true;
    entering = false;
    code = cursor = pc;
    message = why;
}

void Monitor::cursor_down(const Spectrum& m) {
    cursor = static_cast<uint16_t>(cursor + disassemble_at(m, cursor, Symbols()).length);
}

void Monitor::cursor_up(const Spectrum& m) {
    int back = 1;
    for (int k = 4; k >= 1; k--) {
        if (disassemble_at(m, static_cast<uint16_t>(cursor - k), Symbols()).length == k) {
            back = k;
            break;
        }
    }
    cursor = static_cast<uint16_t>(cursor - back);
}

std::vector<std::string> Monitor::page(const Spectrum& m, const Debugger& d, const Symbols& s) {
    const Z80& z = m.z80;
    std::vector<std::string> rows(TEXT_ROWS);
    rows[0] = line("AF %04X BC %04X DE %04X HL %04X SP %04X", z.AF, z.BC, z.DE, z.HL, z.SP);
    rows[1] = line("AF'%04X BC'%04X DE'%04X HL'%04X PC %04X", z.AF_, z.BC_, z.DE_, z.HL_, z.PC);
    rows[2] =
        line("IX %04X IY %04X I %02X R %02X IM %d %s%s", z.IX, z.IY, z.I,
             (z.R & 0x7F) | (z.R7 & 0x80), z.IM, z.IFF1 ? "EI" : "DI", z.halted ? " HALT" : "");
    std::string flags = "FLAGS";
    const char* names[8] = {"C", "N", "PV", "3", "H", "5", "Z", "S"};
    for (int bit = 7; bit >= 0; bit--)
        flags += std::string(" ") + names[bit] + ((z.F() >> bit) & 1 ? "+" : "-");
    rows[3] = line("%s", flags.c_str());
    const int32_t per_line = m.timing().line;
    rows[4] = line("T %-6d LINE %-3d COLUMN %-3d IFF2 %d", m.tstates, m.tstates / per_line,
                   m.tstates % per_line, z.IFF2);
    // The listing from `code`, moved on when the cursor has left it.
    uint16_t at = code;
    bool shown = false;
    for (int pass = 0; pass < 2 && !shown; pass++) {
        at = code;
        for (int r = 0; r < CODE_ROWS; r++) {
            shown |= at == cursor;
            at = static_cast<uint16_t>(at + disassemble_at(m, at, s).length);
        }
        if (!shown) code = cursor;
    }
    // The names' column as wide as the longest name listed (8 at most), none when no
    // address listed has a name: the instructions keep the room.
    int width = 0;
    at = code;
    for (int r = 0; r < CODE_ROWS; r++) {
        width = std::max(width, std::min(8, static_cast<int>(s.name_at(at).size())));
        at = static_cast<uint16_t>(at + disassemble_at(m, at, s).length);
    }
    at = code;
    for (int r = 0; r < CODE_ROWS; r++) {
        const z80::Disassembly dis = disassemble_at(m, at, s);
        const std::string name = s.name_at(at);
        const std::string label = width ? line("%-*.*s ", width, width, name.c_str()) : "";
        rows[5 + r] = line("%c%c%c%04X %s%s", at == cursor ? '>' : ' ', d.breaks_at(at) ? '*' : ' ',
                           at == z.PC ? '=' : ' ', at, label.c_str(), dis.text.c_str());
        at = static_cast<uint16_t>(at + dis.length);
    }
    // The stack beside the listing's last rows: the words from SP up.
    for (int r = 0; r < 4; r++) {
        const uint16_t a = static_cast<uint16_t>(z.SP + 2 * r);
        const int word = m.readbyte_internal(a) | (m.readbyte_internal(uint16_t(a + 1)) << 8);
        std::string& row = rows[5 + CODE_ROWS - 4 + r];
        // A space between a long instruction and the stack, cut short.
        row.resize(29, ' ');
        row = row + " " + line("SP+%d %04X", 2 * r, word);
    }
    // The points set, beside the listing's first rows (cut short there); the last row says
    // how many more there are when they do not all fit.
    const size_t count = d.points.size();
    for (size_t i = 0; i < count && i < POINT_ROWS; i++) {
        std::string& row = rows[5 + i];
        row.resize(POINT_COLUMN - 1, ' ');
        const bool more = i + 1 == POINT_ROWS && count > POINT_ROWS;
        std::string label = watch_label(d.points[i]);
        if (label.size() > TEXT_COLUMNS - POINT_COLUMN) {
            // A condition cut short would show a wrong value: '?' stands for it.
            Breakpoint bare = d.points[i];
            bare.when = {};
            label = watch_label(bare).substr(0, TEXT_COLUMNS - POINT_COLUMN - 1) + "?";
        }
        row += " " + (more ? line("+%zu MORE", count - i) : label);
    }
    for (int r = 0; r < 6; r++) {
        const uint16_t a = static_cast<uint16_t>(memory + 8 * r);
        std::string hex, chars;
        for (int i = 0; i < 8; i++) {
            const uint8_t b = m.readbyte_internal(static_cast<uint16_t>(a + i));
            // '*' before a byte a memory watchpoint covers.
            const uint16_t here = static_cast<uint16_t>(a + i);
            const bool watched = std::any_of(d.points.begin(), d.points.end(), [here](auto& p) {
                return (p.kind == Breakpoint::Kind::read || p.kind == Breakpoint::Kind::write) &&
                       p.covers(here);
            });
            hex += line("%c%02X", watched ? '*' : ' ', b);
            chars += b >= 32 && b < 127 ? static_cast<char>(b) : '.';
        }
        rows[16 + r] = line("%04X%s %s", a, hex.c_str(), chars.c_str());
    }
    rows[22] = HELP;
    rows[23] = entering ? "GO TO: " + entry : message.substr(0, TEXT_COLUMNS);
    return rows;
}

void Session::open_monitor(const std::string& why) {
    if (!monitor.open) {
        monitor.overlay_before = chosen_text_layer();
        text.overlay_timeout = 0; // a running message must not put the layer back under it
    }
    monitor.open_at(machine.z80.PC, why);
    draw_monitor();
}

void Session::close_monitor() {
    monitor.open = false;
    monitor.entering = false;
    text.TXTCLS();
    text.overlay = monitor.overlay_before;
}

int32_t Session::chosen_text_layer() const {
    if (monitor.open) return monitor.overlay_before;
    if (file_requester_mode || text.overlay_timeout != 0) return text.overlay_old;
    return text.overlay;
}

void Session::draw_monitor() {
    text.TXTCLS();
    const std::vector<std::string> rows = monitor.page(machine, debugger, symbols);
    for (int r = 0; r < TEXT_ROWS; r++) {
        std::string row = rows[static_cast<size_t>(r)];
        row.resize(TEXT_COLUMNS, ' ');
        // Its own style: white on blue, the row 23 message yellow.
        const std::string styled = std::string("\x10") + (r == 23 ? "\x1E" : "\x1F") + row;
        text.TXTSTR(0, r, styled.c_str());
    }
    text.overlay = 2;
}

// The logical frame ends a run from the monitor has reached.
void Session::monitor_frame_ends() {
    while (machine.tstates >= machine.tpf) render_logical_frame();
}

bool Session::monitor_keys() {
    if (keyboard.win_held() && keyboard.key_pressed(key::letter('d'))) {
        if (!monitor.open) {
            open_monitor("");
            return true;
        }
        close_monitor(); // the page goes with it, and the machine runs on
        return true;
    }
    if (!monitor.open) return false;
    if (keyboard.win_held()) return true;
    const auto pressed = [this](int k) { return keyboard.key_pressed(k); };
    Monitor& mon = monitor;
    if (mon.entering) {
        for (int k = 0; k < 26; k++)
            if (pressed(key::letter(static_cast<char>('a' + k))) && mon.entry.size() < 30)
                mon.entry += static_cast<char>('A' + k);
        for (int k = 0; k < 10; k++)
            if (pressed(key::NUM_0 + k) && mon.entry.size() < 30)
                mon.entry += static_cast<char>('0' + k);
        if (pressed(key::BACKSPACE) && !mon.entry.empty()) mon.entry.pop_back();
        if (pressed(key::RETURN)) {
            uint16_t address = 0;
            mon.entering = false;
            if (symbols.address(mon.entry, address) || symbols.address("$" + mon.entry, address)) {
                mon.cursor = mon.code = mon.memory = address;
                mon.message.clear();
            } else {
                mon.message = "NO ADDRESS " + mon.entry;
            }
        }
    } else if (pressed(key::letter('s'))) {
        debugger.step(machine);
        mon.message = debugger.reason;
        debugger.reason.clear();
        monitor_frame_ends();
        mon.cursor = machine.z80.PC;
    } else if (pressed(key::letter('o'))) {
        const int32_t target = Debugger::step_over_target(machine);
        if (target < 0) {
            debugger.step(machine);
            monitor_frame_ends();
            mon.cursor = machine.z80.PC;
        } else {
            debugger.run_until(static_cast<uint16_t>(target));
            mon.open = false; // the stop there opens it again
        }
    } else if (pressed(key::letter('f'))) {
        const bool stopped = debugger.run(machine, machine.tpf, INT32_MAX);
        mon.message = stopped ? debugger.reason : "END OF FRAME";
        monitor_frame_ends();
        mon.cursor = machine.z80.PC;
    } else if (pressed(key::letter('r'))) {
        mon.open = false;
    } else if (pressed(key::letter('b'))) {
        mon.message = debugger.toggle(mon.cursor) ? "BREAKPOINT SET" : "BREAKPOINT CLEARED";
    } else if (pressed(key::letter('w'))) {
        const bool set = toggle_point(
            debugger.points,
            {.kind = Breakpoint::Kind::write, .first = mon.memory, .last = mon.memory});
        mon.message = line(set ? "WATCHING WRITES TO %04X" : "WATCH ON %04X CLEARED", mon.memory);
    } else if (pressed(key::letter('g'))) {
        mon.entering = true;
        mon.entry.clear();
    } else if (pressed(key::DOWN)) {
        mon.cursor_down(machine);
    } else if (pressed(key::UP)) {
        mon.cursor_up(machine);
    } else if (pressed(key::PAGEDOWN)) {
        mon.memory = static_cast<uint16_t>(mon.memory + 48);
    } else if (pressed(key::PAGEUP)) {
        mon.memory = static_cast<uint16_t>(mon.memory - 48);
    } else if (pressed(key::RIGHT)) {
        mon.memory = static_cast<uint16_t>(mon.memory + 8);
    } else if (pressed(key::LEFT)) {
        mon.memory = static_cast<uint16_t>(mon.memory - 8);
    }
    if (!mon.open) {
        close_monitor();
        return true;
    }
    draw_monitor();
    return true;
}

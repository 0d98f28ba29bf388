#include "frontend/debugger.h"

#include <algorithm>
#include <cstdio>

#include "frontend/words.h"
#include "z80/disasm.h"

namespace {

// The register `name` names in `z` (any case); false for none.
bool register_value(const Z80& z, const std::string& name, uint16_t& value) {
    const std::string n = ascii_upper(name);
    const struct {
        const char* name;
        uint16_t value;
    } table[] = {{"A", z.A()},
                 {"F", z.F()},
                 {"B", static_cast<uint16_t>(z.BC >> 8)},
                 {"C", static_cast<uint16_t>(z.BC & 0xFF)},
                 {"D", static_cast<uint16_t>(z.DE >> 8)},
                 {"E", static_cast<uint16_t>(z.DE & 0xFF)},
                 {"H", static_cast<uint16_t>(z.HL >> 8)},
                 {"L", static_cast<uint16_t>(z.HL & 0xFF)},
                 {"I", z.I},
                 {"R", static_cast<uint16_t>((z.R & 0x7F) | (z.R7 & 0x80))},
                 {"AF", z.AF},
                 {"BC", z.BC},
                 {"DE", z.DE},
                 {"HL", z.HL},
                 {"IX", z.IX},
                 {"IY", z.IY},
                 {"SP", z.SP},
                 {"PC", z.PC}};
    for (const auto& entry : table) {
        if (n == entry.name) {
            value = entry.value;
            return true;
        }
    }
    return false;
}

} // namespace

bool RegisterCondition::holds(const Z80& z) const {
    uint16_t actual = 0;
    return reg.empty() || (register_value(z, reg, actual) && actual == value);
}

bool register_name_known(const std::string& name) {
    uint16_t unused = 0;
    return register_value(Z80{}, name, unused);
}

void Debugger::prepare() {
    reason.clear();
    watching_memory = watching_ports = false;
    std::fill(at_address.begin(), at_address.end(), 0);
    look_each_step = static_cast<bool>(before_step);
    for (const Breakpoint& p : points) {
        watching_memory |= p.kind == Breakpoint::Kind::read || p.kind == Breakpoint::Kind::write;
        watching_ports |=
            p.kind == Breakpoint::Kind::port_in || p.kind == Breakpoint::Kind::port_out;
        if (p.kind == Breakpoint::Kind::execute) at_address[p.first] = 1;
        else look_each_step |= !p.when.reg.empty();
    }
    if (run_to >= 0) at_address[static_cast<uint16_t>(run_to)] = 1;
}

bool Debugger::stops_before(const Spectrum& m) {
    const uint16_t pc = m.z80.PC;
    if (pc == stop_pc && m.tstates == stop_t) return false;
    char text[40] = "";
    if (run_to == pc) {
        std::snprintf(text, sizeof text, "STEP");
        run_to = -1;
    }
    for (const Breakpoint& p : points)
        if (!*text && p.kind == Breakpoint::Kind::execute && p.covers(pc) && p.when.holds(m.z80))
            std::snprintf(text, sizeof text, "BREAK AT $%04X", pc);
    if (!*text) return false;
    reason = text;
    stop_pc = pc;
    stop_t = m.tstates;
    return true;
}

bool Debugger::before_instruction(const Spectrum& m) {
    if (before_step) before_step(m);
    return at_address[m.z80.PC] && stops_before(m);
}

// The machine's own run around the checked one: one limit for both counters, tstatesh kept
// in step with tstates.
bool Debugger::run(Spectrum& m, int32_t tstates_limit, int32_t tstatesh_limit) {
    prepare();
    regs = &m.z80;
    m.run_steps(tstates_limit, tstatesh_limit, [&](int32_t limit) {
        return m.model == 48 ? debug_run_48(m, *this, limit) : debug_run_128(m, *this, limit);
    });
    if (stopped()) {
        stop_pc = m.z80.PC;
        stop_t = m.tstates;
    }
    return stopped();
}

// One step: the stop at PC (if any) passed over.
void Debugger::step(Spectrum& m) {
    stop_pc = m.z80.PC;
    stop_t = m.tstates;
    run(m, m.tstates + 1, INT32_MAX);
}

int32_t Debugger::step_over_target(const Spectrum& m) {
    const uint16_t pc = m.z80.PC;
    uint8_t bytes[4];
    for (int i = 0; i < 4; i++) bytes[i] = m.readbyte_internal(static_cast<uint16_t>(pc + i));
    const uint8_t op = bytes[0];
    const bool call = op == 0xCD || (op & 0xC7) == 0xC4;
    const bool rst = (op & 0xC7) == 0xC7;
    const bool block = op == 0xED && (bytes[1] & 0xF4) == 0xB0; // LDIR CPIR INIR OTIR, LDDR...
    const bool djnz = op == 0x10; // a loop back to a label before it, as a block instruction
    // HALT stays on its own address until an interrupt; the handler returns past it. With
    // interrupts off none comes: a plain step.
    const bool halt = op == 0x76 && m.z80.IFF1;
    if (!call && !rst && !block && !djnz && !halt) return -1;
    return static_cast<uint16_t>(pc + z80::disassemble(bytes, pc).length);
}

// Any breakpoint at the address, whatever its condition, is the one the cursor clears.
bool Debugger::toggle(uint16_t address) {
    const auto at = std::find_if(points.begin(), points.end(), [address](const Breakpoint& p) {
        return p.kind == Breakpoint::Kind::execute && p.covers(address);
    });
    if (at != points.end()) {
        points.erase(at);
        return false;
    }
    points.push_back({.kind = Breakpoint::Kind::execute, .first = address, .last = address});
    return true;
}

bool Debugger::breaks_at(uint16_t address) const {
    return std::any_of(points.begin(), points.end(), [address](const Breakpoint& p) {
        return p.kind == Breakpoint::Kind::execute && p.covers(address);
    });
}

// The registers a watchpoint's condition looks at are those the instruction began with; the
// first access of the instruction to stop it is the one told.
void Debugger::accessed(Breakpoint::Kind kind, uint16_t place, uint8_t value) {
    static const char* const WHAT[] = {"", "READ", "WRITE", "IN", "OUT"};
    if (!reason.empty()) return;
    for (const Breakpoint& p : points) {
        if (p.kind != kind || !p.covers(place) || !p.when.holds(*regs)) continue;
        char text[64];
        std::snprintf(text, sizeof text, "%s $%04X=$%02X AT PC $%04X", WHAT[static_cast<int>(kind)],
                      place, value, instruction_pc);
        reason = text;
        return;
    }
}

#include "tests/support/z80_timing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/port_hooks.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

namespace z80_timing {

namespace {

// The 48K ULA's contention, from its rule alone: from T-state 14335, for 192 lines of 224
// T-states, the first 128 T-states of each line wait 6, 5, 4, 3, 2, 1, 0, 0 by position
// mod 8; everything else waits nothing.
int delay_at(int t) {
    static const int PATTERN[8] = {6, 5, 4, 3, 2, 1, 0, 0};
    if (t < 14335) return 0;
    const int line = (t - 14335) / 224, column = (t - 14335) % 224;
    if (line > 191 || column > 127) return 0;
    return PATTERN[column % 8];
}

bool contended(uint16_t addr) { return addr >= 0x4000 && addr <= 0x7FFF; }

// Where each base may be placed. Neighbouring addresses of one base (pc..pc+3, sp-2..sp+1,
// nn and nn+1) straddle 0x4000 or 0x8000 in some placements, so that a cycle charged at
// the wrong one of them shows.
std::vector<uint16_t> placements(Base base, const Row& row) {
    switch (base) {
    case PC: return {0x6000, 0xA000, 0x7FFF, 0x7FFE, 0x7FFD, 0x3FFF, 0x3FFE, 0x3FFD};
    case IR: return {0x5A00, 0x9A00};
    case HL: return {0x6400, 0xA400};
    case DE: return {0x6C00, 0xAC00};
    case BC: return {0x7000, 0xB000};
    case SP: return {0x6800, 0xA800, 0x4001, 0x8001, 0x7FFF, 0x3FFF};
    case NN: return {0x7800, 0xB800, 0x7FFF, 0x3FFF};
    case EA: return {0x7400, 0xB400};
    case PORT:
        if (!row.ports.empty()) return row.ports;
        return {0x40FE, 0x7FFF, 0x80FE, 0x3FFF, 0xFEFE};
    case VEC: return {0x40FF, 0x80FF, 0x7FFF, 0x3FFF};
    default: return {0};
    }
}

// Used for tokens whose base the row's cycles do not name (a jump's target, say).
constexpr uint16_t DEFAULT_NN = 0x9000;

struct PortSeen {
    int read_at = -1, write_at = -1;
} port_seen;

uint8_t on_port_read(uint16_t) {
    port_seen.read_at = test_machine().tstates;
    return 0xA5;
}
void on_port_write(uint16_t, uint8_t) { port_seen.write_at = test_machine().tstates; }

struct ModelResult {
    int end;
    int read_at = -1, write_at = -1;
};

ModelResult model(const std::vector<Cycle>& cycles, const uint16_t (&base)[BASES], int start) {
    ModelResult r{start};
    int& t = r.end;
    for (const Cycle& c : cycles) {
        const uint16_t addr = static_cast<uint16_t>(base[c.base] + c.offset);
        const bool slow = contended(addr);
        switch (c.kind) {
        case M1: t += (slow ? delay_at(t) : 0) + 4; break;
        case MEM: t += (slow ? delay_at(t) : 0) + 3; break;
        case INT:
            for (int i = 0; i < c.n; i++) t += (slow ? delay_at(t) : 0) + 1;
            break;
        case FLAT: t += c.n; break;
        case IO: {
            // First T-state: waits when the high byte is 0x40-0x7F; the write happens here.
            t += (slow ? delay_at(t) : 0) + 1;
            r.write_at = t;
            if (!(addr & 1)) { // the ULA answers: one more wait, then 2
                t += delay_at(t) + 2;
            } else if (slow) { // no ULA, high byte contended: a wait before each T-state
                t += delay_at(t) + 1;
                t += delay_at(t) + 1;
                t += delay_at(t);
            } else {
                t += 2;
            }
            r.read_at = t;
            t += 1;
            break;
        }
        }
    }
    return r;
}

int uncontended_total(const std::vector<Cycle>& cycles) {
    int total = 0;
    for (const Cycle& c : cycles) {
        switch (c.kind) {
        case M1: total += 4; break;
        case MEM: total += 3; break;
        case IO: total += 4; break;
        case INT:
        case FLAT: total += c.n; break;
        }
    }
    return total;
}

// Starts across the pattern: the first contended T-state, each phase of the first group,
// mid-frame, late in a line (the instruction runs out of the contended part) and late in
// the last contended line.
const int STARTS[] = {14335,
                      14336,
                      14337,
                      14338,
                      14339,
                      14340,
                      14341,
                      14342,
                      14343,
                      14335 + 224 * 50 + 61,
                      14335 + 224 * 10 + 118,
                      14335 + 224 * 191 + 120};

std::string describe(const std::vector<uint8_t>& code, const std::vector<Base>& bases,
                     const uint16_t (&value)[BASES], int start) {
    static const char* NAMES[BASES] = {"pc", "IR", "hl",   "de",  "bc", "sp",
                                       "nn", "ea", "port", "vec", "-"};
    std::string s;
    char buf[32];
    for (uint8_t b : code) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        s += buf;
    }
    for (Base b : bases) {
        std::snprintf(buf, sizeof buf, "%s=%04X ", NAMES[b], value[b]);
        s += buf;
    }
    return s + "start=" + std::to_string(start);
}

} // namespace

int model_end(const std::vector<Cycle>& cycles, const uint16_t (&base)[BASES], int start,
              int* port_moment) {
    const ModelResult r = model(cycles, base, start);
    if (port_moment) *port_moment = r.read_at;
    return r.end;
}

std::string row_name(const Row& row) { return row.id; }

void check_row(const Row& row) {
    ASSERT_EQ(uncontended_total(row.cycles), row.uncontended)
        << row.id << ": the cycle list does not add up to the table's total";

    std::vector<Base> bases;
    bool has_io = false;
    for (const Cycle& c : row.cycles) {
        if (c.base != NONE && std::find(bases.begin(), bases.end(), c.base) == bases.end())
            bases.push_back(c.base);
        has_io |= c.kind == IO;
    }

    Spectrum& m = fresh_machine();
    Z80& z80 = m.z80;
    z80_map_low_ram();
    PortHooks bus{m, on_port_read, on_port_write};

    int failures = 0, runs = 0;
    std::vector<size_t> choice(bases.size(), 0);
    for (;;) {
        uint16_t value[BASES] = {};
        value[NN] = DEFAULT_NN;
        value[PC] = 0x6000;
        for (size_t i = 0; i < bases.size(); i++)
            value[bases[i]] = placements(bases[i], row)[choice[i]];

        for (const auto& code : row.codes) {
            for (const int start : STARTS) {
                // Registers: everything the row names, interrupts off.
                z80 = Z80{};
                z80.PC = value[PC];
                z80.I = static_cast<uint8_t>(value[IR] >> 8);
                if (value[VEC]) z80.I = static_cast<uint8_t>(value[VEC] >> 8);
                z80.HL = value[HL];
                z80.DE = value[DE];
                z80.BC = value[BC];
                z80.SP = value[SP] ? value[SP] : 0xC000;
                z80.IX = z80.IY = static_cast<uint16_t>(value[EA] - row.displacement);
                if (has_io) {
                    if (row.port_via == VIA_BC) z80.BC = value[PORT];
                    else if (row.port_via == VIA_BC_AFTER_DEC)
                        z80.BC = static_cast<uint16_t>(value[PORT] + 0x100);
                    else z80.AF = static_cast<uint16_t>(value[PORT] & 0xFF00);
                }
                std::vector<uint8_t> bytes;
                for (int b : code) {
                    uint8_t byte = static_cast<uint8_t>(b);
                    if (b == NN_LO) byte = value[NN] & 0xFF;
                    else if (b == NN_HI) byte = value[NN] >> 8;
                    else if (b == DISP) byte = static_cast<uint8_t>(row.displacement);
                    else if (b == IMM) byte = 0x5A;
                    else if (b == PORT_LO) byte = value[PORT] & 0xFF;
                    else if (b == REL) byte = 0x10;
                    bytes.push_back(byte);
                }
                uint16_t at = value[PC];
                for (uint8_t byte : bytes) z80_poke(at++, byte);
                if (row.setup) row.setup();

                port_seen = PortSeen{};
                m.tstates = start;
                m.tstatesh = 0;
                if (row.interrupt) bus.Z80INT();
                else bus.z80_step();
                const ModelResult want = model(row.cycles, value, start);
                runs++;
                const bool time_ok = m.tstates == want.end;
                const bool read_ok = port_seen.read_at < 0 || port_seen.read_at == want.read_at;
                const bool write_ok = port_seen.write_at < 0 || port_seen.write_at == want.write_at;
                const bool port_used = !has_io || port_seen.read_at >= 0 || port_seen.write_at >= 0;
                if (time_ok && read_ok && write_ok && port_used) continue;
                if (++failures > 4) continue;
                ADD_FAILURE() << row.id << ": " << describe(bytes, bases, value, start) << ": took "
                              << m.tstates - start << " T-states, the cycle list "
                              << want.end - start
                              << (read_ok ? ""
                                          : "; port read at " + std::to_string(port_seen.read_at) +
                                                ", want " + std::to_string(want.read_at))
                              << (write_ok
                                      ? ""
                                      : "; port write at " + std::to_string(port_seen.write_at) +
                                            ", want " + std::to_string(want.write_at))
                              << (port_used ? "" : "; no port cycle");
            }
        }

        size_t i = 0;
        while (i < bases.size() && ++choice[i] == placements(bases[i], row).size()) choice[i++] = 0;
        if (i == bases.size()) break;
    }
    EXPECT_EQ(failures, 0) << row.id << ": runs that differ from the cycle list, of " << runs;
    fresh_machine();
}

} // namespace z80_timing

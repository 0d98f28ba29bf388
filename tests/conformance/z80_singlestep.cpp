// The per-opcode vectors (singlestep/v1): every case of every file runs as one CPU step with
// no contention, on each CPU model, and must leave the registers, the memory, the port
// writes and the T-state count the vectors give.
//
// Where the vectors settle a point differently from this machine's Z80, the case is listed
// below (`Difference`), checked against this machine's own rule instead, and nothing else
// about the case is excused. The vectors are the Zilog NMOS part's: on the Zilog model only
// HALT and EI stay listed, and Q and the LD A,I / LD A,R state must match theirs too.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tests/support/port_hooks.h"
#include "tests/support/z80_memory.h"
#include "z80/z80.h"

using nlohmann::json;

namespace {

const std::string VECTORS = "singlestep/v1";

// Well past the last contended T-state of the frame (57,246) and far from the interrupt.
constexpr int32_t START = 60000;

std::vector<std::string> vector_files() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(testdata_path(VECTORS), ec)) {
        const std::string name = entry.path().filename().string();
        const auto end = name.find(".json.gz");
        if (end != std::string::npos) names.push_back(name.substr(0, end));
    }
    std::sort(names.begin(), names.end());
    if (names.empty()) names.push_back("absent"); // one test that says why it skips
    return names;
}

bool read_gzip(const std::string& path, std::string& out) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file) return false;
    char buffer[65536];
    int n;
    while ((n = gzread(file, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    gzclose(file);
    return n == 0;
}

// --- This machine's rules where the vectors differ -----------------------------------------

enum class Difference {
    none,
    // SCF/CCF: the vectors OR bits 3 and 5 of the old F (through their Q latch) into the
    // result; this machine copies them from A alone.
    scf_ccf,
    // LDIR/LDDR/CPIR/CPDR/INIR/INDR/OTIR/OTDR while repeating: the vectors take bits 3 and 5
    // (and for the I/O forms H and P/V) from the re-executed jump; this machine's flags are
    // those of the single iteration. The I/O forms also set MEMPTR to the instruction's
    // address + 1 in the vectors; here they leave it at BC +/- 1 as one INI/OUTI does.
    block_repeat,
    // HALT: this machine keeps PC on the HALT opcode and sets `halted`; the vectors step past.
    halt,
    // EI: this machine enables interrupts at the end of the next instruction (pending_EI);
    // the vectors set IFF1 and IFF2 at once.
    ei,
};

Difference difference_for(const std::string& file, const json& initial, const json& final,
                          CpuModel model) {
    static const char* const SCF_CCF[] = {"37", "3f", "dd_37", "dd_3f", "fd_37", "fd_3f"};
    static const char* const HALT[] = {"76", "dd_76", "fd_76"};
    static const char* const EI[] = {"fb", "dd_fb", "fd_fb"};
    static const char* const REPEATS[] = {"ed_b0", "ed_b1", "ed_b2", "ed_b3",
                                          "ed_b8", "ed_b9", "ed_ba", "ed_bb"};
    for (const char* n : HALT)
        if (file == n) return Difference::halt;
    for (const char* n : EI)
        if (file == n) return Difference::ei;
    if (model == CpuModel::zilog) return Difference::none;
    for (const char* n : SCF_CCF)
        if (file == n) return Difference::scf_ccf;
    for (const char* n : REPEATS)
        if (file == n && final["pc"] == initial["pc"]) return Difference::block_repeat;
    return Difference::none;
}

uint8_t sz53(uint8_t v) { return static_cast<uint8_t>((v & 0xA8) | (v ? 0 : 0x40)); }
bool even_parity(uint8_t v) { return std::bitset<8>(v).count() % 2 == 0; }

uint8_t ram_at(const json& state, uint16_t addr) {
    for (const auto& cell : state["ram"])
        if (cell[0] == addr) return cell[1];
    return 0;
}

// F after one iteration of a repeating block instruction, as this machine computes it.
uint8_t block_iteration_flags(uint8_t op, const json& in, const json& ports) {
    const uint8_t a = in["a"], f = in["f"], b = in["b"], c = in["c"];
    const uint16_t hl = static_cast<uint16_t>((int(in["h"]) << 8) | int(in["l"]));
    const uint16_t bc = static_cast<uint16_t>((b << 8) | c);
    const int dir = (op & 0x08) ? -1 : 1;
    switch (op & 3) {
    case 0: { // LDIR, LDDR
        const uint8_t n = static_cast<uint8_t>(ram_at(in, hl) + a);
        return static_cast<uint8_t>((f & 0xC1) | (n & 0x08) | ((n & 0x02) ? 0x20 : 0) |
                                    (bc != 1 ? 0x04 : 0));
    }
    case 1: { // CPIR, CPDR
        const uint8_t v = ram_at(in, hl);
        const uint8_t result = static_cast<uint8_t>(a - v);
        const bool half = (a & 0x0F) < (v & 0x0F);
        uint8_t flags =
            static_cast<uint8_t>((f & 0x01) | 0x02 | (half ? 0x10 : 0) | (bc != 1 ? 0x04 : 0) |
                                 (result & 0x80) | (result ? 0 : 0x40));
        const uint8_t n = static_cast<uint8_t>(half ? result - 1 : result);
        return static_cast<uint8_t>(flags | (n & 0x08) | ((n & 0x02) ? 0x20 : 0));
    }
    default: { // INIR, INDR (byte from the port); OTIR, OTDR (byte from memory)
        const bool in_form = (op & 3) == 2;
        const uint8_t v = in_form ? static_cast<uint8_t>(ports[0][1]) : ram_at(in, hl);
        const uint8_t b1 = static_cast<uint8_t>(b - 1);
        const unsigned k =
            in_form ? v + static_cast<uint8_t>(c + dir) : v + static_cast<uint8_t>(hl + dir);
        return static_cast<uint8_t>(((v & 0x80) ? 0x02 : 0) | (k > 255 ? 0x11 : 0) | sz53(b1) |
                                    (even_parity(static_cast<uint8_t>((k & 7) ^ b1)) ? 0x04 : 0));
    }
    }
}

// --- Ports: the vectors say what each IN reads; the OUTs are recorded ----------------------

struct PortLog {
    std::vector<std::pair<uint16_t, uint8_t>> reads; // expected (port, value to return)
    size_t next_read = 0;
    std::vector<std::pair<uint16_t, uint8_t>> writes; // what the CPU wrote
    std::vector<uint16_t> read_ports;                 // what the CPU read
};
PortLog ports;

uint8_t port_read(uint16_t port) {
    ports.read_ports.push_back(port);
    if (ports.next_read < ports.reads.size()) return ports.reads[ports.next_read++].second;
    return 0xFF;
}
void port_write(uint16_t port, uint8_t value) { ports.writes.emplace_back(port, value); }

// --- One case -------------------------------------------------------------------------------

std::array<uint8_t, 65536> memory_image() {
    const Spectrum& m = test_machine();
    std::array<uint8_t, 65536> image;
    for (int slot = 0; slot < 4; slot++) std::memcpy(&image[slot * 0x4000], m.SLTPTR[slot], 0x4000);
    return image;
}

void load_state(const json& s, CpuModel model) {
    Spectrum& m = test_machine();
    m.cpu_model = model;
    Z80& z80 = m.z80;
    z80 = Z80{};
    z80.AF = static_cast<uint16_t>((int(s["a"]) << 8) | int(s["f"]));
    z80.BC = static_cast<uint16_t>((int(s["b"]) << 8) | int(s["c"]));
    z80.DE = static_cast<uint16_t>((int(s["d"]) << 8) | int(s["e"]));
    z80.HL = static_cast<uint16_t>((int(s["h"]) << 8) | int(s["l"]));
    z80.AF_ = s["af_"], z80.BC_ = s["bc_"], z80.DE_ = s["de_"], z80.HL_ = s["hl_"];
    z80.IX = s["ix"], z80.IY = s["iy"], z80.SP = s["sp"], z80.PC = s["pc"], z80.MEMPTR = s["wz"];
    z80.I = s["i"];
    z80.R = s["r"];
    z80.R7 = s["r"];
    z80.IM = s["im"], z80.IFF1 = s["iff1"], z80.IFF2 = s["iff2"];
    // The vectors' "ei" (an EI just ran) is not this machine's pending_EI: left clear.
    z80.pending_EI = 0;
    z80.ei_tstates = -1;
    z80.Q = s["q"];
    z80.after_ld_a_ir = s["p"];
    for (const auto& cell : s["ram"]) z80_poke(cell[0].get<uint16_t>(), cell[1].get<uint8_t>());
}

// Runs one case; returns a description of every mismatch (empty when it passes).
std::string run_case(const std::string& file, const json& test, CpuModel model) {
    const json& in = test["initial"];
    const json& out = test["final"];
    const Difference diff = difference_for(file, in, out, model);

    Spectrum& m = test_machine();
    const Z80& z80 = m.z80;
    load_state(in, model);
    ports = PortLog{};
    if (test.contains("ports"))
        for (const auto& p : test["ports"])
            if (p[2] == "r") ports.reads.emplace_back(p[0], p[1]);
    auto before = memory_image();
    m.tstates = START;
    m.tstatesh = 0;
    PortHooks{m, port_read, port_write}.z80_step();
    const int32_t taken = m.tstates - START;

    std::string errors;
    auto check = [&](const char* what, long actual, long expected) {
        if (actual != expected)
            errors += std::string(" ") + what + "=" + std::to_string(actual) + " (want " +
                      std::to_string(expected) + ")";
    };
    const uint8_t r = static_cast<uint8_t>((z80.R & 0x7F) | (z80.R7 & 0x80));
    check("a", z80.AF >> 8, out["a"]);
    switch (diff) {
    case Difference::scf_ccf: {
        const uint8_t a = in["a"], f = in["f"];
        const bool ccf = file.substr(file.size() - 2) == "3f";
        const uint8_t carry = ccf ? ((f & 1) ? 0x10 : 0x01) : 0x01;
        check("f", z80.AF & 0xFF, (f & 0xC4) | (a & 0x28) | carry);
        break;
    }
    case Difference::block_repeat:
        check("f", z80.AF & 0xFF,
              block_iteration_flags(ram_at(in, uint16_t(int(in["pc"]) + 1)), in,
                                    test.value("ports", json::array())));
        break;
    default: check("f", z80.AF & 0xFF, out["f"]);
    }
    check("b", z80.BC >> 8, out["b"]);
    check("c", z80.BC & 0xFF, out["c"]);
    check("d", z80.DE >> 8, out["d"]);
    check("e", z80.DE & 0xFF, out["e"]);
    check("h", z80.HL >> 8, out["h"]);
    check("l", z80.HL & 0xFF, out["l"]);
    check("af_", z80.AF_, out["af_"]);
    check("bc_", z80.BC_, out["bc_"]);
    check("de_", z80.DE_, out["de_"]);
    check("hl_", z80.HL_, out["hl_"]);
    check("ix", z80.IX, out["ix"]);
    check("iy", z80.IY, out["iy"]);
    check("sp", z80.SP, out["sp"]);
    if (diff == Difference::block_repeat && (ram_at(in, uint16_t(int(in["pc"]) + 1)) & 2)) {
        const uint8_t op = ram_at(in, uint16_t(int(in["pc"]) + 1));
        const int dir = (op & 0x08) ? -1 : 1;
        const int bc = (int(in["b"]) << 8) | int(in["c"]);
        // INIR/INDR: BC before B is decremented; OTIR/OTDR: after.
        const int port = (op & 1) ? bc - 0x100 : bc;
        check("wz", z80.MEMPTR, (port + dir) & 0xFFFF);
    } else {
        check("wz", z80.MEMPTR, out["wz"]);
    }
    check("i", z80.I, out["i"]);
    check("r", r, out["r"]);
    check("im", z80.IM, out["im"]);
    if (diff == Difference::halt) {
        check("pc", z80.PC, int(out["pc"]) - 1); // on the HALT opcode
        check("halted", z80.halted != 0, 1);
    } else {
        check("pc", z80.PC, out["pc"]);
        check("halted", z80.halted, 0);
    }
    if (diff == Difference::ei) {
        check("iff1", z80.IFF1, in["iff1"]); // unchanged until the next instruction ends
        check("iff2", z80.IFF2, in["iff2"]);
        check("pending_EI", z80.pending_EI, 1);
        check("ei_tstates", z80.ei_tstates, m.tstates);
    } else {
        check("iff1", z80.IFF1, out["iff1"]);
        check("iff2", z80.IFF2, out["iff2"]);
        check("pending_EI", z80.pending_EI, 0);
    }

    // Memory: the listed cells hold their final values, and nothing else changed.
    for (const auto& cell : out["ram"]) {
        const uint16_t addr = cell[0];
        before[addr] = cell[1];
    }
    const auto after = memory_image();
    for (size_t a = 0; a < after.size(); a++)
        if (after[a] != before[a])
            errors += " mem[" + std::to_string(a) + "]=" + std::to_string(after[a]) + " (want " +
                      std::to_string(before[a]) + ")";

    // Ports: the same reads in the same order, the same writes in the same order.
    std::vector<uint16_t> want_reads;
    std::vector<std::pair<uint16_t, uint8_t>> want_writes;
    if (test.contains("ports"))
        for (const auto& p : test["ports"]) {
            if (p[2] == "r") want_reads.push_back(p[0]);
            else want_writes.emplace_back(p[0], p[1]);
        }
    if (ports.read_ports != want_reads) errors += " port reads differ";
    if (ports.writes != want_writes) {
        errors += " port writes:";
        for (const auto& [port, value] : ports.writes)
            errors += " " + std::to_string(port) + "<-" + std::to_string(value);
    }

    if (model == CpuModel::zilog) {
        check("q", z80.Q, out["q"]);
        check("p", z80.after_ld_a_ir, out["p"]);
    }
    check("T-states", taken, static_cast<long>(test["cycles"].size()));
    return errors;
}

class SingleStep : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        fresh_machine();
        z80_map_low_ram();
    }
    void TearDown() override { fresh_machine(); }
};

TEST_P(SingleStep, EveryCaseMatches) {
    const std::string file = GetParam();
    if (file == "absent")
        GTEST_SKIP() << "no per-opcode vectors at " << testdata_path(VECTORS)
                     << " (the third-party test material is not beside this checkout)";
    std::string text;
    ASSERT_TRUE(read_gzip(testdata_path(VECTORS + "/" + file + ".json.gz"), text)) << file;
    const json tests = json::parse(text);
    ASSERT_EQ(tests.size(), 25u) << file;

    for (const CpuModel model : {CpuModel::standard, CpuModel::zilog}) {
        const char* name = model == CpuModel::zilog ? "zilog" : "standard";
        int failures = 0;
        for (const auto& test : tests) {
            const std::string errors = run_case(file, test, model);
            if (errors.empty()) continue;
            if (++failures <= 5)
                ADD_FAILURE() << name << " " << test["name"].get<std::string>() << ":" << errors;
        }
        EXPECT_EQ(failures, 0) << "cases of " << file << " that differ on the " << name << " model";
    }
}

std::string param_name(const testing::TestParamInfo<std::string>& info) { return info.param; }

INSTANTIATE_TEST_SUITE_P(Vectors, SingleStep, testing::ValuesIn(vector_files()), param_name);

} // namespace

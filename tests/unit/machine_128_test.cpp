// The 128K: its ULA's timings, contention by bank, the paging register, the shadow screen,
// the tape trap by ROM, and the machine booted and loading a program that pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/roms.h"
#include "frontend/session.h"
#include "frontend/typing.h"
#include "host/headless/headless.h"
#include "spectrum/bus128.h"
#include "tests/support/support.h"
#include "tools/screen_text.h"

namespace {
std::unique_ptr<Spectrum> machine128(std::vector<uint8_t> roms = {}) {
    auto m = std::make_unique<Spectrum>();
    m->power_on(128, std::move(roms));
    return m;
}
constexpr int32_t FC = 14361; // the 128K's first contended T-state
} // namespace

// Banks 1, 3, 5 and 7 wait wherever they are mapped, the others never, at the edges of the
// 192 x 128 window of the 228-T-state lines.
TEST(Machine128, EachBankIsContendedAtTheWindowsEdges) {
    const struct {
        int32_t t, wait;
    } edges[] = {{FC - 1, 0},      {FC, 6},       {FC + 1, 5},         {FC + 6, 0},
                 {FC + 120, 6},    {FC + 128, 0}, {FC + 191 * 228, 6}, {FC + 192 * 228, 0},
                 {FC + 228 - 1, 0}};
    for (int bank = 0; bank < 8; bank++) {
        auto m = machine128();
        m->writeport(0x7FFD, static_cast<uint8_t>(bank));
        Bus128 bus{*m};
        for (const auto& e : edges) {
            SCOPED_TRACE("bank " + std::to_string(bank) + " at " + std::to_string(e.t));
            for (const uint16_t addr : {0x0000, 0x4000, 0x8000, 0xC000}) {
                const bool contended = addr == 0x4000 || (addr == 0xC000 && bank & 1);
                int32_t t = e.t;
                bus.read(t, addr);
                EXPECT_EQ(t - e.t, 3 + (contended ? e.wait : 0)) << std::hex << addr;
            }
        }
        // A port whose high byte falls in slot 3 is contended as its bank is.
        int32_t t = FC;
        bus.in(t, 0xC0FF);
        EXPECT_EQ(t - FC > 4, (bank & 1) == 1) << "port 0xC0FF, bank " << bank;
    }
}

TEST(Machine128, PagingRegisterDecodeLockRomAndScreen) {
    const struct {
        uint16_t port;
        bool decoded;
    } ports[] = {{0x7FFD, true},  {0x1FFD, true},  {0x7FFC, true},
                 {0x7FFF, false}, {0xFFFD, false}, {0xBFFD, false}};
    for (const auto& p : ports) {
        auto m = machine128();
        m->writeport(p.port, 0x03);
        EXPECT_EQ(m->SLTPTR[3] == m->RAM + 3 * 0x4000, p.decoded) << std::hex << p.port;
    }
    std::vector<uint8_t> roms(2 * ROM_SIZE, 0xAA);
    roms[ROM_SIZE] = 0xBB;
    auto m = machine128(roms);
    EXPECT_EQ(m->readbyte_internal(0), 0xAA) << "ROM 0 after power-on";
    m->writeport(0x7FFD, 0x18);
    EXPECT_EQ(m->readbyte_internal(0), 0xBB) << "bit 4: ROM 1";
    EXPECT_EQ(m->screen_bank(), m->RAM + 7 * 0x4000) << "bit 3: the shadow screen";
    m->writeport(0x7FFD, 0x21);
    m->writeport(0x7FFD, 0x03);
    EXPECT_EQ(m->SLTPTR[3], m->RAM + 1 * 0x4000) << "bit 5 locks the paging";
    EXPECT_EQ(m->readbyte_internal(0), 0xAA);
    m->reset_logical_system();
    m->writeport(0x7FFD, 0x03);
    EXPECT_EQ(m->SLTPTR[3], m->RAM + 3 * 0x4000) << "a reset unlocks it";
}

// The interrupt is requested for 36 T-states on the 128K, 32 on the 48K; the floating bus
// shows the first bitmap byte at 14364 and 14338.
TEST(Machine128, InterruptLengthAndFloatingBusByModel) {
    const struct {
        int model;
        int32_t t;
        bool accepted;
    } cases[] = {{48, 31, true}, {48, 32, false}, {128, 35, true}, {128, 36, false}};
    for (const auto& c : cases) {
        Spectrum m;
        m.power_on(c.model, {});
        m.z80.IFF1 = m.z80.IFF2 = 1;
        m.z80.IM = 1;
        m.z80.PC = 0x8000;
        m.z80.SP = 0x9000;
        m.tstates = c.t;
        m.z80_step();
        EXPECT_EQ(m.z80.SP == 0x8FFE, c.accepted) << c.model << "K at " << c.t;
        m.RAM[5 * 0x4000] = 0x5A;
        m.RAM[5 * 0x4000 + 0x1800] = 0x38;
        m.tstates = c.model == 48 ? 14338 : 14364;
        EXPECT_EQ(m.readport_internal(0x40FF), 0x5A);
        m.tstates++;
        EXPECT_EQ(m.readport_internal(0x40FF), 0x38);
    }
}

// The screen switched to bank 7 just before the beam reaches paper line 96: the lines above show
// bank 5, those below bank 7, and a write to bank 7 through 0xC000 shows where the beam has
// yet to be.
TEST(Machine128, ShadowScreenSwitchedMidFrame) {
    auto m = machine128();
    for (int bank : {5, 7}) {
        std::fill_n(m->RAM + bank * 0x4000, 6144, bank == 5 ? 0xFF : 0x00);
        std::fill_n(m->RAM + bank * 0x4000 + 6144, 768, 0x38); // black ink, white paper
    }
    std::vector<uint8_t> surface(ULA_SURFACE_W * ULA_SURFACE_H * 4);
    m->rasterize_ULA(surface.data(), SCREEN_COLOUR, true); // the frame starts from bank 5
    m->writeport(0x7FFD, 0x07);
    m->tstates = ULA_128.fetch() + 96 * 228 - 1;
    m->write_7ffd(0x0F);
    Bus128 bus{*m};
    int32_t t = m->tstates;
    bus.write(t, static_cast<uint16_t>(0xC000 + (ulay[150] - 0x4000) + 9), 0xFF);
    m->rasterize_ULA(surface.data(), SCREEN_COLOUR, true);
    const auto blue = [&](int line) { return surface[((160 + line) * ULA_SURFACE_W + 200) * 4]; };
    EXPECT_EQ(blue(0), 0) << "ink: bank 5";
    EXPECT_EQ(blue(95), 0) << "ink: bank 5";
    EXPECT_EQ(blue(96), 170) << "paper: bank 7";
    EXPECT_EQ(blue(150), 0) << "written to bank 7 before the beam came";
}

// The load trap acts only while the ROM holding the loader (ROM 1) is paged in.
TEST(Machine128, TapeTrapOnlyWithTheLoadersRom) {
    std::vector<uint8_t> roms(2 * ROM_SIZE, 0);
    auto m = machine128(roms);
    m->attach_tape({4, 0, 0xFF, 0x11, 0x22, 0xCC});
    m->z80.IX = 0x8000;
    m->z80.DE = 2;
    m->z80.SP = 0x9000;
    EXPECT_FALSE(m->tape_load_trap()) << "ROM 0";
    m->writeport(0x7FFD, 0x10);
    EXPECT_TRUE(m->tape_load_trap()) << "ROM 1";
    EXPECT_EQ(m->RAM[2 * 0x4000 + 1], 0x22);
}

namespace {
const char* const SYSTEM_ROMS = "/usr/share/spectrum-roms";

void type(Session& s, const std::string& text) {
    for (const char c : text) {
        const std::vector<int> keys = keys_for_char(c);
        if (keys.size() > 1) test_host().queue_key_event(keys[0], true);
        test_host().queue_key_event(keys.back(), true);
        test_host().queue_key_event(keys.back(), false);
        if (keys.size() > 1) test_host().queue_key_event(keys[0], false);
    }
    s.read_keyboard();
}

bool printed(const Spectrum& m) {
    for (const char c : screen_text_joined(m))
        if (c != ' ' && c != '?' && c != '\n') return true;
    return false;
}
} // namespace

// Every ROM set this computer has (the user's, 1982.rom, the system's free ones) boots to
// its editor: interrupt mode 1, IY on the system variables, text on the screen.
TEST(Machine128, EachRomSetPresentBoots) {
    const RomPlaces places{default_user_rom_dir(), binary_path(""), SYSTEM_ROMS};
    std::string absent;
    for (const MachineKind kind : {MachineKind::m48, MachineKind::m128, MachineKind::plus2}) {
        RomSet set;
        std::string error;
        if (!find_roms(kind, {}, places, set, error)) {
            absent += error + "; ";
            continue;
        }
        SCOPED_TRACE(set.name);
        Session& s = fresh_session();
        s.machine.power_on(hardware_model(kind), set.images);
        s.start_machine();
        s.run_machine(200);
        EXPECT_EQ(s.machine.z80.IM, 1);
        EXPECT_EQ(s.machine.z80.IY, 0x5C3A);
        EXPECT_TRUE(printed(s.machine)) << screen_text_joined(s.machine);
    }
    if (!absent.empty()) GTEST_SKIP() << "not booted: " << absent;
}

// A program that pages banks 1, 3, 4, 6 and 7 through 0xC000, marks each and reads each
// back, loaded with LOAD "" from a tape pasmo makes, on the free 128K ROMs.
TEST(Machine128, LoadsAndRunsAProgramThatPagesEachBank) {
    RomSet set;
    std::string error;
    if (!find_roms(MachineKind::m128, {}, {"", "", SYSTEM_ROMS}, set, error))
        GTEST_SKIP() << error << " (Debian package opense-basic)";
    if (std::system("command -v pasmo >/dev/null") != 0) GTEST_SKIP() << "pasmo is not installed";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("marrowgleam-128-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "banks.asm") << R"(
        org 32768
start:  di
        ld hl, banks
        ld b, 5
mark:   ld a, (hl)
        call page
        add a, '0'
        ld (0xc000), a
        inc hl
        djnz mark
        ld hl, banks
        ld de, 0x8100
        ld b, 5
back:   ld a, (hl)
        call page
        ld a, (0xc000)
        ld (de), a
        inc hl
        inc de
        djnz back
        xor a
        call page
        ei
        ld a, 2
        call 0x1601             ; print to the upper screen
        ld hl, 0x8100
        ld b, 5
show:   ld a, (hl)
        rst 16
        inc hl
        djnz show
        ret
page:   push bc                 ; bank A at 0xC000, ROM 1 (the 48K BASIC) kept
        push af
        or 0x10
        ld bc, 0x7ffd
        out (c), a
        pop af
        pop bc
        ret
banks:  db 1, 3, 4, 6, 7
        end start
)";
    const std::string tap = (dir / "banks.tap").string();
    ASSERT_EQ(std::system(("pasmo --tapbas " + (dir / "banks.asm").string() + " " + tap).c_str()),
              0);
    std::ifstream file(tap, std::ios::binary);
    std::vector<uint8_t> image((std::istreambuf_iterator<char>(file)), {});
    std::filesystem::remove_all(dir);

    Session& s = fresh_session();
    Spectrum& m = s.machine;
    m.power_on(128, set.images);
    s.start_machine();
    s.run_machine(150);
    m.attach_tape(image);
    type(s, "LOAD \"\"\n");
    s.run_machine(600);
    for (const int bank : {1, 3, 4, 6, 7}) EXPECT_EQ(m.RAM[bank * 0x4000], '0' + bank) << bank;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.RAM + 2 * 0x4000 + 0x100), 5), "13467");
    EXPECT_NE(screen_text_joined(m).find("13467"), std::string::npos) << screen_text_joined(m);
}

// Every snapshot format and a channel carry the model and the paging, the ROM bit too: a
// 128K saved with ROM 1, bank 3 and the shadow screen comes back so into a 48K machine, and
// a 48K snapshot in a 128K machine runs the 48K BASIC of its ROM pair.
TEST(Machine128, SnapshotsAndChannelsKeepTheModelAndPaging) {
    std::vector<uint8_t> roms(2 * ROM_SIZE, 0xAA);
    std::fill_n(roms.begin() + ROM_SIZE, ROM_SIZE, 0xBB);
    const std::string path = std::filesystem::temp_directory_path() /
                             ("marrowgleam-128-" + std::to_string(getpid()) + ".");
    for (const int model : {128, 48}) {
        for (const char* ext : {"sna", "z80", "szx", "channel"}) {
            SCOPED_TRACE(std::to_string(model) + "K " + ext);
            auto a = std::make_unique<Spectrum>();
            a->power_on(model, roms);
            a->writeport(0x7FFD, 0x1B);
            a->z80.SP = 0x9000;
            auto b = std::make_unique<Spectrum>();
            b->power_on(model == 48 ? 128 : 48, roms);
            if (std::string(ext) == "channel") {
                restore_channel(*b, channel_image(*a));
            } else {
                SnapshotFormat format;
                ASSERT_TRUE(snapshot_format_of(path + ext, format));
                ASSERT_EQ(save_snapshot(*a, path + ext, format), "");
                ASSERT_EQ(load_speccy(*b, path + ext).status, LoadResult::DONE);
                std::filesystem::remove(path + ext);
            }
            EXPECT_EQ(b->model, model);
            EXPECT_EQ(b->readbyte_internal(0), 0xBB) << "ROM 1, the 48K BASIC";
            EXPECT_EQ(b->SLTPTR[3], b->RAM + (model == 48 ? 0 : 3) * 0x4000);
            EXPECT_EQ(b->screen_bank(), b->RAM + (model == 48 ? 5 : 7) * 0x4000);
        }
    }
}

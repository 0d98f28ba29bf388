// Machines as values: two in one process run alike from the same start, a copy is a whole
// independent machine, and running one never touches another.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frontend/session.h"
#include "host/headless/headless.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"
#include "tools/keyscript.h"
#include "tools/screen_text.h"

namespace {
// What a session shows and plays over a run: every logical frame's picture and samples.
struct Recording {
    std::vector<uint8_t> pictures;
    std::vector<StereoSample> sound;
};

// A session booted from the ROM, with a host of its own whose script types `script`.
struct TypingSession {
    HeadlessHost host;
    const std::unique_ptr<Session> session = std::make_unique<Session>(host);
    std::vector<KeyEvent> events;
    size_t next = 0;

    TypingSession(const uint8_t* rom, const char* script) {
        Session& s = *session;
        std::string error;
        EXPECT_TRUE(parse_key_script(script, 3, events, error)) << error;
        s.machine.install_roms({rom, rom + ROM_SIZE});
        host.attach_keyboard(s);
        host.on_pump = [this] {
            next =
                apply_key_events(events, next, session->logical_frames, host.keys, session.get());
        };
        s.start_machine();
        s.machine.rasterize_ULA(s.ULA_surface[0], s.view.screen_mode, true);
        s.read_keyboard();
    }
    // One logical frame; the picture it painted.
    const uint8_t* frame() {
        Session& s = *session;
        EXPECT_TRUE(s.run_machine(s.logical_frames + 1));
        return s.ULA_surface[(s.machine.IFB_buffer + 2) % 3];
    }
};

const char* const TYPED_PROGRAM = "60:type 10 BORDER 2: BEEP .2,12: PRINT \"TWO\"<enter>;"
                                  "360:type RUN<enter>";

// Every logical frame's picture and samples over `frames` frames.
Recording record(TypingSession& t, uint64_t frames) {
    Session& s = *t.session;
    Recording r;
    while (s.logical_frames < frames) {
        const uint8_t* picture = t.frame();
        r.sound.insert(r.sound.end(), s.sound.FRAME_SAMPLES,
                       s.sound.FRAME_SAMPLES + SAMPLES_PER_FRAME);
        r.pictures.insert(r.pictures.end(), picture, picture + sizeof s.ULA_surface[0]);
    }
    return r;
}

// Two machines alike: the hardware, the ROM beside it, and the slot tables by where they
// point within their own machine.
void expect_same_machine(const Spectrum& a, const Spectrum& b) {
    EXPECT_TRUE(a == b) << "the hardware differs";
    EXPECT_TRUE(a.ROMS == b.ROMS) << "ROM";
    const auto place = [](const Spectrum& m, const uint8_t* p) -> long {
        if (p >= m.RAM && p < m.RAM + sizeof m.RAM) return p - m.RAM;
        if (p >= m.rom_page(0) && p < m.rom_page(0) + ROM_SIZE) return -1 - (p - m.rom_page(0));
        return p == m.ROM_SINK.get() ? -100000 : -200000;
    };
    for (int slot = 0; slot < 4; slot++) {
        EXPECT_EQ(place(a, a.SLTPTR[slot]), place(b, b.SLTPTR[slot])) << "slot " << slot;
        EXPECT_EQ(place(a, a.SLTWR[slot]), place(b, b.SLTWR[slot])) << "slot " << slot;
    }
}
} // namespace

TEST(Instances, TwoSessionsFromTheSameStartShowAndPlayTheSame) {
    uint8_t rom[16384];
    if (!read_rom(rom)) GTEST_SKIP() << "no 1982.rom beside the tests";
    TypingSession a(rom, TYPED_PROGRAM), b(rom, TYPED_PROGRAM);
    const Recording first = record(a, 460);
    const Recording second = record(b, 460);
    ASSERT_EQ(first.sound.size(), 460u * SAMPLES_PER_FRAME);
    EXPECT_TRUE(first.pictures == second.pictures) << "the pictures differ";
    EXPECT_TRUE(first.sound == second.sound) << "the sound differs";
    expect_same_machine(a.session->machine, b.session->machine);

    // The run did something worth comparing: the border turned red, the program beeped.
    EXPECT_EQ(a.session->machine.port_fe & 7, 2);
    size_t changes = 0;
    for (size_t i = 1; i < first.sound.size(); i++) changes += first.sound[i] != first.sound[i - 1];
    EXPECT_GT(changes, 100u) << "no tone in the recording";
}

TEST(Instances, TwoSessionsRunSideBySideEachWithItsOwnHost) {
    uint8_t rom[16384];
    if (!read_rom(rom)) GTEST_SKIP() << "no 1982.rom beside the tests";
    TypingSession a(rom, "60:type 10 PRINT \"ALPHA\"<enter>;300:type RUN<enter>");
    TypingSession b(rom, "60:type 20 PRINT \"BRAVO\"<enter>;300:type RUN<enter>");
    // Frame by frame in turn, the second stopping sooner.
    while (a.session->logical_frames < 420) {
        a.frame();
        if (b.session->logical_frames < 380) b.frame();
    }
    const std::string screen_a = screen_text_joined(a.session->machine);
    const std::string screen_b = screen_text_joined(b.session->machine);
    EXPECT_NE(screen_a.find("ALPHA"), std::string::npos) << screen_a;
    EXPECT_EQ(screen_a.find("BRAVO"), std::string::npos) << screen_a;
    EXPECT_NE(screen_b.find("BRAVO"), std::string::npos) << screen_b;
    EXPECT_EQ(screen_b.find("ALPHA"), std::string::npos) << screen_b;
    // Each host counted its own session's frames and pumps only.
    EXPECT_EQ(a.session->logical_frames, 420u);
    EXPECT_EQ(b.session->logical_frames, 380u);
    EXPECT_EQ(a.host.stats.presents, a.session->physical_frames);
    EXPECT_EQ(b.host.stats.presents, b.session->physical_frames);
    EXPECT_GT(a.host.stats.pumps, b.host.stats.pumps);
    EXPECT_EQ(a.session->keyboard.tap_queue.size() + b.session->keyboard.tap_queue.size(), 0u)
        << "every typed key was played";
}

TEST(Instances, RunningOneMachineLeavesAnotherUntouched) {
    Spectrum& m = fresh_machine();
    const auto other = std::make_unique<Spectrum>();
    // Both run the same loop: LD A,n / OUT (FE),A / INC (HL) / LD (DE),A / JR back.
    const uint8_t program[] = {0x3E, 0x17, 0xD3, 0xFE, 0x34, 0x12, 0x18, 0xF8};
    for (Spectrum* s : {&m, other.get()}) {
        std::memcpy(s->RAM + 2 * 0x4000, program, sizeof program); // 0x8000
        s->z80.PC = 0x8000;
        s->z80.HL = 0x4000;
        s->z80.DE = 0x5800;
    }
    const auto before = std::make_unique<Spectrum>(*other);
    for (int frame = 0; frame < 20; frame++) {
        m.z80_run(m.tpf, INT32_MAX);
        m.end_logical_frame();
    }
    EXPECT_EQ(m.RAM[5 * 0x4000 + 0x1800], 0x17) << "the first machine ran";
    EXPECT_GT(m.OUTSTK.size(), 0);
    expect_same_machine(*other, *before);
}

TEST(Instances, ACopyRunsOnAsTheOriginalAndApart) {
    Spectrum& m = fresh_machine();
    const uint8_t program[] = {0x3E, 0x17, 0xD3, 0xFE, 0x34, 0x12, 0x18, 0xF8};
    std::memcpy(m.RAM + 2 * 0x4000, program, sizeof program);
    m.z80.PC = 0x8000;
    m.z80.HL = 0x4000;
    m.z80.DE = 0x5800;
    m.z80_run(30000, INT32_MAX); // mid-frame

    const auto copy = std::make_unique<Spectrum>(m);
    expect_same_machine(*copy, m);
    // The copy's slots show its own memory: a write through one machine is not seen by the
    // other. Slot 0 reads the ROM set both share, which neither writes.
    EXPECT_EQ(copy->SLTPTR[0], m.SLTPTR[0]);
    for (int slot = 0; slot < 4; slot++) {
        if (slot) {
            EXPECT_NE(copy->SLTPTR[slot], m.SLTPTR[slot]);
        }
        EXPECT_NE(copy->SLTWR[slot], m.SLTWR[slot]);
    }
    copy->SLTWR[2][0x1000] = 0x5A;
    EXPECT_EQ(copy->readbyte_internal(0x9000), 0x5A);
    EXPECT_EQ(m.readbyte_internal(0x9000), 0x00);
    copy->SLTWR[2][0x1000] = 0x00;

    // Both run on the same way to the T-state.
    for (Spectrum* s : {&m, copy.get()}) {
        s->z80_run(s->tpf, INT32_MAX);
        s->end_logical_frame();
        s->z80_run(s->tpf, INT32_MAX);
    }
    expect_same_machine(*copy, m);

    // Assigning a fresh machine is a power-on: memory cleared, the ROM in slot 0 again.
    *copy = Spectrum{};
    EXPECT_EQ(copy->SLTPTR[0], copy->rom_page(0));
    EXPECT_EQ(copy->SLTWR[0], copy->ROM_SINK.get());
    EXPECT_EQ(copy->SLTPTR[1], copy->RAM + 5 * 0x4000);
    EXPECT_EQ(copy->z80.PC, 0);
    EXPECT_EQ(copy->tstates, 0);
    EXPECT_EQ(copy->readbyte_internal(0x8000), 0);
}

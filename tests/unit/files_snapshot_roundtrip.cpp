// Snapshot round trips: a machine running a busy program is saved in each format, loaded
// into a fresh machine object, and both then run 500 logical frames showing the same
// pictures and playing the same sound, frame by frame.
//
// What a format cannot hold is put back into the loaded machine from the saved one before
// the run, and listed per format; everything else must come through the file:
// - no format: the beam's copy of the frame in progress (RTFB), this frame's speaker events
//   and the level the frame began with, the FLASH phase, the counter bits of R above bit 6
//   (only R as LD A,R reads it is machine state), the T-states of the last step;
// - Z80: MEMPTR, an EI waiting for its next instruction, the speaker and MIC bits of the
//   last byte sent to port 0xFE (it holds the border only);
// - SNA: the same, the position in the frame, and the sound chip's registers; the 48K's
//   file also puts PC into the two bytes under SP.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"

namespace {
constexpr int FRAMES = 500;

// The busy program, in bank 2 above 0x9B00 with its stack: a loop that XORs R into the
// screen and into 0xC000-0xDAFF of the paged bank and sends every byte to port 0xFE
// (border, speaker), and an IM 2 interrupt routine that counts frames and pages the count
// into port 0x7FFD (bank, shadow screen; the 48K ignores the port).
const uint8_t MAIN_LOOP[] = {
    0x21, 0x00, 0x40, // A000 LD HL,4000h
    0xED, 0x5F,       // A003 LD A,R
    0xAE,             //      XOR (HL)
    0x77,             //      LD (HL),A
    0xCB, 0xFC,       //      SET 7,H
    0x77,             //      LD (HL),A
    0xCB, 0xBC,       //      RES 7,H
    0xD3, 0xFE,       //      OUT (FEh),A
    0x23,             //      INC HL
    0x7C,             //      LD A,H
    0xFE, 0x5B,       //      CP 5Bh
    0x20, 0xEF,       //      JR NZ,A003h
    0x18, 0xEA,       //      JR A000h
};
const uint8_t INTERRUPT[] = {
    0xF5,             // A3A3 PUSH AF
    0xC5,             //      PUSH BC
    0x3A, 0x00, 0xA4, //      LD A,(A400h)
    0x3C,             //      INC A
    0x32, 0x00, 0xA4, //      LD (A400h),A
    0xE6, 0x0F,       //      AND 0Fh
    0x01, 0xFD, 0x7F, //      LD BC,7FFDh
    0xED, 0x79,       //      OUT (C),A
    0xC1,             //      POP BC
    0xF1,             //      POP AF
    0xFB,             //      EI
    0xED, 0x4D,       //      RETI
};

void poke(Spectrum& m, uint16_t addr, uint8_t v) { m.SLTWR[addr >> 14][addr & 0x3FFF] = v; }

std::unique_ptr<Spectrum> busy_machine(int model) {
    auto m = std::make_unique<Spectrum>();
    m->model = model;
    m->tpf = m->tpf_for_model();
    for (size_t i = 0; i < sizeof m->RAM; i++) m->RAM[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
    for (size_t i = 0; i < sizeof MAIN_LOOP; i++)
        poke(*m, static_cast<uint16_t>(0xA000 + i), MAIN_LOOP[i]);
    for (size_t i = 0; i < sizeof INTERRUPT; i++)
        poke(*m, static_cast<uint16_t>(0xA3A3 + i), INTERRUPT[i]);
    poke(*m, 0xA1FF, 0xA3); // the vector at I * 256 + 0xFF: 0xA3A3
    poke(*m, 0xA200, 0xA3);
    poke(*m, 0xA400, 0); // the frame count
    m->z80.PC = 0xA000;
    m->z80.SP = 0xB000;
    m->z80.I = 0xA1;
    m->z80.IM = 2;
    m->z80.IFF1 = m->z80.IFF2 = 1;
    m->z80.AF = 0x1234;
    m->z80.BC = 0x5678;
    m->z80.DE = 0x9ABC;
    m->z80.AF_ = 0x1111;
    m->z80.BC_ = 0x2222;
    m->z80.DE_ = 0x3333;
    m->z80.HL_ = 0x4444;
    m->z80.IX = 0x5555;
    m->z80.IY = 0x6666;
    m->ay.selected = 7;
    for (int i = 0; i < 16; i++)
        m->ay.regs[i] = static_cast<uint8_t>((0x30 + i) & AY_REGISTER_MASK[i]);
    return m;
}

std::vector<uint8_t> surface_a(ULA_SURFACE_W*ULA_SURFACE_H * 4), surface_b(surface_a.size());

// One logical frame as the main loop runs it: the CPU to the frame's end, the speaker's
// samples, the picture, the frame counters.
void run_frame(Spectrum& m, uint8_t* samples, uint8_t* surface) {
    m.z80_run(m.tpf, INT32_MAX);
    m.beeper_frame_end(samples);
    m.rasterize_ULA(surface, SCREEN_COLOUR, true);
    m.end_logical_frame();
}

enum Unheld : unsigned {
    POSITION = 1,   // the T-state within the frame
    MEMPTR = 2,     // the CPU's hidden address register
    EI_WAIT = 4,    // an EI whose next instruction has not run
    SOUND_CHIP = 8, // the sound chip's registers
    PORT_FE = 32,   // of the last byte sent to port 0xFE, all but the border
    BELOW_SP = 16   // the two bytes under SP, where a 48K SNA keeps PC
};

// The state of `from` that the format cannot hold, put into `to`.
void carry_unheld(const Spectrum& from, Spectrum& to, unsigned unheld) {
    std::memcpy(to.RTFB, from.RTFB, sizeof to.RTFB);
    to.OUTSTK = from.OUTSTK;
    to.OUTAGE = from.OUTAGE;
    to.flashctr = from.flashctr;
    to.tstatesd = from.tstatesd;
    EXPECT_EQ((to.z80.R ^ from.z80.R) & 0x7F, 0) << "R, bits 0-6";
    EXPECT_EQ((to.z80.R7 ^ from.z80.R7) & 0x80, 0) << "R, bit 7";
    to.z80.R = from.z80.R;
    to.z80.R7 = from.z80.R7;
    // No format holds the sound chip's generators (tone and noise counters and phases, the
    // envelope's step) or the tail of its band-limited output: only its registers.
    {
        const auto regs = to.ay.regs;
        const uint8_t selected = to.ay.selected;
        to.ay = from.ay;
        to.ay.regs = regs;
        to.ay.selected = selected;
    }
    if (unheld & POSITION) to.tstates = from.tstates;
    if (unheld & MEMPTR) to.z80.MEMPTR = from.z80.MEMPTR;
    if (unheld & EI_WAIT) {
        to.z80.pending_EI = from.z80.pending_EI;
        to.z80.ei_tstates = from.z80.ei_tstates;
        to.z80.IFF1 = from.z80.IFF1;
    }
    if (unheld & PORT_FE) {
        EXPECT_EQ((to.port_fe ^ from.port_fe) & 7, 0) << "the border";
        to.port_fe = from.port_fe;
        to.OUTNEW = from.OUTNEW;
        to.OUTOLD = from.OUTOLD;
    }
    if (unheld & BELOW_SP)
        for (uint16_t addr : {uint16_t(from.z80.SP - 2), uint16_t(from.z80.SP - 1)})
            to.SLTWR[addr >> 14][addr & 0x3FFF] = from.readbyte_internal(addr);
    if (unheld & SOUND_CHIP) {
        to.ay.selected = from.ay.selected;
        to.ay.regs = from.ay.regs;
    }
}

// The machine state a program can see, compared.
void expect_same_state(const Spectrum& a, const Spectrum& b, const char* when) {
    SCOPED_TRACE(when);
    EXPECT_EQ(a.model, b.model);
    EXPECT_EQ(a.tpf, b.tpf);
    EXPECT_EQ(a.tstates, b.tstates);
    // A 48K file holds the three banks the 48K has.
    for (int bank = 0; bank < 8; bank++) {
        if (a.model == 48 && bank != 5 && bank != 2 && bank != 0) continue;
        EXPECT_EQ(std::memcmp(a.RAM + bank * 16384, b.RAM + bank * 16384, 16384), 0)
            << "RAM bank " << bank;
    }
    EXPECT_EQ(a.SLTPTR[3] - a.RAM, b.SLTPTR[3] - b.RAM) << "the bank at 0xC000";
    EXPECT_EQ(a.port_fe, b.port_fe);
    EXPECT_EQ(a.port_7ffd, b.port_7ffd);
    const Z80 &x = a.z80, &y = b.z80;
    for (auto [p, q, name] : {std::tuple{x.AF, y.AF, "AF"},
                              {x.BC, y.BC, "BC"},
                              {x.DE, y.DE, "DE"},
                              {x.HL, y.HL, "HL"},
                              {x.AF_, y.AF_, "AF'"},
                              {x.BC_, y.BC_, "BC'"},
                              {x.DE_, y.DE_, "DE'"},
                              {x.HL_, y.HL_, "HL'"},
                              {x.IX, y.IX, "IX"},
                              {x.IY, y.IY, "IY"},
                              {x.SP, y.SP, "SP"},
                              {x.PC, y.PC, "PC"},
                              {x.MEMPTR, y.MEMPTR, "MEMPTR"}})
        EXPECT_EQ(p, q) << name;
    EXPECT_EQ(x.I, y.I);
    EXPECT_EQ(x.IM, y.IM);
    EXPECT_EQ(x.IFF1, y.IFF1);
    EXPECT_EQ(x.IFF2, y.IFF2);
    EXPECT_EQ(x.pending_EI, y.pending_EI);
    EXPECT_EQ(x.halted, y.halted);
    EXPECT_EQ(a.ay.selected, b.ay.selected);
    EXPECT_EQ(a.ay.regs, b.ay.regs) << "sound chip registers";
    EXPECT_EQ(a.OUTNEW, b.OUTNEW);
    EXPECT_EQ(a.OUTOLD, b.OUTOLD);
}

struct RoundTrip {
    const char* name; // the file's name: its type picks the format
    int model;
    unsigned unheld;
    size_t size; // the file's size, 0 where it depends on the contents
};

class SnapshotRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(SnapshotRoundTrip, LoadedMachineShowsAndPlaysTheSameFor500Frames) {
    const RoundTrip& c = GetParam();
    TempDir dir;
    auto a = busy_machine(c.model);
    uint8_t samples_a[SAMPLES_PER_FRAME], samples_b[SAMPLES_PER_FRAME];
    // Ten frames, then into the eleventh: the save falls in the middle of the picture, with
    // (on the 128K) bank 3 at 0xC000 and the shadow screen on.
    for (int i = 0; i < 10; i++) run_frame(*a, samples_a, surface_a.data());
    a->z80_run(33333, INT32_MAX);
    ASSERT_GT(a->tstates, 33332);
    if (c.model == 128) {
        ASSERT_EQ(a->port_7ffd & 0x0F, 11);
    }

    const std::string path = (dir.path() / c.name).string();
    SnapshotFormat format;
    ASSERT_TRUE(snapshot_format_of(path, format));
    const std::string why = save_snapshot(*a, path, format);
    ASSERT_EQ(why, "");
    if (c.size) {
        EXPECT_EQ(std::filesystem::file_size(path), c.size);
    }

    auto b = std::make_unique<Spectrum>();
    const LoadResult loaded = load_speccy(*b, path);
    ASSERT_TRUE(loaded) << loaded.why;
    EXPECT_EQ(b->is_snapshot, 1);
    carry_unheld(*a, *b, c.unheld);
    expect_same_state(*a, *b, "after the load");

    int picture_differs = 0, sound_differs = 0, first = -1;
    size_t sound_changes = 0, border_changes = 0;
    uint8_t last_border = a->port_fe, last_paging = a->port_7ffd;
    int paging_changes = 0;
    for (int frame = 0; frame < FRAMES; frame++) {
        run_frame(*a, samples_a, surface_a.data());
        run_frame(*b, samples_b, surface_b.data());
        const bool picture = surface_a != surface_b;
        const bool sound = std::memcmp(samples_a, samples_b, sizeof samples_a) != 0;
        picture_differs += picture;
        sound_differs += sound;
        if ((picture || sound) && first < 0) first = frame;
        for (int i = 1; i < SAMPLES_PER_FRAME; i++)
            sound_changes += samples_a[i] != samples_a[i - 1];
        border_changes += (a->port_fe & 7) != (last_border & 7);
        last_border = a->port_fe;
        paging_changes += a->port_7ffd != last_paging;
        last_paging = a->port_7ffd;
    }
    EXPECT_EQ(picture_differs, 0) << "frames whose picture differs, the first " << first;
    EXPECT_EQ(sound_differs, 0) << "frames whose sound differs, the first " << first;
    expect_same_state(*a, *b, "after 500 frames");

    // The program was busy: the speaker, the border and (on the 128K) the paging moved.
    EXPECT_GT(sound_changes, 10000u);
    EXPECT_GT(border_changes, 100u);
    if (c.model == 128) {
        // Nearly every frame: the interrupt is missed when the frame's first instruction
        // starts after its 32 T-states.
        EXPECT_GT(paging_changes, FRAMES * 9 / 10);
    }
}

const RoundTrip ROUND_TRIPS[] = {
    {"busy48.szx", 48, 0, 0},
    {"busy128.szx", 128, 0, 0},
    {"busy48.z80", 48, MEMPTR | EI_WAIT | PORT_FE, 0},
    {"busy128.Z80", 128, MEMPTR | EI_WAIT | PORT_FE, 0},
    {"busy48.sna", 48, POSITION | MEMPTR | EI_WAIT | SOUND_CHIP | BELOW_SP, 49179},
    {"busy128.SNA", 128, POSITION | MEMPTR | EI_WAIT | SOUND_CHIP, 131103}};

std::string round_trip_name(const testing::TestParamInfo<RoundTrip>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (ch == '.') ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Formats, SnapshotRoundTrip, testing::ValuesIn(ROUND_TRIPS),
                         round_trip_name);

// Saved while the CPU waits in a HALT for the interrupt: the loaded machine takes the same
// interrupt at the same T-state and returns to the same place. Only SZX has a flag for the
// HALT; the others must hold PC so that the HALT runs again.
class SnapshotAtHalt : public testing::TestWithParam<RoundTrip> {};

TEST_P(SnapshotAtHalt, LoadedMachineResumesTheHaltAsTheOriginalDoes) {
    const RoundTrip& c = GetParam();
    TempDir dir;
    auto a = busy_machine(c.model);
    const uint8_t halt_loop[] = {0xFB, 0x76, 0x18, 0xFC}; // A000 EI; HALT; JR A000h
    for (size_t i = 0; i < sizeof halt_loop; i++)
        poke(*a, static_cast<uint16_t>(0xA000 + i), halt_loop[i]);
    uint8_t samples_a[SAMPLES_PER_FRAME], samples_b[SAMPLES_PER_FRAME];
    for (int i = 0; i < 3; i++) run_frame(*a, samples_a, surface_a.data());
    a->z80_run(33333, INT32_MAX);
    ASSERT_EQ(a->z80.halted, 1);

    const std::string path = (dir.path() / c.name).string();
    SnapshotFormat format;
    ASSERT_TRUE(snapshot_format_of(path, format));
    ASSERT_EQ(save_snapshot(*a, path, format), "");
    auto b = std::make_unique<Spectrum>();
    const LoadResult loaded = load_speccy(*b, path);
    ASSERT_TRUE(loaded) << loaded.why;
    carry_unheld(*a, *b, c.unheld);
    if (format == SnapshotFormat::SZX) {
        EXPECT_EQ(b->z80.halted, 1);
    }
    for (int frame = 0; frame < 20; frame++) {
        run_frame(*a, samples_a, surface_a.data());
        run_frame(*b, samples_b, surface_b.data());
        ASSERT_EQ(a->z80.PC, b->z80.PC) << "frame " << frame;
        ASSERT_EQ(a->tstates, b->tstates) << "frame " << frame;
        ASSERT_EQ(a->z80.R & 0x7F, b->z80.R & 0x7F) << "frame " << frame;
        ASSERT_EQ(a->readbyte_internal(0xA400), b->readbyte_internal(0xA400)) << "frame " << frame;
        ASSERT_TRUE(surface_a == surface_b) << "frame " << frame;
    }
    expect_same_state(*a, *b, "after 20 frames");
}

INSTANTIATE_TEST_SUITE_P(Formats, SnapshotAtHalt, testing::ValuesIn(ROUND_TRIPS), round_trip_name);

// Every snapshot format takes the tape out of the deck, as the load starts a new program.
TEST(SnapshotLoad, EveryFormatDetachesTheTape) {
    TempDir dir;
    dir.file("tape.tap", tap_block(0, {1, 2, 3}));
    const auto saved = busy_machine(128);
    for (SnapshotFormat format : {SnapshotFormat::SNA, SnapshotFormat::Z80, SnapshotFormat::SZX}) {
        const std::string path = (dir.path() / "game.").string() + snapshot_extension(format);
        ASSERT_EQ(save_snapshot(*saved, path, format), "");
        auto m = std::make_unique<Spectrum>();
        ASSERT_TRUE(load_speccy(*m, "tape.tap"));
        ASSERT_TRUE(m->tape_deck.attached());
        ASSERT_TRUE(load_speccy(*m, path)) << path;
        EXPECT_FALSE(m->tape_deck.attached()) << path;
        EXPECT_TRUE(m->tape.empty()) << path;
        EXPECT_EQ(m->is_tape, 0) << path;
    }
}

// A channel restores the whole machine it saved, whatever the machine was before: the
// model, the paging (bank 3 at 0xC000 and the shadow screen on the 128K), every bank, and
// what the frame in progress has gathered; both then run alike.
TEST(ChannelRoundTrip, RestoresTheWholeMachineWhateverItWasBefore) {
    uint8_t samples_a[SAMPLES_PER_FRAME], samples_b[SAMPLES_PER_FRAME];
    for (int model : {48, 128}) {
        SCOPED_TRACE(model);
        auto a = busy_machine(model);
        for (int i = 0; i < 10; i++) run_frame(*a, samples_a, surface_a.data());
        a->z80_run(33333, INT32_MAX);
        if (model == 128) {
            ASSERT_EQ(a->port_7ffd & 0x0F, 11);
        }
        // run_frame has no physical frames: their counter is put where the main loop keeps it.
        a->tstatesh = 1234;
        const std::vector<uint8_t> image = channel_image(*a);
        auto b = busy_machine(176 - model);
        for (int i = 0; i < 7; i++) run_frame(*b, samples_b, surface_b.data());
        b->z80_run(12345, INT32_MAX);
        ASSERT_TRUE(channel_usable(image));
        restore_channel(*b, image);
        expect_same_state(*a, *b, "after the restore");
        EXPECT_EQ(std::memcmp(a->RAM, b->RAM, sizeof a->RAM), 0);
        EXPECT_EQ(a->z80.R, b->z80.R);
        for (int frame = 0; frame < 5; frame++) {
            run_frame(*a, samples_a, surface_a.data());
            run_frame(*b, samples_b, surface_b.data());
            ASSERT_TRUE(surface_a == surface_b) << "frame " << frame;
            ASSERT_EQ(std::memcmp(samples_a, samples_b, sizeof samples_a), 0) << "frame " << frame;
            ASSERT_EQ(a->ay.noise_lfsr, b->ay.noise_lfsr) << "frame " << frame;
            ASSERT_EQ(a->ay.tone_count, b->ay.tone_count) << "frame " << frame;
            ASSERT_EQ(a->ay.env_step, b->ay.env_step) << "frame " << frame;
        }
        expect_same_state(*a, *b, "after 5 frames");

        // Files of the two older layouts load as they did: the machine keeps its model and
        // the bank at 0xC000.
        for (size_t size : {CHANNEL_FILE_SIZE, CHANNEL_FILE_SIZE_WITH_AY}) {
            auto c = busy_machine(176 - model);
            c->port_7ffd = 0x0E;
            c->map_slot3(6);
            const std::vector<uint8_t> old(image.begin(), image.begin() + size);
            ASSERT_TRUE(channel_usable(old)) << size;
            restore_channel(*c, old);
            EXPECT_EQ(c->model, 176 - model) << size;
            EXPECT_EQ(c->SLTPTR[3], c->RAM + 6 * 16384) << size;
            EXPECT_EQ(std::memcmp(&image[24], c->RAM, sizeof c->RAM), 0) << size;
        }
    }

    // A machine tail that is broken is no channel.
    const std::vector<uint8_t> good = channel_image(*busy_machine(128));
    const struct {
        size_t offset, size;
        uint32_t value;
    } broken[] = {
        {131180, 4, 0x4843414E}, // another tag
        {131184, 1, 3},          // a version not known
        {131185, 1, 64},         // no such model
        {138152, 1, 16},         // the envelope's step, an index
        {147049, 4, 7001},       // more speaker events than a frame holds
    };
    for (const auto& f : broken) {
        auto file = good;
        for (size_t i = 0; i < f.size; i++)
            file[f.offset + i] = static_cast<uint8_t>(f.value >> (8 * i));
        EXPECT_FALSE(channel_usable(file)) << "offset " << f.offset;
    }
}

// SNA of a 48K machine: PC goes onto the stack of the file, not of the machine; a stack
// whose two bytes would fall into the ROM cannot hold it, and the save says so.
TEST(SnapshotSave, Sna48PutsPcOnTheFileStackOnlyAndRefusesAStackInRom) {
    auto m = busy_machine(48);
    m->z80.PC = 0xBEEF;
    m->z80.SP = 0x8000;
    const uint8_t below[2] = {m->RAM[5 * 16384 + 0x3FFE], m->RAM[5 * 16384 + 0x3FFF]};
    const SnapshotImage image = sna_image(*m);
    ASSERT_TRUE(image) << image.why;
    ASSERT_EQ(image.bytes.size(), 49179u);
    EXPECT_EQ(image.bytes[23] | image.bytes[24] << 8, 0x7FFE) << "SP lowered by 2";
    EXPECT_EQ(image.bytes[27 + 0x7FFE - 0x4000], 0xEF);
    EXPECT_EQ(image.bytes[27 + 0x7FFF - 0x4000], 0xBE);
    EXPECT_EQ(m->z80.SP, 0x8000) << "the machine is not touched";
    EXPECT_EQ(m->RAM[5 * 16384 + 0x3FFE], below[0]);
    EXPECT_EQ(m->RAM[5 * 16384 + 0x3FFF], below[1]);

    // SP 0x0000 wraps to 0xFFFE, which is RAM.
    m->z80.SP = 0x0000;
    const SnapshotImage wrapped = sna_image(*m);
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped.bytes[27 + 0xFFFE - 0x4000], 0xEF);
    EXPECT_EQ(wrapped.bytes[27 + 0xFFFF - 0x4000], 0xBE);

    for (uint16_t sp : {0x0001, 0x0002, 0x3000, 0x4000, 0x4001}) {
        m->z80.SP = sp;
        const SnapshotImage refused = sna_image(*m);
        EXPECT_FALSE(refused) << "SP " << sp;
        EXPECT_NE(refused.why.find("ROM"), std::string::npos) << refused.why;
    }
    m->z80.SP = 0x4002;
    EXPECT_TRUE(sna_image(*m)) << "SP 0x4002 puts PC at 0x4000";

    // A refused save leaves the old file as it was.
    TempDir dir;
    const std::string path = (dir.path() / "keep.sna").string();
    write_file(path, {1, 2, 3});
    m->z80.SP = 0x2000;
    EXPECT_NE(save_snapshot(*m, path, SnapshotFormat::SNA), "");
    EXPECT_EQ(read_file(path), (std::vector<uint8_t>{1, 2, 3}));
}

// A 128K machine with bank 2 or 5 at 0xC000: the format holds that bank twice.
TEST(SnapshotSave, Sna128WithBank5PagedHoldsSixMoreBanks) {
    auto m = busy_machine(128);
    m->port_7ffd = 0x05;
    m->map_slot3(5);
    const SnapshotImage image = sna_image(*m);
    ASSERT_EQ(image.bytes.size(), 147487u);
    EXPECT_EQ(image.bytes[49181], 0x05);
    // After the header: banks 5, 2, 5 (paged), then 0, 1, 3, 4, 6, 7.
    EXPECT_EQ(std::memcmp(&image.bytes[27 + 2 * 16384], m->RAM + 5 * 16384, 16384), 0);
    EXPECT_EQ(std::memcmp(&image.bytes[49183 + 2 * 16384], m->RAM + 3 * 16384, 16384), 0);
    EXPECT_EQ(std::memcmp(&image.bytes[49183 + 5 * 16384], m->RAM + 7 * 16384, 16384), 0);
}

} // namespace

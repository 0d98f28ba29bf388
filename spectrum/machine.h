// The ZX Spectrum: one object holding the whole emulated state (CPU record, memory and
// slots, port latches, the ULA's raster capture and speaker events, the time base, the key
// rows, the attached tape), and the bus the Z80 runs over.
//
// A machine is a value: a copy is a complete, independent machine (the slot tables are
// rebased onto the copy's own memory), assigning Spectrum{} is a power-on, and two machines
// are equal when their hardware record (SpectrumHardware) is.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "spectrum/ay.h"
#include "spectrum/bytes.h"
#include "spectrum/capture.h"
#include "spectrum/contention.h"
#include "spectrum/events.h"
#include "spectrum/shared.h"
#include "spectrum/tapedeck.h"
#include "spectrum/ula_timing.h"
#include "z80/model.h"
#include "z80/z80.h"

// Model and time base. A logical frame is tpf T-states of the emulated machine, a physical
// frame tpfh T-states: six physical frames last exactly as long as five 48K logical frames.
constexpr int32_t TPF_48 = ULA_48.frame();
constexpr int32_t TPF_128 = ULA_128.frame();
constexpr uint32_t CLOCK_HZ_128 = ULA_128.clock_hz;
constexpr int32_t TPFH = 58240;

// The last T-state of the frame at which the 48K ULA's interrupt line is still active.
constexpr int32_t INTERRUPT_END = ULA_48.interrupt_end;

// A ROM image: 16 KiB. A ROM set holds one (the 48K's) or two (the 128K's ROM 0, then ROM 1).
constexpr size_t ROM_SIZE = 16384;

// Speaker events a logical frame can hold.
constexpr int OUTSTK_SIZE = 7000;

// Border colour changes a logical frame can hold: an OUT every 11 T-states makes 6354.
constexpr int BORDER_EVENTS_SIZE = 8192;

// The beam (48K): the top-left pixel of the 352 x 288 picture is drawn 48 pixels and 48
// lines before the paper's first pixel, two pixels a T-state. The ULA takes the border
// colour for 8 pixels (4 T-states) at a time. ULA_128 has the 128K's.
constexpr int32_t PICTURE_TOP_LEFT_T = ULA_48.picture_top_left();
constexpr int32_t LINE_TSTATES = ULA_48.line;

// The beeper's samples: 960 a logical frame, 48 kHz at 50 frames a second.
constexpr int AUDIO_RATE = 48000;
constexpr int SAMPLES_PER_FRAME = 960;

// The picture surfaces the rasteriser paints: 512 x 512 pixels of 4 bytes (blue, green,
// red, alpha), rows packed top to bottom. The machine's 352 x 288 picture lies at columns
// 80-431, rows 112-399; the 256 x 192 paper at columns 128-383, rows 160-351.
constexpr int ULA_SURFACE_W = 512;
constexpr int ULA_SURFACE_H = 512;

// The 16-colour palette, indexed by 8 * BRIGHT + colour.
extern const uint8_t RED[16];
extern const uint8_t GRN[16];
extern const uint8_t BLU[16];

// Screen-line start addresses: ulay[y] is the Spectrum address of pixel line y's first byte.
extern const std::array<uint16_t, 192> ulay;

// The colour modes of the rasteriser.
enum ScreenMode : int32_t { SCREEN_COLOUR = 0, SCREEN_MELBOURNE = 1, SCREEN_INVERSE_INK = 2 };

// What a picture surface was last painted from, kept beside it by its owner: a border or a
// paper line whose inputs are the same again is not painted again (the picture changes
// little from frame to frame, and a frame is painted for every logical frame). Valid only
// while nothing but the rasteriser writes the surface's colours; a default one paints all.
struct PaintedFrom {
    static constexpr int KEY = 67; // bitmap, attributes, left border, FLASH, border painted
    int32_t mode = -1;
    bool border_valid = false;
    uint8_t border = 0;
    bool line_valid[192] = {};
    uint8_t line[192][KEY];
};

// The emulated hardware, whole: what a channel, a rewind step or a run-ahead copy holds,
// and what two machines are compared by. No pointer lives here (the slot tables are caches
// made from the latches), and no setting, host-facing queue or immutable image: those sit
// beside it in Spectrum.
struct SpectrumHardware {
    // RAM: eight 16 KiB banks, bank n at n * 0x4000. The 48K has banks 5, 2 and 0 at
    // 0x4000, 0x8000 and 0xC000; the 128K pages any bank at 0xC000.
    ByteBlock<131072> RAM = {};

    // The port latches. The ULA's (0xFE): border colour (bits 0-2), MIC (3), speaker (4).
    // The 128K's paging register (0x7FFD, decoded by A15 and A1 low): the bank at 0xC000
    // (bits 0-2), the screen bank 7 rather than 5 (bit 3), ROM 1 rather than ROM 0 (bit 4),
    // and the lock that ignores every later write until a reset (bit 5).
    uint8_t port_fe = 0;
    uint8_t port_7ffd = 0;

    // The CPU.
    Z80 z80 = {};
    int32_t tstatesd = 0; // T-states the last step took

    // Model and time base.
    int32_t model = 48;     // 48 or 128 (the +2 is a 128K with other ROMs)
    int32_t tpf = TPF_48;   // T-states per logical frame
    int32_t tpfh = TPFH;    // T-states per physical frame (never changes)
    int32_t tstates = 0;    // position within the logical frame
    int32_t tstatesh = 0;   // T-states toward the next physical frame end
    int32_t pulldown = 0;   // 0..4, logical frame within the 5:6 cycle (audio slot)
    int32_t IFBCLK = 0;     // 0..5, physical frame within the 5:6 cycle (blend weights)
    uint8_t IFB_buffer = 2; // 0..2, the picture surface the next logical frame paints
    int32_t flashctr = 0;   // logical frames; bit 4 is the FLASH phase

    // The screen as the beam fetched it during the current logical frame: 6144 bitmap bytes
    // (offset = address - 0x4000) then 768 attribute bytes.
    ByteBlock<6912> RTFB = {};

    // Speaker events of the current logical frame: the tstates of each change of bit 4
    // (their count, OUTSP, is OUTSTK.size()).
    FrameEvents<int32_t, OUTSTK_SIZE> OUTSTK;
    uint8_t OUTNEW = 0; // level implied by the latest ULA write (0x00 or 0xFF)
    uint8_t OUTOLD = 0; // level last recorded in OUTSTK
    uint8_t OUTAGE = 0; // speaker level of the sample conversion (0x00 or 0xFF)

    // Border colour changes of the current logical frame, in order, each with the T-state
    // of its write and the colours before and after (a write that keeps the colour is not
    // one); those from past the frame's end carry into the next. exact_border paints the
    // border from them instead of in the colour of the frame's end.
    struct BorderEvent {
        int32_t t;
        uint8_t before, after;
        bool operator==(const BorderEvent&) const = default;
    };
    FrameEvents<BorderEvent, BORDER_EVENTS_SIZE> BORDER_EVENTS;

    // The keys held, by half-row (A8..A15): bit n set when the key of column n is down.
    uint8_t key_rows[8] = {};

    // The AY-3-8912 at ports 0xFFFD (select, read) and 0xBFFD (write): the 128K has one,
    // the 48K only with an add-on sound interface fitted (ay_on_48).
    AyChip ay;
    bool ay_on_48 = false;
    // The Kempston joystick at port 0x1F: bit 0 right, 1 left, 2 down, 3 up, 4 fire.
    uint8_t kempston = 0;

    // The tape: where the load trap reads the image next, whether one is attached, the
    // deck's position and signal (its blocks shared with every copy), the ROM's bytes under
    // the loader patch, and the signal's level at the end of the last mixed frame.
    size_t tape_pos = 0;
    uint8_t is_tape = 0;
    TapeDeck tape_deck;
    uint8_t rom_patched[3] = {};
    uint8_t audio_tape_level = 0;
    // The save trap's wait for the keys to be let go (absolute T-states of its start and of
    // its last turn, 0 when not waiting).
    uint64_t save_wait_from = 0, save_wait_seen = 0;

    bool operator==(const SpectrumHardware&) const = default;
};

// Beside the hardware: the settings, what the machine hands to the interface, and the
// attached tape image. A copy of a machine copies them; they are no part of its state.
struct SpectrumBeside {
    // Settings, kept through resets and loads and not part of a channel: the CPU the machine
    // runs (z80/model.h); the border painted from its changes; with tape_traps (the default)
    // the ROM's loader takes a standard-speed block at once (any other block, and every
    // block without it, is played to whatever reads the EAR bit); with tape_saves the ROM's
    // save routine hands each block, as a TAP record (length, flag, data, checksum), to
    // saved_blocks for the interface to write instead of playing it to the MIC output.
    CpuModel cpu_model = CpuModel::standard;
    uint8_t exact_border = 0;
    uint8_t tape_traps = 1;
    uint8_t tape_saves = 0;

    // For the interface: the blocks SAVE made, and whether the last file loaded was a
    // snapshot.
    std::vector<std::vector<uint8_t>> saved_blocks;
    uint8_t is_snapshot = 0;
    // The header block of a SAVE, held back until its data block follows, and when it was
    // saved; set when a block too long for a TAP record was refused (the interface says so
    // and clears it).
    std::vector<uint8_t> save_header;
    uint64_t save_header_at = 0;
    uint8_t save_refused = 0;

    // The attached tape image, whole, shared by every copy of the machine.
    SharedVector<uint8_t> tape;

    // The ROM set, ROM_SIZE bytes an image: the 48K's one, or the 128K's ROM 0 then ROM 1.
    // Shared by every copy; the tape trap's patch makes a new set. Empty: a ROM of zeros.
    SharedVector<uint8_t> ROMS;
    // The image's CRC-32, which every channel (a rewind step too) names its tape by, worked
    // out once per image: a share of the image it belongs to is kept with it, so another
    // image never takes that one's place (and its address) unnoticed.
    mutable SharedVector<uint8_t> tape_crc_of;
    mutable uint32_t tape_crc = 0;
};

class Spectrum : public SpectrumHardware, public SpectrumBeside {
  public:
    Spectrum();
    Spectrum(const Spectrum& other);
    Spectrum& operator=(const Spectrum& other);
    // Two machines are equal when their hardware is: the settings, queues and images beside
    // it are not the machine's state.
    bool operator==(const Spectrum& other) const { return hardware() == other.hardware(); }
    SpectrumHardware& hardware() { return *this; }
    const SpectrumHardware& hardware() const { return *this; }

    // --- Beside the hardware ------------------------------------------------------------
    // Memory as the CPU reaches it. Slot n of the Z80 address space (address >> 14) is read
    // through SLTPTR[n] and written through SLTWR[n]. Slot 0 reads a ROM image and writes
    // into ROM_SINK, a scratch page nobody reads (each machine its own, never copied), so a
    // ROM write costs its T-states and changes nothing without a test on the write path.
    // Slots 1 to 3 read and write the same RAM bank. The tables are caches of the latches,
    // remade for a copy; a test may point a slot at a page of its own, which a copy keeps.
    std::unique_ptr<uint8_t[]> ROM_SINK{new uint8_t[16384]};
    uint8_t* SLTPTR[4] = {};
    uint8_t* SLTWR[4] = {};
    // The same slots as the CPU's bus reaches them: each the address of its page less the
    // slot's start, so that the byte at Z80 address a lies at SLTRD_AT[a >> 14] + a (an add
    // where SLTPTR takes a mask and an add). Remade from SLTPTR and SLTWR by slots_changed(),
    // which whatever changes those calls.
    uintptr_t SLTRD_AT[4] = {};
    uintptr_t SLTWR_AT[4] = {};

    // The 128K's caches of the latches, remade by slots_changed(): bit n set when slot n
    // holds a contended bank (1, 3, 5 or 7), and where the bank the ULA shows begins.
    uint8_t CONTENDED_SLOTS = 0x02;
    uintptr_t SCREEN_AT = 0;

    // Points slot 3 (0xC000-0xFFFF) at RAM bank (bank & 7) for reading and writing, and
    // slot 0 at the ROM the model and the paging register select.
    void map_slot3(int bank);
    // Remakes SLTRD_AT, SLTWR_AT and the 128K's caches after the slots or paging changed.
    void slots_changed() {
        for (unsigned slot = 0; slot < 4; slot++) {
            SLTRD_AT[slot] = reinterpret_cast<uintptr_t>(SLTPTR[slot]) - slot * 0x4000;
            SLTWR_AT[slot] = reinterpret_cast<uintptr_t>(SLTWR[slot]) - slot * 0x4000;
        }
        CONTENDED_SLOTS = static_cast<uint8_t>(0x02 | ((port_7ffd & 1) << 3));
        SCREEN_AT = reinterpret_cast<uintptr_t>(screen_bank());
    }
    // tpf for the current model.
    int32_t tpf_for_model() const { return model == 48 ? TPF_48 : TPF_128; }
    // The model's ULA timings.
    const UlaTiming& timing() const { return model == 48 ? ULA_48 : ULA_128; }

    // --- ROMs ---------------------------------------------------------------------------
    // A power-on as `model` (48 or 128) with the ROM set `roms` (ROM_SIZE bytes for the 48K,
    // twice that for the 128K; a set of one ROM on the 128K sits in both positions). The
    // settings beside the hardware stay; the tape is taken out.
    void power_on(int model_, std::vector<uint8_t> roms);
    // Installs a ROM set without a reset: slot 0 shows what the paging selects from it.
    void install_roms(std::vector<uint8_t> roms) {
        ROMS = std::move(roms);
        SLTPTR[0] = const_cast<uint8_t*>(rom_page(paged_rom()));
        slots_changed();
    }
    // How many ROM images the set holds (at least one: zeros when none was installed).
    int rom_count() const { return ROMS.size() >= 2 * ROM_SIZE ? 2 : 1; }
    // ROM image n (n past the set's last: its last).
    const uint8_t* rom_page(int n) const;
    // The image that holds the 48K BASIC and its tape loader: the 48K's only ROM, the 128K's
    // ROM 1.
    const uint8_t* basic_rom() const { return rom_page(rom_count() - 1); }
    // The ROM slot 0 shows: on the 128K, bit 4 of the paging register picks it; the 48K (or
    // a 128K snapshot run in a 48K session's set) has the 48K BASIC.
    int paged_rom() const { return model == 48 ? rom_count() - 1 : (port_7ffd >> 4) & 1; }
    // Changes one byte of ROM image n (a new set: the old one may be shared). For tests, and
    // the tape trap's patch.
    void poke_rom(int n, uint16_t addr, const uint8_t* bytes, size_t count);
    void poke_rom(int n, uint16_t addr, uint8_t value) { poke_rom(n, addr, &value, 1); }
    // Whether the sound chip answers its ports.
    bool ay_present() const { return model == 128 || ay_on_48; }

    // --- Memory -------------------------------------------------------------------------
    Z80_INLINE uint8_t readbyte_internal(uint16_t addr) const {
        return SLTPTR[addr >> 14][addr & 0x3FFF];
    }
    // Timed read and write on tstates: contention, 3 T-states, the access.
    uint8_t readbyte(uint16_t addr) { return read(tstates, addr); }
    void writebyte(uint16_t addr, uint8_t value) { write(tstates, addr, value); }

    // --- Ports --------------------------------------------------------------------------
    // Full timed port cycles (4 T-states plus contention). writeport leaves MEMPTR = BC + 1.
    uint8_t readport(uint16_t port) { return in(tstates, port); }
    void writeport(uint16_t port, uint8_t value);
    // Untimed decode of a port read or write, at tstates.
    uint8_t readport_internal(uint16_t port);
    void writeport_internal(uint16_t port, uint8_t value);
    // The floating bus: the byte the ULA is fetching at tstates, else 0xFF.
    uint8_t unattached() const;
    // The RAM bank the ULA shows (5, or 7 when bit 3 of the paging register is set).
    const uint8_t* screen_bank() const { return RAM + ((port_7ffd & 0x08) ? 7 : 5) * 0x4000; }
    // A write to the 128K's paging register at tstates (ignored once bit 5 has locked it).
    // A change of screen shows from the next byte the beam fetches.
    void write_7ffd(uint8_t value);
    // The matrix read of an even-port IN: value with the bits of the held keys of every
    // half-row selected by a 0 on A8..A15 cleared.
    uint8_t keyboard_matrix_read(uint16_t port, uint8_t value) const;

    // --- CPU ----------------------------------------------------------------------------
    // One CPU step, as one pass of the main loop runs it: accept the frame interrupt if due,
    // execute one instruction, complete a pending EI, add the step's T-states to tstatesh.
    void z80_step();
    // Runs steps while tstates < tstates_limit and tstatesh < tstatesh_limit. Exactly the
    // same as calling z80_step() in a loop with those two tests before each step, only
    // faster.
    void z80_run(int32_t tstates_limit, int32_t tstatesh_limit);
    // Accepts a maskable interrupt (pushes PC, jumps by IM).
    void Z80INT();
    // The Zilog NMOS model's instantiation of the run (a source file of its own, since each
    // instantiation of the step takes a minute to compile), and the 128K's bus, each model
    // (step_128.cpp, step_128_zilog.cpp).
    int32_t z80_run_zilog(int32_t limit);
    int32_t z80_run_128(int32_t limit);
    int32_t z80_run_128_zilog(int32_t limit);
    void z80_interrupt_128();

    // What a run does around the steps, over whichever bus `run` steps (this machine, or a
    // test's wrapper of it): run(limit) runs the CPU up to tstates `limit` and returns the
    // tstates its last step began at.
    template <class Run> void run_steps(int32_t tstates_limit, int32_t tstatesh_limit, Run run) {
        // tstates and tstatesh advance together within a run, so one limit serves both.
        const int64_t offset = static_cast<int64_t>(tstatesh) - tstates;
        const int64_t limit = std::min<int64_t>(tstates_limit, tstatesh_limit - offset);
        if (tstates >= limit) return;
        slots_changed(); // for whoever has set SLTPTR or SLTWR by hand
        const int32_t t0 = run(static_cast<int32_t>(limit));
        tstatesd = tstates - t0;
        tstatesh = static_cast<int32_t>(tstates + offset);
    }

    // Resets the CPU, the frame counters and the 128K's paging (not memory): the machine's
    // part of a reset.
    void reset_logical_system();

    // --- Frame ends ---------------------------------------------------------------------
    // The beeper: this frame's speaker events become the 960 samples at `slot` (unsigned
    // 8-bit, 0x00 or 0xFF); the events are emptied.
    void beeper_frame_end(uint8_t* slot);
    // The sound chip's part of the frame: SAMPLES_PER_FRAME samples of each side (see
    // AyChip::end_frame); silence when the machine has no chip.
    void ay_frame_end(float* left, float* right);
    // Paints the logical frame into `surface` (ULA_SURFACE_W x ULA_SURFACE_H) and reloads
    // RTFB. Without `paint_border` the border keeps what the surface had. With `painted`
    // (what this surface was last painted from, updated here) only what changed is painted.
    void rasterize_ULA(uint8_t* surface, int32_t screen_mode, bool paint_border,
                       PaintedFrom* painted = nullptr);
    // The border colour the beam draws at T-state t of the current logical frame.
    uint8_t border_colour_at(int32_t t) const;
    // The machine's part of a logical frame end, after the beeper and the picture: the
    // overshoot carried, pulldown and flashctr advanced, the border changes of the frame
    // dropped.
    void end_logical_frame();
    // The machine's part of a physical frame end: IFBCLK, tstatesh, IFB_buffer.
    void end_physical_frame();

    // --- Tape ---------------------------------------------------------------------------
    // Attaches a TAP image (the ROM's block loader is patched to take a standard block at a
    // time) or, with an empty image, a tape with no blocks.
    void attach_tape(std::vector<uint8_t> image);
    // Attaches a TZX (or any) image as the blocks a parser made of it; a standard block's
    // record lies in `image` at its record_offset for the load trap.
    void attach_tape_blocks(std::vector<uint8_t> image, std::vector<TapeBlock> blocks);
    void detach_tape();
    // Adds TAP records (the blocks SAVE made) to the end of the attached TAP image and its
    // deck, which can then play or load them.
    void append_tape_records(const std::vector<uint8_t>& records);
    // The deck's keys: play and stop at the current T-state; rewind to the first block.
    void tape_play() {
        tape_deck.cpu_hz = timing().clock_hz;
        tape_deck.play(tape_now());
    }
    void tape_stop() { tape_deck.stop(); }
    void tape_rewind() { tape_deck.rewind(); }
    // The absolute T-state of the deck's clock now.
    uint64_t tape_now() const { return tape_deck.frame_base + static_cast<uint64_t>(tstates); }
    // The EAR bit of a ULA read at tstates put into `value` while a tape is attached (a
    // read also starts the tape when a program polls it in a tight loop).
    uint8_t tape_ear(uint8_t value);
    // The deck's part of a logical frame end (before tstates loses tpf): the signal played
    // up to the frame's end; a tape that started itself stops when no loader has listened
    // (read the EAR bit in a tight loop) for TAPE_IDLE_STOP T-states, one started by hand
    // plays on. With `slot`, the frame's edges are mixed into its 960 beeper samples.
    void tape_frame_end(uint8_t* slot);
    static constexpr uint64_t TAPE_IDLE_STOP = 3 * 3500000ull;
    // The tape block transfer used by the load trap: reads the TAP record at tape_pos and
    // stores its data bytes at IX with timed writes, DE at most. False when the record
    // holds fewer than DE data bytes and the checksum (the real loader would time out).
    bool PatchZ80();
    // Called when the ROM's block loader and block saver reach their hook points. True: the
    // trap did the instruction's work (it is not run); false: the instruction runs as usual.
    // They act only while the ROM holding the loader (basic_rom()) is paged in.
    bool tape_load_trap();
    bool tape_save_trap();
    // Pops the address on the stack into PC, with timed reads: the block loader's caller,
    // or the saver's SA/LD-RET.
    void return_from_trap();
    // Whether slot 0 shows the ROM that holds the tape loader and saver.
    bool loader_paged() const;
    // Puts three bytes at the loader's entry in the ROM that holds it (a new ROM set).
    void patch_loader(const uint8_t* bytes);

    // --- The bus the Z80 runs over ------------------------------------------------------
    Z80_INLINE uint8_t fetch(int32_t& t, uint16_t addr) {
        if (is_contended(addr)) t += contention_at(t);
        t += 4;
        return *reinterpret_cast<const uint8_t*>(SLTRD_AT[addr >> 14] + addr);
    }
    Z80_INLINE uint8_t read(int32_t& t, uint16_t addr) {
        if (is_contended(addr)) t += contention_at(t);
        t += 3;
        return *reinterpret_cast<const uint8_t*>(SLTRD_AT[addr >> 14] + addr);
    }
    Z80_INLINE void write(int32_t& t, uint16_t addr, uint8_t value) {
        if (is_contended(addr)) t += contention_at(t);
        t += 3;
        *reinterpret_cast<uint8_t*>(SLTWR_AT[addr >> 14] + addr) = value;
        raster_capture(RTFB, addr, value, t);
    }
    Z80_INLINE void internal(int32_t& t, uint16_t addr, int n) {
        t += is_contended(addr) ? contended_cycles(t, n) : n;
    }
    // The decode looks at tstates (the floating bus), so it is brought up to date first.
    Z80_INLINE uint8_t in(int32_t& t, uint16_t port) {
        port_early(t, port);
        port_late(t, port);
        tstates = t;
        const uint8_t value = readport_internal(port);
        t += 1;
        return value;
    }
    // The write happens after the first T-state, which is the time stamp of a speaker event.
    Z80_INLINE void out(int32_t& t, uint16_t port, uint8_t value) {
        port_early(t, port);
        tstates = t;
        writeport_internal(port, value);
        port_late(t, port);
        t += 1;
    }
    static constexpr int32_t interrupt_end() { return INTERRUPT_END; }
    // The ROM's block saver (EX AF,AF' at 0x04D0 or 0x0076) and block loader (RET NZ at
    // 0x056B or 0x0111) hook points, recognised by PC after the opcode fetch.
    static constexpr bool hook_opcode(uint8_t op) { return op == 0x08 || op == 0xC0; }
    Z80_INLINE static bool hook_at(uint8_t op, uint16_t pc) {
        return op == 0x08 ? pc == 0x04D1 || pc == 0x0077 : pc == 0x056C || pc == 0x0112;
    }
    bool fetch_hook(uint8_t op);

    // The timing of an I/O cycle (C = contention step):
    //   port                         pattern        value formed / write done
    //   high 0x40-0x7F, bit 0 = 0    C 1, C 3       read after C 1, C 2; write after C 1
    //   high 0x40-0x7F, bit 0 = 1    C 1, C 1, C 1, C 1
    //                                               read after C 1, C 1, C 1, C; write after C 1
    //   other high,     bit 0 = 0    1, C 3         read after 1, C 2; write after 1
    //   other high,     bit 0 = 1    4              read after 3; write after 1
    Z80_INLINE static void port_contention_step(int32_t& t) { t += contention_at(t); }
    Z80_INLINE static void port_early(int32_t& t, uint16_t port) {
        if (is_contended(port)) port_contention_step(t);
        t += 1;
    }
    Z80_INLINE static void port_late(int32_t& t, uint16_t port) {
        if (!(port & 1)) {
            port_contention_step(t);
            t += 2;
        } else if (is_contended(port)) {
            port_contention_step(t);
            t += 1;
            port_contention_step(t);
            t += 1;
            port_contention_step(t);
        } else {
            t += 2;
        }
    }

  private:
    void rebase_slots(const Spectrum& from);
    uint8_t* rebased(uint8_t* p, const Spectrum& from);
};

// The tape deck: a tape image as a list of blocks, played as a stream of pulses timed in
// T-states of the 3.5 MHz clock. The EAR bit of a ULA read is the deck's level at the
// T-state of the read.
//
// Time is counted absolutely: `frame_base` is the absolute T-state at which the current
// logical frame began (the machine adds tpf at every frame end, when it takes tpf off
// tstates), so frame_base + tstates is a clock that never steps back, whatever the model.
//
// A signal block plays, in order: `pilot_count` pulses of `pilot_len`, the explicit
// `pulses`, the data bits (most significant first, two pulses of `zero_len` or `one_len`
// per bit, `last_bits` used bits of the last byte), and a pause. Every pulse begins with an
// edge unless its level mode says otherwise. A pause of n ms after a block that played
// pulses ends the last pulse with an edge, holds that level 1 ms, then holds the level low
// for the rest; a pause of 0 leaves the level as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "spectrum/shared.h"

// T-states of the tape's clock per millisecond, and per second: a tape image's timings
// are T-states of the 48K's 3.5 MHz clock, which a machine with another clock (the
// 128K's 3.5469 MHz) plays in proportion, as a recorder plays the same tape in real time.
constexpr uint32_t TAPE_TSTATES_PER_MS = 3500;
constexpr uint32_t TAPE_CLOCK_HZ = 3500000;

// A pulse of an explicit list: the length in T-states (bits 0-29) and how its start sets
// the level (bits 30-31).
enum PulseLevel : uint32_t {
    PULSE_EDGE = 0u << 30, // the level changes
    PULSE_KEEP = 1u << 30, // the level stays
    PULSE_LOW = 2u << 30,  // the level is forced low
    PULSE_HIGH = 3u << 30, // the level is forced high
};
constexpr uint32_t PULSE_LENGTH_MASK = (1u << 30) - 1;

struct TapeBlock {
    enum Kind : uint8_t {
        SIGNAL,     // pulses, as above
        PAUSE,      // `pause_ms` of silence (the TZX pause block; 0 stops the tape)
        STOP,       // stops the tape; `message` says why when it is not the tape's own stop
        STOP_48K,   // stops the tape on a 48K machine
        JUMP,       // to the block `value` blocks on (negative: back)
        LOOP_START, // repeat the blocks up to LOOP_END `value` times
        LOOP_END,
        CALL,      // play the blocks at the relative offsets `calls` in turn, then go on
        RETURN,    // back from a called block
        SET_LEVEL, // the level becomes `value` (0 low, 1 high)
        INFO,      // nothing to play: text, groups, archive information
    };
    Kind kind = INFO;
    uint8_t id = 0;         // the TZX block ID (0x10 for a TAP block)
    size_t file_offset = 0; // where the block starts in the image

    // SIGNAL
    uint32_t pilot_len = 0, pilot_count = 0;
    std::vector<uint32_t> pulses; // PulseLevel | length
    uint32_t zero_len = 0, one_len = 0;
    std::vector<uint8_t> data;
    uint8_t last_bits = 8;
    uint32_t pause_ms = 0;
    // A standard-speed data block the ROM's loader takes at once: its 2-byte length field
    // lies at `record_offset` in the image, followed by the flag, data and checksum.
    bool standard = false;
    size_t record_offset = 0;

    int32_t value = 0;
    std::vector<int32_t> calls;
    std::string message;

    bool operator==(const TapeBlock&) const = default;
};

// What the blocks of one tape may take in memory besides the bytes of the image they copy:
// the blocks themselves and the pulses and calls they hold. A tape of a few kilobytes may
// expand a hundredfold (a generalized data symbol repeated, a compressed CSW stream), or be
// nothing but blocks of one byte. The readers refuse the block that would pass the bound:
// the list ends with a stop whose message names it (" TAPE BLOCK 19 AT 57 TOO LARGE "), and
// the blocks before it play. 64 MiB is over an hour of signal held as pulses.
constexpr size_t MOST_TAPE_MEMORY = size_t{64} << 20;

// The memory `blocks` take in MOST_TAPE_MEMORY's sense.
size_t tape_memory(const std::vector<TapeBlock>& blocks);

// What happened to the deck since it was last asked: the interface shows it.
enum class TapeEvent : uint8_t { NONE, PLAY, STOP, END, FAULT };

// The ROM's standard-speed block, as its saver writes it and its loader times it, in
// T-states: a pilot tone (8063 pulses before a header, whose flag byte is below 128; 3223
// before data), two sync pulses, two pulses a bit, and the pause after the block.
constexpr uint32_t STANDARD_PILOT_PULSE = 2168;
constexpr uint32_t STANDARD_HEADER_PILOTS = 8063, STANDARD_DATA_PILOTS = 3223;
constexpr uint32_t STANDARD_SYNC1 = 667, STANDARD_SYNC2 = 735;
constexpr uint32_t STANDARD_ZERO_PULSE = 855, STANDARD_ONE_PULSE = 1710;
constexpr uint32_t STANDARD_PAUSE_MS = 1000;

// The standard-speed block that plays `bytes` (flag, data, checksum: a TAP record without
// its length) and then `pause_ms` of silence; its record starts at `record_offset` in the
// image, so that the load trap can take it at once.
TapeBlock standard_block(std::vector<uint8_t> bytes, uint32_t pause_ms, size_t record_offset);

// The blocks of a TAP image: each record (2-byte length, then that many bytes) is a
// standard-speed block with a pause of STANDARD_PAUSE_MS. A record the image ends inside
// keeps what there is. A record past MOST_TAPE_MEMORY's bound becomes a stop with the
// message that says so.
std::vector<TapeBlock> tap_blocks_of(const std::vector<uint8_t>& image);

class TapeDeck {
  public:
    SharedVector<TapeBlock> blocks; // shared by every copy of the machine
    bool playing = false;
    bool by_hand = false;            // started by the user (F11), not by a loader: no idle stop
    bool machine_48k = true;         // for the stop-if-48K block
    uint32_t cpu_hz = TAPE_CLOCK_HZ; // the machine's clock: pulses are scaled to it
    bool record_edges = false;       // keep this frame's edges (for the sound)
    uint8_t level = 0;               // the EAR level: 0 low, 1 high
    uint64_t frame_base = 0;         // the absolute T-state of the current frame's start
    uint64_t next_edge = 0;          // the absolute T-state at which the current pulse ends
    uint64_t last_read = 0;          // the last EAR read while attached
    uint32_t poll_run = 0;           // reads in a row less than POLL_GAP apart
    uint64_t last_listen = 0;        // the last read of a run of LISTEN_RUN (a loader listening)
    TapeEvent event = TapeEvent::NONE;
    std::string fault; // the message of the last FAULT

    // The edges of the current frame, in T-states from its start, with the level after
    // each, when `record_edges` is set.
    std::vector<int32_t> edge_times;
    std::vector<uint8_t> edge_levels;
    static constexpr size_t MOST_EDGES = 100000; // a frame's edges kept, at most

    // Position: the block, the phase within it and the count within the phase.
    size_t index = 0;
    uint8_t phase = 0;
    uint32_t count = 0;

    bool operator==(const TapeDeck&) const = default;

    // Every field of the deck's state but its blocks, in a fixed order: f is called on each
    // (a channel saves and restores the deck through this). check_state() says whether a
    // state so restored is one the deck can run on its `block_count` blocks.
    template <class F> void each_state_field(F&& f) { state_fields(*this, f); }
    template <class F> void each_state_field(F&& f) const { state_fields(*this, f); }
    bool check_state(size_t block_count) const;

    bool attached() const { return !blocks.empty(); }
    bool at_end() const { return index >= blocks.size(); }

    // Puts a new list of blocks in and rewinds.
    void load(std::vector<TapeBlock> list);
    // Back to the first block, stopped, level low.
    void rewind();
    // Starts playing at absolute T-state `now`: the next pulse begins there. A deck sitting
    // on a stop block passes it.
    void play(uint64_t now);
    void stop();

    // The level at absolute T-state `now` (not before the last call's `now`).
    uint8_t level_at(uint64_t now) {
        if (now >= next_edge) run_to(now);
        return level;
    }
    // Plays every pulse that begins at or before `now`.
    void run_to(uint64_t now);

    // Moves past the blocks that take no time (information, groups, jumps, loops, calls,
    // levels, a pause or stop block a load passes) and returns the index of the standard
    // data block that comes next, if one does at the start of its pilot; else -1. Only
    // when the deck is not in the middle of another block's signal.
    long next_standard_block();
    // After the ROM's loader took block `i` at once: the deck waits at the block after it.
    void taken(size_t i);

    // An EAR read at `now`. Reads in a tight loop are a loader listening (the keyboard
    // scan reads the port a few times a frame, which is no listening).
    void note_read(uint64_t now) {
        poll_run = now - last_read < POLL_GAP ? poll_run + 1 : 0;
        last_read = now;
        if (poll_run >= LISTEN_RUN) last_listen = now;
    }
    // An EAR read at `now` while the tape is attached but not playing: a program that
    // reads it in a tight loop starts the tape. True when it did.
    bool poll(uint64_t now);

    TapeEvent take_event() {
        const TapeEvent e = event;
        event = TapeEvent::NONE;
        return e;
    }

    // A tape may hold any number of loops, calls, jumps and pulses of no length; the deck
    // takes at most WORK_BUDGET steps (a block passed, a phase begun, a pulse played) in a
    // window of WORK_WINDOW T-states of the tape's time, and stops past that with a FAULT
    // naming the block it was at (" TAPE BLOCK 13 AT 57 TOO FAST "). A frame spans at most
    // three windows. A real tape's pulses last hundreds of T-states: it takes a few hundred
    // steps a window. A search for the next standard block takes at most WORK_BUDGET steps.
    static constexpr uint64_t WORK_WINDOW = TAPE_CLOCK_HZ / 50;
    static constexpr uint32_t WORK_BUDGET = 1u << 17;
    uint64_t work_done = 0; // the steps taken since the deck was made

    // Reads closer than this count as a loop waiting for the tape, and this many in a row
    // start it.
    static constexpr uint64_t POLL_GAP = 1000;
    static constexpr uint32_t POLL_RUN = 500;
    static constexpr uint32_t LISTEN_RUN = 64;

  private:
    enum Phase : uint8_t { ENTER, PILOT, PULSES, DATA, PAUSE_EDGE, PAUSE_LOW, DONE };
    // Loop and call state.
    size_t loop_start = 0;
    uint32_t loop_left = 0;
    bool in_call = false;
    size_t call_block = 0, call_item = 0;
    bool pulses_played = false; // the current block has played a pulse (a pause ends it)
    uint64_t scale_rest = 0;    // what scaling to cpu_hz left over, in 1/TAPE_CLOCK_HZ
    uint64_t work_window = 0;   // the window of WORK_WINDOW T-states the steps are counted in
    uint32_t work = 0;          // the steps taken in it

    // The next pulse: its length, and how its start sets the level. False when the tape
    // stopped or ended instead.
    bool next_pulse(uint32_t& length, uint32_t& mode);
    // What one phase of a block gave: a pulse, nothing (the next phase or block follows at
    // once), or the stop of the tape.
    enum class Step : uint8_t { PULSE, NEXT, STOPPED };
    Step phase_step(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    Step enter_block(const TapeBlock& b);
    Step pilot_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    Step listed_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    Step data_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    Step pause_edge(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    Step pause_low(const TapeBlock& b, uint32_t& length, uint32_t& mode);
    // Starts the next phase at its first pulse.
    Step next_phase(Phase next) {
        phase = next;
        count = 0;
        return Step::NEXT;
    }
    // A pulse's length in the machine's T-states, the fractions carried from pulse to
    // pulse so that a long tape keeps real time exactly.
    uint64_t machine_tstates(uint32_t length) {
        if (cpu_hz == TAPE_CLOCK_HZ) return length;
        const uint64_t scaled = uint64_t{length} * cpu_hz + scale_rest;
        scale_rest = scaled % TAPE_CLOCK_HZ;
        return scaled / TAPE_CLOCK_HZ;
    }
    // Goes to block `i` (anything out of range ends the tape).
    void go_to(long i);
    // Acts on the control block at `index`; true when it was one.
    bool control_block();
    void halt(TapeEvent why);
    // Stops with the fault of a tape that asks for more steps than its time allows.
    void too_fast();

    template <class Deck, class F> static void state_fields(Deck& d, F& f) {
        f(d.playing), f(d.by_hand), f(d.machine_48k), f(d.cpu_hz), f(d.record_edges);
        f(d.level), f(d.frame_base), f(d.next_edge), f(d.last_read), f(d.poll_run);
        f(d.last_listen), f(d.event), f(d.fault), f(d.edge_times), f(d.edge_levels);
        f(d.index), f(d.phase), f(d.count), f(d.work_done), f(d.loop_start), f(d.loop_left);
        f(d.in_call), f(d.call_block), f(d.call_item), f(d.pulses_played), f(d.scale_rest);
        f(d.work_window), f(d.work);
    }
};

// The tape deck's playing: blocks become pulses, pulses become the EAR level.
#include "spectrum/tapedeck.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "spectrum/bytes.h"

size_t tape_memory(const std::vector<TapeBlock>& blocks) {
    size_t n = 0;
    for (const TapeBlock& b : blocks)
        n += sizeof b + b.pulses.capacity() * sizeof b.pulses[0] +
             b.calls.capacity() * sizeof b.calls[0];
    return n;
}

TapeBlock standard_block(std::vector<uint8_t> bytes, uint32_t pause_ms, size_t record_offset) {
    TapeBlock b;
    b.kind = TapeBlock::SIGNAL;
    b.id = 0x10;
    b.standard = true;
    b.record_offset = record_offset;
    b.pilot_len = STANDARD_PILOT_PULSE;
    b.pilot_count =
        (!bytes.empty() && bytes[0] >= 128) ? STANDARD_DATA_PILOTS : STANDARD_HEADER_PILOTS;
    b.pulses = {PULSE_EDGE | STANDARD_SYNC1, PULSE_EDGE | STANDARD_SYNC2};
    b.zero_len = STANDARD_ZERO_PULSE;
    b.one_len = STANDARD_ONE_PULSE;
    b.data = std::move(bytes);
    b.pause_ms = pause_ms;
    return b;
}

std::vector<TapeBlock> tap_blocks_of(const std::vector<uint8_t>& image) {
    std::vector<TapeBlock> list;
    ByteReader r(image);
    while (r.has(2)) {
        const size_t p = r.pos();
        const size_t length = r.u16();
        // A block and its two sync pulses; one short of the bound: room for the stop that
        // says why the tape ends.
        constexpr size_t EACH = sizeof(TapeBlock) + 2 * sizeof(uint32_t);
        if ((list.size() + 2) * EACH > MOST_TAPE_MEMORY) {
            char text[48];
            std::snprintf(text, sizeof text, " TAPE BLOCK 10 AT %zu TOO LARGE ", p);
            TapeBlock stop;
            stop.kind = TapeBlock::STOP;
            stop.id = 0x10;
            stop.file_offset = p;
            stop.message = text;
            list.push_back(std::move(stop));
            break;
        }
        std::vector<uint8_t> bytes = r.bytes(std::min(length, image.size() - r.pos()));
        TapeBlock b = standard_block(std::move(bytes), STANDARD_PAUSE_MS, p);
        b.file_offset = p;
        list.push_back(std::move(b));
        r.seek(p + 2 + length);
    }
    return list;
}

void TapeDeck::load(std::vector<TapeBlock> list) {
    blocks = std::move(list);
    work = 0; // a new tape has the window's steps to itself
    rewind();
}

void TapeDeck::rewind() {
    playing = false;
    level = 0;
    index = 0;
    phase = ENTER;
    count = 0;
    loop_left = 0;
    in_call = false;
    pulses_played = false;
    poll_run = 0;
    next_edge = 0;
    scale_rest = 0;
    edge_times.clear();
    edge_levels.clear();
}

void TapeDeck::play(uint64_t now) {
    if (playing || !attached()) return;
    if (at_end()) {
        event = TapeEvent::END;
        return;
    }
    playing = true;
    by_hand = false; // the user's key says otherwise after this
    next_edge = now; // the next pulse begins now
    last_listen = now;
    event = TapeEvent::PLAY;
}

void TapeDeck::stop() {
    if (!playing) return;
    playing = false;
    event = TapeEvent::STOP;
}

void TapeDeck::halt(TapeEvent why) {
    playing = false;
    event = why;
}

void TapeDeck::go_to(long i) {
    index =
        (i < 0 || i >= static_cast<long>(blocks.size())) ? blocks.size() : static_cast<size_t>(i);
    phase = ENTER;
    count = 0;
}

bool TapeDeck::control_block() {
    const TapeBlock& b = blocks[index];
    const long here = static_cast<long>(index);
    switch (b.kind) {
    case TapeBlock::JUMP: go_to(here + b.value); return true;
    case TapeBlock::LOOP_START:
        loop_start = index + 1;
        loop_left = static_cast<uint32_t>(b.value);
        go_to(here + 1);
        return true;
    case TapeBlock::LOOP_END:
        if (loop_left > 1) {
            loop_left--;
            go_to(static_cast<long>(loop_start));
        } else {
            loop_left = 0;
            go_to(here + 1);
        }
        return true;
    case TapeBlock::CALL:
        if (b.calls.empty()) {
            go_to(here + 1);
        } else {
            in_call = true;
            call_block = index;
            call_item = 0;
            go_to(here + b.calls[0]);
        }
        return true;
    case TapeBlock::RETURN:
        if (in_call && ++call_item < blocks[call_block].calls.size()) {
            go_to(static_cast<long>(call_block) + blocks[call_block].calls[call_item]);
        } else if (in_call) {
            in_call = false;
            go_to(static_cast<long>(call_block) + 1);
        } else {
            go_to(here + 1);
        }
        return true;
    case TapeBlock::SET_LEVEL:
        level = b.value ? 1 : 0;
        go_to(here + 1);
        return true;
    case TapeBlock::INFO: go_to(here + 1); return true;
    case TapeBlock::STOP_48K:
        if (machine_48k) return false;
        go_to(here + 1);
        return true;
    default: return false;
    }
}

void TapeDeck::too_fast() {
    const TapeBlock& b = blocks[index];
    char text[48];
    std::snprintf(text, sizeof text, " TAPE BLOCK %02X AT %zu TOO FAST ", b.id, b.file_offset);
    fault = text;
    halt(TapeEvent::FAULT);
}

bool TapeDeck::next_pulse(uint32_t& length, uint32_t& mode) {
    for (;;) {
        if (at_end()) {
            halt(TapeEvent::END);
            return false;
        }
        work_done++;
        if (++work > WORK_BUDGET) {
            too_fast();
            return false;
        }
        const Step step = phase_step(blocks[index], length, mode);
        if (step != Step::NEXT) return step == Step::PULSE;
    }
}

TapeDeck::Step TapeDeck::phase_step(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    switch (phase) {
    case ENTER: return enter_block(b);
    case PILOT: return pilot_pulse(b, length, mode);
    case PULSES: return listed_pulse(b, length, mode);
    case DATA: return data_pulse(b, length, mode);
    case PAUSE_EDGE: return pause_edge(b, length, mode);
    case PAUSE_LOW: return pause_low(b, length, mode);
    case DONE:
    default: go_to(static_cast<long>(index) + 1); return Step::NEXT;
    }
}

TapeDeck::Step TapeDeck::enter_block(const TapeBlock& b) {
    if (b.kind == TapeBlock::SIGNAL) return next_phase(PILOT);
    if (b.kind == TapeBlock::PAUSE) return next_phase(PAUSE_EDGE);
    if (control_block()) return Step::NEXT;
    // A stop block (or stop-if-48K on a 48K machine): the tape stops after it.
    go_to(static_cast<long>(index) + 1);
    if (!b.message.empty()) {
        fault = b.message;
        halt(TapeEvent::FAULT);
    } else {
        halt(TapeEvent::STOP);
    }
    return Step::STOPPED;
}

TapeDeck::Step TapeDeck::pilot_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    if (count >= b.pilot_count) return next_phase(PULSES);
    count++;
    length = b.pilot_len;
    mode = PULSE_EDGE;
    pulses_played = true;
    return Step::PULSE;
}

TapeDeck::Step TapeDeck::listed_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    if (count >= b.pulses.size()) return next_phase(DATA);
    const uint32_t p = b.pulses[count++];
    length = p & PULSE_LENGTH_MASK;
    mode = p & ~PULSE_LENGTH_MASK;
    pulses_played = true;
    return Step::PULSE;
}

TapeDeck::Step TapeDeck::data_pulse(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    const uint64_t bits =
        b.data.empty() ? 0 : (b.data.size() - 1) * 8 + std::min<uint8_t>(b.last_bits, 8);
    if (count >= 2 * bits) return next_phase(PAUSE_EDGE);
    const uint32_t bit = count / 2;
    count++;
    const bool one = b.data[bit / 8] & (0x80 >> (bit % 8));
    length = one ? b.one_len : b.zero_len;
    mode = PULSE_EDGE;
    pulses_played = true;
    return Step::PULSE;
}

TapeDeck::Step TapeDeck::pause_edge(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    next_phase(PAUSE_LOW);
    if (b.pause_ms == 0) return next_phase(DONE);
    if (!pulses_played) return Step::NEXT;
    // The last pulse ends with an edge, whose level holds for 1 ms.
    pulses_played = false;
    count = 1;
    length = TAPE_TSTATES_PER_MS;
    mode = PULSE_EDGE;
    return Step::PULSE;
}

TapeDeck::Step TapeDeck::pause_low(const TapeBlock& b, uint32_t& length, uint32_t& mode) {
    phase = DONE;
    // What the pause edge's millisecond left of the pause.
    length = b.pause_ms * TAPE_TSTATES_PER_MS - (count ? TAPE_TSTATES_PER_MS : 0);
    mode = PULSE_LOW;
    return Step::PULSE;
}

void TapeDeck::run_to(uint64_t now) {
    while (playing && next_edge <= now) {
        uint32_t length = 0, mode = 0;
        const uint64_t at = next_edge;
        if (at / WORK_WINDOW != work_window) {
            work_window = at / WORK_WINDOW;
            work = 0;
        }
        if (!next_pulse(length, mode)) break;
        const uint8_t before = level;
        switch (mode) {
        case PULSE_EDGE: level ^= 1; break;
        case PULSE_LOW: level = 0; break;
        case PULSE_HIGH: level = 1; break;
        default: break;
        }
        if (record_edges && level != before && edge_times.size() < MOST_EDGES) {
            edge_times.push_back(static_cast<int32_t>(at - frame_base));
            edge_levels.push_back(level);
        }
        next_edge = at + machine_tstates(length);
    }
}

long TapeDeck::next_standard_block() {
    // The pause of a block already played counts as passed.
    if (phase == PAUSE_EDGE || phase == PAUSE_LOW || phase == DONE)
        go_to(static_cast<long>(index) + 1);
    for (uint32_t steps = 0; !at_end(); steps++) {
        work_done++;
        if (steps == WORK_BUDGET) {
            too_fast();
            break;
        }
        const TapeBlock& b = blocks[index];
        if (b.kind == TapeBlock::SIGNAL) {
            const bool at_start = phase == ENTER || (phase == PILOT && count <= b.pilot_count);
            return b.standard && at_start ? static_cast<long>(index) : -1;
        }
        if (phase != ENTER) return -1;
        if (control_block()) continue;
        // Pauses and stops between blocks: a loader that asks for the next block passes them.
        go_to(static_cast<long>(index) + 1);
    }
    return -1;
}

void TapeDeck::taken(size_t i) {
    playing = false;
    pulses_played = false;
    go_to(static_cast<long>(i) + 1);
}

bool TapeDeck::poll(uint64_t now) {
    if (playing || at_end()) return false;
    note_read(now);
    if (poll_run < POLL_RUN) return false;
    play(now);
    return true;
}

bool TapeDeck::check_state(size_t block_count) const {
    // A call returns to the block that made it; every other position is checked where it
    // is used (a block past the end is the tape's end).
    return phase <= DONE && index <= block_count && loop_start <= block_count &&
           (!in_call || call_block < block_count) && level <= 1 && cpu_hz >= TAPE_CLOCK_HZ / 2 &&
           cpu_hz <= 2 * TAPE_CLOCK_HZ && scale_rest < TAPE_CLOCK_HZ &&
           edge_times.size() == edge_levels.size() && edge_times.size() <= MOST_EDGES &&
           event <= TapeEvent::FAULT;
}

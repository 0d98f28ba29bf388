// The tape deck's playing: blocks become pulses, pulses become the EAR level.
#include "spectrum/tapedeck.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {
// The ROM's standard timings, in T-states.
constexpr uint32_t PILOT_PULSE = 2168;
constexpr uint32_t HEADER_PILOT = 8063, DATA_PILOT = 3223;
constexpr uint32_t SYNC1 = 667, SYNC2 = 735;
constexpr uint32_t ZERO_PULSE = 855, ONE_PULSE = 1710;
constexpr uint32_t STANDARD_PAUSE_MS = 1000;
} // namespace

size_t tape_memory(const std::vector<TapeBlock>& blocks) {
    size_t n = 0;
    for (const TapeBlock& b : blocks)
        n += sizeof b + b.pulses.capacity() * sizeof b.pulses[0] +
             b.calls.capacity() * sizeof b.calls[0];
    return n;
}

std::vector<TapeBlock> tap_blocks_of(const std::vector<uint8_t>& image) {
    std::vector<TapeBlock> list;
    size_t p = 0;
    while (p + 2 <= image.size()) {
        const size_t length = image[p] | (image[p + 1] << 8);
        const size_t have = std::min(length, image.size() - p - 2);
        TapeBlock b;
        // A block and its two sync pulses; one short of the bound: room for the stop that
        // says why the tape ends.
        constexpr size_t EACH = sizeof(TapeBlock) + 2 * sizeof(uint32_t);
        if ((list.size() + 2) * EACH > MOST_TAPE_MEMORY) {
            char text[48];
            std::snprintf(text, sizeof text, " TAPE BLOCK 10 AT %zu TOO LARGE ", p);
            b.kind = TapeBlock::STOP;
            b.id = 0x10;
            b.file_offset = p;
            b.message = text;
            list.push_back(std::move(b));
            break;
        }
        b.kind = TapeBlock::SIGNAL;
        b.id = 0x10;
        b.file_offset = b.record_offset = p;
        b.standard = true;
        b.pilot_len = PILOT_PULSE;
        b.data.assign(image.begin() + static_cast<long>(p + 2),
                      image.begin() + static_cast<long>(p + 2 + have));
        b.pilot_count = (!b.data.empty() && b.data[0] >= 128) ? DATA_PILOT : HEADER_PILOT;
        b.pulses = {PULSE_EDGE | SYNC1, PULSE_EDGE | SYNC2};
        b.zero_len = ZERO_PULSE;
        b.one_len = ONE_PULSE;
        b.pause_ms = STANDARD_PAUSE_MS;
        list.push_back(std::move(b));
        p += 2 + length;
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
        const TapeBlock& b = blocks[index];
        switch (phase) {
        case ENTER:
            if (b.kind == TapeBlock::SIGNAL) {
                phase = PILOT;
                count = 0;
                continue;
            }
            if (b.kind == TapeBlock::PAUSE) {
                phase = PAUSE_EDGE;
                continue;
            }
            if (control_block()) continue;
            // A stop block (or stop-if-48K on a 48K machine): the tape stops after it.
            go_to(static_cast<long>(index) + 1);
            if (!b.message.empty()) {
                fault = b.message;
                halt(TapeEvent::FAULT);
            } else {
                halt(TapeEvent::STOP);
            }
            return false;
        case PILOT:
            if (count < b.pilot_count) {
                count++;
                length = b.pilot_len;
                mode = PULSE_EDGE;
                pulses_played = true;
                return true;
            }
            phase = PULSES;
            count = 0;
            continue;
        case PULSES:
            if (count < b.pulses.size()) {
                const uint32_t p = b.pulses[count++];
                length = p & PULSE_LENGTH_MASK;
                mode = p & ~PULSE_LENGTH_MASK;
                pulses_played = true;
                return true;
            }
            phase = DATA;
            count = 0;
            continue;
        case DATA: {
            const uint64_t bits =
                b.data.empty() ? 0 : (b.data.size() - 1) * 8 + std::min<uint8_t>(b.last_bits, 8);
            if (count < 2 * bits) {
                const uint32_t bit = count / 2;
                count++;
                const bool one = b.data[bit / 8] & (0x80 >> (bit % 8));
                length = one ? b.one_len : b.zero_len;
                mode = PULSE_EDGE;
                pulses_played = true;
                return true;
            }
            phase = PAUSE_EDGE;
            count = 0;
            continue;
        }
        case PAUSE_EDGE:
            phase = PAUSE_LOW;
            count = 0;
            if (b.pause_ms == 0) {
                phase = DONE;
                continue;
            }
            if (pulses_played) {
                // The last pulse ends with an edge, whose level holds for 1 ms.
                pulses_played = false;
                count = 1;
                length = TAPE_TSTATES_PER_MS;
                mode = PULSE_EDGE;
                return true;
            }
            continue;
        case PAUSE_LOW:
            phase = DONE;
            length = b.pause_ms * TAPE_TSTATES_PER_MS - (count ? TAPE_TSTATES_PER_MS : 0);
            mode = PULSE_LOW;
            return true;
        case DONE:
        default: go_to(static_cast<long>(index) + 1); continue;
        }
    }
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
        if (record_edges && level != before && edge_times.size() < 100000) {
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

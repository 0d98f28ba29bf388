// TZX images read into tape deck blocks (the layout is in formats/tzx.h). Every read is
// checked against the image's end, and what a block would expand into is bounded.
#include "formats/tzx.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "spectrum/bytes.h"

namespace {
// The run-length stream one CSW block may inflate into.
constexpr size_t MOST_CSW_BYTES = size_t{64} << 20;

// The memory the tape's blocks may still take (see MOST_TAPE_MEMORY), less the room of the
// stop block that ends a tape cut at the bound.
struct Budget {
    size_t room = MOST_TAPE_MEMORY - sizeof(TapeBlock);
    bool exceeded = false;

    bool take(size_t bytes) {
        if (bytes > room) {
            exceeded = true;
            return false;
        }
        room -= bytes;
        return true;
    }
    bool pulses(size_t n) { return take(n * sizeof(uint32_t)); }
};

uint32_t pulse(uint32_t mode, uint64_t length) {
    return mode | static_cast<uint32_t>(std::min<uint64_t>(length, PULSE_LENGTH_MASK));
}

void data_block(TapeBlock& b, ByteReader& r, uint32_t zero, uint32_t one, size_t length_bytes) {
    b.kind = TapeBlock::SIGNAL;
    b.zero_len = zero;
    b.one_len = one;
    b.last_bits = static_cast<uint8_t>(r.u8());
    b.pause_ms = r.u16();
    const auto length = static_cast<size_t>(r.number(static_cast<int>(length_bytes)));
    b.data = r.bytes(length);
    if (b.last_bits == 0 || b.last_bits > 8) b.last_bits = 8;
}

// Direct recording: runs of equal samples become pulses of a forced level.
bool direct_recording(TapeBlock& b, ByteReader& r, Budget& budget) {
    const uint32_t tps = r.u16();
    b.kind = TapeBlock::SIGNAL;
    b.pause_ms = r.u16();
    uint32_t used = r.u8();
    const uint32_t length = r.u24();
    const std::vector<uint8_t> samples = r.bytes(length);
    if (!r.ok()) return false;
    if (used == 0 || used > 8) used = 8;
    int current = -1;
    uint64_t run = 0;
    for (size_t i = 0; i < samples.size(); i++) {
        const uint32_t bits = i + 1 == samples.size() ? used : 8;
        for (uint32_t k = 0; k < bits; k++) {
            const int level = (samples[i] >> (7 - k)) & 1;
            if (level != current && current >= 0) {
                if (!budget.pulses(1)) return false;
                b.pulses.push_back(pulse(current ? PULSE_HIGH : PULSE_LOW, run * tps));
                run = 0;
            }
            current = level;
            run++;
        }
    }
    if (current >= 0) {
        if (!budget.pulses(1)) return false;
        b.pulses.push_back(pulse(current ? PULSE_HIGH : PULSE_LOW, run * tps));
    }
    return true;
}

// The whole stream, or false: a stream cut short, or one longer than MOST_CSW_BYTES (which
// is refused rather than played in part).
bool inflate_all(const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(n);
    uint8_t buffer[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) break;
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (out.size() > MOST_CSW_BYTES) {
            inflateEnd(&z);
            return false;
        }
        if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) break; // cut short
    }
    inflateEnd(&z);
    return status == Z_STREAM_END || (status == Z_OK && !out.empty());
}

bool csw_recording(TapeBlock& b, ByteReader& r, Budget& budget) {
    const uint32_t length = r.u32();
    if (!r.has(length) || length < 10) return false;
    const size_t end = r.pos() + length;
    b.kind = TapeBlock::SIGNAL;
    b.pause_ms = r.u16();
    const uint32_t rate = r.u24();
    const uint32_t compression = r.u8();
    r.u32(); // the pulse count, which the data says again
    if (rate == 0 || (compression != 1 && compression != 2)) return false;
    std::vector<uint8_t> rle;
    const uint8_t* data = r.here();
    const size_t n = end - r.pos();
    if (compression == 1) rle.assign(data, data + n);
    else if (!inflate_all(data, n, rle)) {
        budget.exceeded = rle.size() > MOST_CSW_BYTES; // refused for its size, not cut
        return false;
    }
    r.seek(end);
    // A run of 0 is followed by its 32-bit length; a stream cut inside one ends there.
    ByteReader runs(rle);
    while (!runs.at_end()) {
        uint64_t samples = runs.u8();
        if (samples == 0) samples = runs.u32();
        if (!runs.ok()) break;
        if (!budget.pulses(1)) return false;
        b.pulses.push_back(pulse(PULSE_EDGE, samples * TAPE_CLOCK_HZ / rate));
    }
    return true;
}

struct Symbol {
    uint32_t mode;
    std::vector<uint32_t> pulses;
};

bool read_symbols(ByteReader& r, uint32_t count, uint32_t most_pulses, std::vector<Symbol>& table) {
    for (uint32_t i = 0; i < count && r.ok(); i++) {
        Symbol s;
        s.mode = (r.u8() & 3) << 30;
        for (uint32_t k = 0; k < most_pulses; k++) s.pulses.push_back(r.u16());
        table.push_back(std::move(s));
    }
    return r.ok();
}

// A symbol's pulses (up to its first of length 0), or false when the tape has no room.
bool play_symbol(TapeBlock& b, const Symbol& s, Budget& budget) {
    size_t n = 0;
    while (n < s.pulses.size() && s.pulses[n]) n++;
    if (!budget.pulses(n)) return false;
    for (size_t k = 0; k < n; k++) b.pulses.push_back((k == 0 ? s.mode : PULSE_EDGE) | s.pulses[k]);
    return true;
}

bool generalized_data(TapeBlock& b, ByteReader& r, Budget& budget) {
    const uint32_t length = r.u32();
    if (!r.has(length) || length < 14) return false;
    const size_t end = r.pos() + length;
    ByteReader in = r;
    b.kind = TapeBlock::SIGNAL;
    b.pause_ms = in.u16();
    const uint32_t totp = in.u32(), npp = in.u8(), asp_raw = in.u8();
    const uint32_t totd = in.u32(), npd = in.u8(), asd_raw = in.u8();
    const uint32_t asp = asp_raw ? asp_raw : 256, asd = asd_raw ? asd_raw : 256;
    std::vector<Symbol> pilot, alphabet;
    if (totp) {
        if (!read_symbols(in, asp, npp, pilot)) return false;
        for (uint32_t i = 0; i < totp && in.ok(); i++) {
            const uint32_t symbol = in.u8(), repeats = in.u16();
            if (!in.ok() || symbol >= pilot.size()) return false;
            for (uint32_t k = 0; k < repeats; k++)
                if (!play_symbol(b, pilot[symbol], budget)) return false;
        }
    }
    if (totd) {
        if (!read_symbols(in, asd, npd, alphabet)) return false;
        uint32_t bits = 0;
        while ((1u << bits) < asd) bits++;
        const uint64_t stream_bytes = (static_cast<uint64_t>(bits) * totd + 7) / 8;
        if (!in.has(stream_bytes)) return false;
        const uint8_t* stream = in.here();
        uint64_t bit = 0;
        for (uint32_t i = 0; i < totd; i++) {
            uint32_t symbol = 0;
            for (uint32_t k = 0; k < bits; k++, bit++)
                symbol = symbol << 1 | ((stream[bit / 8] >> (7 - bit % 8)) & 1);
            if (symbol >= alphabet.size() || !play_symbol(b, alphabet[symbol], budget))
                return false;
        }
        in.skip(stream_bytes);
    }
    if (!in.ok() || in.pos() > end) return false;
    r.seek(end);
    return true;
}

// Skips a block this reader has no use for: every block from 0x2A on begins with the
// length of the rest.
bool skip_unknown(ByteReader& r) { return r.skip(r.u32()); }

// The standard-speed block: its pause, then a TAP record (length, flag, data, checksum).
bool standard_speed(TapeBlock& b, ByteReader& r, Budget& budget) {
    const uint32_t pause_ms = r.u16();
    const size_t record = r.pos();
    std::vector<uint8_t> bytes = r.bytes(r.u16());
    if (!budget.pulses(2)) return false;
    const size_t offset = b.file_offset;
    b = standard_block(std::move(bytes), pause_ms, record);
    b.file_offset = offset;
    return r.ok();
}

bool turbo_speed(TapeBlock& b, ByteReader& r, Budget& budget) {
    b.pilot_len = r.u16();
    const uint32_t sync1 = r.u16(), sync2 = r.u16();
    if (!budget.pulses(2)) return false;
    b.pulses = {PULSE_EDGE | sync1, PULSE_EDGE | sync2};
    const uint32_t zero = r.u16(), one = r.u16();
    b.pilot_count = r.u16();
    data_block(b, r, zero, one, 3);
    return r.ok();
}

bool pulse_sequence(TapeBlock& b, ByteReader& r, Budget& budget) {
    b.kind = TapeBlock::SIGNAL;
    const uint32_t n = r.u8();
    if (!budget.pulses(n)) return false;
    for (uint32_t i = 0; i < n && r.ok(); i++) b.pulses.push_back(PULSE_EDGE | r.u16());
    return r.ok();
}

// The blocks that play a signal (0x10-0x19).
bool signal_block(uint8_t id, ByteReader& r, TapeBlock& b, Budget& budget) {
    switch (id) {
    case 0x10: return standard_speed(b, r, budget);
    case 0x11: return turbo_speed(b, r, budget);
    case 0x12:
        b.kind = TapeBlock::SIGNAL;
        b.pilot_len = r.u16();
        b.pilot_count = r.u16();
        return r.ok();
    case 0x13: return pulse_sequence(b, r, budget);
    case 0x14: {
        const uint32_t zero = r.u16(), one = r.u16();
        data_block(b, r, zero, one, 3);
        return r.ok();
    }
    case 0x15: return direct_recording(b, r, budget);
    case 0x18: return csw_recording(b, r, budget);
    case 0x19: return generalized_data(b, r, budget);
    default: return skip_unknown(r);
    }
}

bool call_sequence(TapeBlock& b, ByteReader& r, Budget& budget) {
    b.kind = TapeBlock::CALL;
    const uint32_t n = r.u16();
    if (!budget.take(n * sizeof(int32_t))) return false;
    for (uint32_t i = 0; i < n && r.ok(); i++) b.calls.push_back(r.i16());
    return r.ok();
}

// The select block: the first entry's jump is taken, as a user who presses nothing would.
bool select_block(TapeBlock& b, ByteReader& r) {
    const uint32_t length = r.u16();
    if (!r.has(length)) return false;
    const size_t end = r.pos() + length;
    ByteReader in = r;
    if (in.u8() > 0) {
        b.kind = TapeBlock::JUMP;
        b.value = in.i16();
        if (!in.ok() || in.pos() > end || b.value == 0) return false;
    }
    r.seek(end);
    return true;
}

// The blocks that steer the tape (0x20-0x2B): pauses, groups, jumps, loops, calls, stops.
bool flow_block(uint8_t id, ByteReader& r, TapeBlock& b, Budget& budget) {
    switch (id) {
    case 0x20:
        b.pause_ms = r.u16();
        b.kind = b.pause_ms ? TapeBlock::PAUSE : TapeBlock::STOP;
        break;
    case 0x21: r.skip(r.u8()); break;
    case 0x22: break;
    case 0x23:
        b.kind = TapeBlock::JUMP;
        b.value = r.i16();
        if (b.value == 0) return false; // a jump onto itself never ends
        break;
    case 0x24:
        b.kind = TapeBlock::LOOP_START;
        b.value = static_cast<int32_t>(r.u16());
        break;
    case 0x25: b.kind = TapeBlock::LOOP_END; break;
    case 0x26: return call_sequence(b, r, budget);
    case 0x27: b.kind = TapeBlock::RETURN; break;
    case 0x28: return select_block(b, r);
    case 0x2A:
        b.kind = TapeBlock::STOP_48K;
        skip_unknown(r);
        break;
    case 0x2B: {
        const uint32_t length = r.u32();
        if (length < 1 || !r.has(length)) return false;
        b.kind = TapeBlock::SET_LEVEL;
        b.value = *r.here() ? 1 : 0;
        r.skip(length);
        break;
    }
    default: return skip_unknown(r);
    }
    return r.ok();
}

// The blocks that only describe (text, archive information, hardware, glue): skipped.
bool description_block(uint8_t id, ByteReader& r) {
    switch (id) {
    case 0x30: return r.skip(r.u8());
    case 0x31: r.u8(); return r.skip(r.u8());
    case 0x32: return r.skip(r.u16());
    case 0x33: return r.skip(3 * static_cast<size_t>(r.u8()));
    case 0x35: r.skip(10); return r.skip(r.u32());
    case 0x5A: return r.skip(9);
    default: return skip_unknown(r);
    }
}

// One block at the reader's place (after its ID). False when it cannot be read, or
// (budget.exceeded) when the tape has no room for its pulses.
bool read_block(uint8_t id, ByteReader& r, TapeBlock& b, Budget& budget) {
    if (id >= 0x10 && id <= 0x19) return signal_block(id, r, b, budget);
    if (id >= 0x20 && id <= 0x2B) return flow_block(id, r, b, budget);
    return description_block(id, r);
}

std::string block_fault(uint8_t id, size_t offset, const char* what) {
    char text[64];
    std::snprintf(text, sizeof text, " TAPE BLOCK %02X AT %zu %s ", id, offset, what);
    return text;
}

void read_blocks(const std::vector<uint8_t>& image, std::vector<TapeBlock>& blocks) {
    ByteReader r(image, 10);
    Budget budget;
    while (!r.at_end()) {
        const size_t offset = r.pos();
        const uint8_t id = r.u8();
        TapeBlock b;
        b.id = id;
        b.file_offset = offset;
        if (!budget.take(sizeof b) || !read_block(id, r, b, budget)) {
            TapeBlock stop;
            stop.kind = TapeBlock::STOP;
            stop.id = id;
            stop.file_offset = offset;
            stop.message = block_fault(id, offset, budget.exceeded ? "TOO LARGE" : "UNREADABLE");
            blocks.push_back(std::move(stop));
            break;
        }
        b.pulses.shrink_to_fit(); // what a block holds is what the budget counted
        blocks.push_back(std::move(b));
    }
    blocks.shrink_to_fit();
}
} // namespace

bool tzx_blocks(const std::vector<uint8_t>& image, std::vector<TapeBlock>& blocks,
                std::string& why) {
    static const char SIGNATURE[8] = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A};
    if (image.size() < 10 || std::memcmp(image.data(), SIGNATURE, 8) != 0) {
        why = "it is not a TZX image (no \"ZXTape!\" signature)";
        return false;
    }
    blocks.clear();
    try {
        read_blocks(image, blocks);
    } catch (const std::bad_alloc&) {
        // What the bounds leave may still be more than the computer can give.
        blocks.clear();
        blocks.shrink_to_fit();
        why = "there is not enough memory for its blocks";
        return false;
    }
    return true;
}

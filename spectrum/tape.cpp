// The tape traps: the ROM's block loader takes a standard-speed block of the attached image
// straight into memory instead of listening for its signal, and the ROM's block saver hands
// each block to the interface instead of playing it to the MIC output.
//
// A TAP record as one load trap consumes it:
//   size  field
//    2    block length, little-endian   (bounds what is read: flag, data, checksum)
//    1    flag byte                     (read, not compared with A)
//    DE   data bytes                    (stored from IX upward)
//    1    checksum                      (read, not verified)
// A TZX standard-speed block (ID 0x10: pause word, then length word and the bytes) holds the
// same record from its fourth byte on.
#include <algorithm>
#include <cstring>
#include <utility>

#include "spectrum/machine.h"

namespace {
// The loader's entry, and the return address it pushes before it listens (SA/LD-RET, which
// restores the border and the interrupts): a RET NZ at the hook with this on the stack is
// the loader's own loop, not its entry.
constexpr uint16_t LD_BYTES = 0x0556;
constexpr uint16_t SA_LD_RET = 0x053F;
constexpr uint8_t LOADER_PATCH[3] = {0xC3, 0x6B, 0x05}; // JP 0x056B

// The ROM's SAVE: a header of 17 bytes with flag 0x00, a pause of a second, then the data.
// The saver's pilot tone lasts 8063 pulses of 2168 T-states before a header, 3223 before
// data (at the tape's 3.5 MHz).
constexpr uint16_t HEADER_LENGTH = 17;
constexpr uint64_t HEADER_PILOT = 8063ull * 2168, DATA_PILOT = 3223ull * 2168;
// Turns of the save trap's wait come a few T-states apart; a longer gap starts a new wait.
constexpr uint64_t SAVE_WAIT_TURN = 1000;
// A header kept back longer than this (a reset or a load came between) has lost its save.
constexpr uint64_t SAVE_HEADER_HOLD = 8ull * TAPE_CLOCK_HZ;
// A TAP record's 16-bit length counts the flag and checksum with the data.
constexpr uint32_t TAP_MOST_DATA = 0xFFFF - 2;
} // namespace

void Spectrum::attach_tape(std::vector<uint8_t> image) {
    std::vector<TapeBlock> blocks = tap_blocks_of(image);
    attach_tape_blocks(std::move(image), std::move(blocks));
}

void Spectrum::attach_tape_blocks(std::vector<uint8_t> image, std::vector<TapeBlock> blocks) {
    tape = std::move(image);
    tape_pos = 0;
    is_tape = 1;
    tape_deck.load(std::move(blocks));
    tape_deck.machine_48k = model == 48;
    tape_deck.cpu_hz = timing().clock_hz;
    // The block loader's entry jumps straight to its RET NZ, where the load trap takes a
    // standard block whole. The patch stays for the rest of the run.
    if (tape_traps && basic_rom()[LD_BYTES] != LOADER_PATCH[0]) {
        std::memcpy(rom_patched, basic_rom() + LD_BYTES, 3);
        patch_loader(LOADER_PATCH);
    }
}

void Spectrum::patch_loader(const uint8_t* bytes) { poke_rom(rom_count() - 1, LD_BYTES, bytes, 3); }

// The ROM's loader is reached only while the ROM that holds it is paged in: the 128K's
// other ROM has other code at the hook points.
bool Spectrum::loader_paged() const { return SLTPTR[0] == basic_rom(); }

void Spectrum::append_tape_records(const std::vector<uint8_t>& records) {
    const size_t base = tape.size();
    // The image and the blocks are shared with the machine's copies: the longer tape is a
    // new one.
    std::vector<TapeBlock> blocks = tape_deck.blocks.get();
    for (TapeBlock& b : tap_blocks_of(records)) {
        b.file_offset += base;
        b.record_offset += base;
        blocks.push_back(std::move(b));
    }
    tape_deck.blocks = std::move(blocks);
    std::vector<uint8_t> image = tape.get();
    image.insert(image.end(), records.begin(), records.end());
    tape = std::move(image);
    is_tape = 1;
}

void Spectrum::detach_tape() {
    tape.clear();
    tape_pos = 0;
    is_tape = 0;
    tape_deck.load({});
}

bool Spectrum::PatchZ80() {
    // The record's length field bounds what the loader hears: flag, data and checksum. The
    // image may end before the length says, and then what it holds is all there is.
    const size_t start = tape_pos;
    if (start + 2 > tape.size()) {
        tape_pos = tape.size();
        return false;
    }
    const size_t length = tape[start] | tape[start + 1] << 8;
    const size_t have = std::min(length, tape.size() - start - 2);
    // The real loader stores each data byte as it comes and, once DE are in, waits for the
    // checksum: a block with fewer bytes leaves it waiting for an edge that never comes.
    const size_t stored = std::min<size_t>(have ? have - 1 : 0, z80.DE);
    for (size_t i = 0; i < stored; i++) {
        writebyte(z80.IX, tape[start + 3 + i]);
        z80.IX++;
    }
    const size_t needed = size_t{z80.DE} + 2;
    tape_pos = start + 2 + std::min(have, needed);
    return have >= needed;
}

bool Spectrum::tape_load_trap() {
    if (!is_tape || !loader_paged()) return false;
    const uint16_t top = static_cast<uint16_t>(
        readbyte_internal(z80.SP) | readbyte_internal(static_cast<uint16_t>(z80.SP + 1)) << 8);
    if (top == SA_LD_RET) {
        // The loader itself, listening: the tape plays for it.
        const uint8_t* rom = basic_rom();
        if (tape_traps && rom[LD_BYTES] != LOADER_PATCH[0] && rom_patched[0] == rom[LD_BYTES])
            patch_loader(LOADER_PATCH);
        tape_deck.machine_48k = model == 48;
        tape_deck.cpu_hz = timing().clock_hz;
        if (!tape_deck.playing && !tape_deck.at_end()) tape_play();
        return false;
    }
    const long block = tape_deck.next_standard_block();
    if (block < 0 && basic_rom()[LD_BYTES] == LOADER_PATCH[0]) {
        // Not a block the trap can take, or no block left: the loader's own start runs (the
        // patch lifted for it, and put back when it reaches the hook) and listens to the
        // signal, or to the silence of a tape at its end until BREAK.
        if (tape_deck.at_end()) tape_deck.event = TapeEvent::END;
        patch_loader(rom_patched);
        z80.PC = LD_BYTES;
        return true;
    }
    if (block < 0) return false;
    tape_pos = tape_deck.blocks[static_cast<size_t>(block)].record_offset;
    tape_deck.taken(static_cast<size_t>(block));
    const bool whole = PatchZ80();
    // Return to the block loader's caller with the flags it was called with: a LOAD calls
    // with carry set, so it sees success. A block cut short fails as the loader's time-out
    // does, with carry clear (a LOAD reports a loading error; the search for a header
    // goes on to the next block).
    if (!whole) z80.AF = static_cast<uint16_t>(z80.AF & ~0x0001);
    return_from_trap();
    return true;
}

void Spectrum::return_from_trap() {
    const uint8_t low = readbyte(z80.SP);
    z80.SP++;
    const uint8_t high = readbyte(z80.SP);
    z80.SP++;
    z80.PC = static_cast<uint16_t>(low | (high << 8));
}

// The saver is entered with A the flag byte, IX the first byte and DE the count; the block
// becomes a TAP record, and the saver returns through SA/LD-RET, which it pushed first and
// which reports BREAK while SPACE is down.
bool Spectrum::tape_save_trap() {
    if (!tape_saves || !loader_paged()) return false;
    const uint8_t flag = static_cast<uint8_t>(z80.AF >> 8);
    const bool header = flag == 0x00 && z80.DE == HEADER_LENGTH;
    const uint64_t now = tape_now();

    // The key that confirmed the SAVE may still be down. The real saver plays its pilot
    // tone (five seconds before a header, two before data) before it first looks at SPACE,
    // so a key let go by then breaks nothing: the trap waits as long, here at the hook with
    // the interrupts off as the saver's DI has them, or until no key is down.
    bool key_down = false;
    for (const uint8_t row : key_rows) key_down = key_down || row != 0;
    if (save_wait_seen == 0 || now - save_wait_seen > SAVE_WAIT_TURN) save_wait_from = now;
    const uint64_t pilot = (header ? HEADER_PILOT : DATA_PILOT) * timing().clock_hz / TAPE_CLOCK_HZ;
    if (key_down && now - save_wait_from < pilot) {
        save_wait_seen = now;
        z80.IFF1 = z80.IFF2 = 0;
        z80.PC = static_cast<uint16_t>(z80.PC - 1);
        return true;
    }
    save_wait_seen = 0;

    // SPACE still down after the pilot: the saver breaks at the first byte, and SA/LD-RET
    // reports it. A header kept back for its data goes too: a tape never holds a header
    // without its data.
    if (key_rows[7] & 0x01) {
        save_header.clear();
        return_from_trap();
        return true;
    }
    // A TAP record's length field counts the flag and the checksum as well: more than
    // 65,533 data bytes cannot be written, and nothing of the save is.
    if (z80.DE > TAP_MOST_DATA) {
        save_header.clear();
        save_refused = 1;
        return_from_trap();
        return true;
    }
    const uint32_t length = z80.DE + 2u;
    std::vector<uint8_t> record = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                                   flag};
    uint8_t checksum = flag;
    for (unsigned i = 0; i < z80.DE; i++) {
        const uint8_t byte = readbyte_internal(static_cast<uint16_t>(z80.IX + i));
        record.push_back(byte);
        checksum ^= byte;
    }
    record.push_back(checksum);
    if (header) {
        // Held back until its data block follows (the ROM's SAVE pauses a second between
        // them); a header left from a save that never went on is dropped.
        save_header = std::move(record);
        save_header_at = now;
    } else {
        if (!save_header.empty() && now - save_header_at < SAVE_HEADER_HOLD)
            saved_blocks.push_back(std::move(save_header));
        save_header.clear();
        saved_blocks.push_back(std::move(record));
    }
    return_from_trap();
    return true;
}

uint8_t Spectrum::tape_ear(uint8_t value) {
    const uint64_t now = tape_now();
    if (tape_deck.playing) tape_deck.note_read(now);
    else if (!tape_deck.poll(now)) return value;
    return tape_deck.level_at(now) ? value | 0x40 : value & 0xBF;
}

void Spectrum::tape_frame_end(uint8_t* slot) {
    TapeDeck& deck = tape_deck;
    const uint64_t end = deck.frame_base + static_cast<uint64_t>(tpf);
    const uint8_t start_level = slot ? audio_tape_level : 0;
    deck.record_edges = slot != nullptr;
    if (deck.playing) {
        deck.run_to(end);
        // (A read by the instruction that crossed the frame end lies past `end`.)
        // Only a tape that started itself stops itself; one started by hand plays on.
        if (deck.playing && !deck.by_hand && end > deck.last_listen &&
            end - deck.last_listen > TAPE_IDLE_STOP)
            deck.stop();
    }
    if (!slot) return;
    // The beeper and the signal at half the loudness each: 0x00, 0x7F, 0x80 or 0xFF.
    uint8_t ear = start_level;
    size_t e = 0;
    for (int32_t k = 0; k < SAMPLES_PER_FRAME; k++) {
        const int64_t t = static_cast<int64_t>(k) * tpf / SAMPLES_PER_FRAME;
        while (e < deck.edge_times.size() && deck.edge_times[e] <= t) ear = deck.edge_levels[e++];
        slot[k] = static_cast<uint8_t>((slot[k] & 0x80) | (ear ? 0x7F : 0));
    }
    while (e < deck.edge_times.size()) ear = deck.edge_levels[e++];
    audio_tape_level = ear;
    deck.edge_times.clear();
    deck.edge_levels.clear();
}

// Channels: the complete running state of the machine in one file, saved and restored
// mid-frame included. The layout is in formats/formats.h.
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "formats/formats.h"
#include "spectrum/bytes.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t TAGS = 24;
constexpr size_t REGS = TAGS + sizeof(SpectrumHardware::RAM); // 131,096
constexpr size_t BORDER = REGS + Z80_IMAGE_SIZE;
constexpr size_t TSTATES = BORDER + 1;
constexpr size_t TSTATESD = TSTATES + 4;
constexpr size_t TSTATESH = TSTATESD + 4;
constexpr size_t BLEND_CLOCK = TSTATESH + 4;
constexpr size_t BLEND_BUFFER = BLEND_CLOCK + 4;
static_assert(BLEND_BUFFER + 1 == CHANNEL_FILE_SIZE, "the channel layout is a file format");

// The longest single step: a tape block of 65,535 bytes taken by the load trap, each byte
// a timed write that may wait 6 T-states on contended memory, with the instruction around it.
constexpr int32_t LONGEST_STEP = 65535 * (3 + 6) + 64;

constexpr char TAG_TEXT[TAGS + 1] = "VOLKMERETOBRANIKB11 SNAP";
constexpr size_t AY_TAG = CHANNEL_FILE_SIZE;
constexpr size_t AY_REGS = AY_TAG + 4;
constexpr size_t AY_SELECTED = AY_REGS + 16;
constexpr size_t AY_ON_48 = AY_SELECTED + 1;
static_assert(AY_ON_48 + 1 == CHANNEL_FILE_SIZE_WITH_AY, "the channel layout is a file format");

// The machine tail (version 1), after the sound chip's.
constexpr size_t MACHINE_TAG = CHANNEL_FILE_SIZE_WITH_AY;
constexpr size_t MACHINE_VERSION = MACHINE_TAG + 4;
constexpr size_t MODEL = MACHINE_VERSION + 1;
constexpr size_t PAGING = MODEL + 1;
constexpr size_t FRAME_LENGTH = PAGING + 1;
constexpr size_t STEP_START = FRAME_LENGTH + 4;
constexpr size_t EI_WAITING = STEP_START + 4;
constexpr size_t FLAGS_Q = EI_WAITING + 1;
constexpr size_t AFTER_LD_A_IR = FLAGS_Q + 1;
constexpr size_t LAST_OPCODE = AFTER_LD_A_IR + 1;
constexpr size_t PULLDOWN = LAST_OPCODE + 1;
constexpr size_t FLASH_COUNTER = PULLDOWN + 4;
constexpr size_t BEAM_SCREEN = FLASH_COUNTER + 4;
constexpr size_t SPEAKER_LEVELS = BEAM_SCREEN + sizeof(SpectrumHardware::RTFB);
constexpr size_t AY_GENERATORS = SPEAKER_LEVELS + 3;
constexpr size_t AY_GENERATORS_SIZE = 26;
constexpr size_t SPEAKER_COUNT = AY_GENERATORS + AY_GENERATORS_SIZE;
static_assert(SPEAKER_COUNT + 8 == CHANNEL_FILE_SIZE_WITH_MACHINE,
              "the channel layout is a file format");
constexpr size_t BORDER_EVENT_SIZE = 6;
constexpr uint8_t MACHINE_TAIL_VERSION = 1;
// The whole machine (version 2) follows the version byte.
constexpr uint8_t WHOLE_MACHINE_VERSION = 2;

int32_t get32(const std::vector<uint8_t>& image, size_t offset) {
    return ByteReader(image, offset).i32();
}

// The sound chip's generators of the first machine tail, in the order of its layout.
void get_generators(const std::vector<uint8_t>& image, AyChip& ay) {
    ByteReader r(image, AY_GENERATORS);
    for (uint16_t& count : ay.tone_count) count = r.u16();
    for (uint8_t& out : ay.tone_out) out = r.u8();
    ay.noise_count = r.u16();
    ay.noise_lfsr = r.u32();
    ay.noise_out = r.u8();
    ay.env_count = r.u16();
    ay.env_step = r.u8();
    ay.env_attack = r.u8() != 0;
    ay.env_holding = r.u8() != 0;
    ay.half_tick = r.u8() != 0;
    ay.next_tick = r.i32();
}

// Where the border events begin in a file with the machine tail (after the speaker events).
size_t border_count_at(const std::vector<uint8_t>& image) {
    return SPEAKER_COUNT + 4 + 4 * static_cast<size_t>(get32(image, SPEAKER_COUNT));
}

// Whether a file of the machine tail's size class holds a usable tail: the tag, a known
// version, counts within the machine's arrays, the file ending where they end, and every
// field that selects or indexes within what the machine can produce.
bool machine_tail_usable(const std::vector<uint8_t>& image) {
    if (std::memcmp(&image[MACHINE_TAG], "MACH", 4) != 0 ||
        image[MACHINE_VERSION] != MACHINE_TAIL_VERSION)
        return false;
    const int32_t speaker_events = get32(image, SPEAKER_COUNT);
    if (speaker_events < 0 || speaker_events > OUTSTK_SIZE) return false;
    const size_t borders = border_count_at(image);
    if (image.size() < borders + 4) return false;
    const int32_t border_events = get32(image, borders);
    if (border_events < 0 || border_events > BORDER_EVENTS_SIZE ||
        image.size() != borders + 4 + BORDER_EVENT_SIZE * static_cast<size_t>(border_events))
        return false;
    for (int32_t i = 0; i < border_events; i++) {
        const size_t at = borders + 4 + BORDER_EVENT_SIZE * static_cast<size_t>(i);
        if (image[at + 4] > 7 || image[at + 5] > 7) return false;
    }
    const int model = image[MODEL];
    if ((model != 48 && model != 128) ||
        get32(image, FRAME_LENGTH) != (model == 48 ? TPF_48 : TPF_128))
        return false;
    const auto level = [](uint8_t v) { return v == 0x00 || v == 0xFF; };
    if (image[EI_WAITING] > 2 || image[AFTER_LD_A_IR] > 1 || get32(image, PULLDOWN) < 0 ||
        get32(image, PULLDOWN) > 4 || !level(image[SPEAKER_LEVELS]) ||
        !level(image[SPEAKER_LEVELS + 1]) || !level(image[SPEAKER_LEVELS + 2]))
        return false;
    AyChip ay;
    get_generators(image, ay);
    const auto bit = [](uint8_t v) { return v <= 1; };
    return bit(ay.tone_out[0]) && bit(ay.tone_out[1]) && bit(ay.tone_out[2]) && bit(ay.noise_out) &&
           ay.env_step <= 15 && ay.noise_lfsr < (1u << 17) &&
           ay.next_tick >= -AyChip::TSTATES_PER_TICK &&
           ay.next_tick <= TPF_128 + LONGEST_STEP + AyChip::TSTATES_PER_TICK;
}

// --- The whole machine (version 2) ------------------------------------------------------
// One list of the fields, walked by the writer and by the reader, so that the two cannot
// drift apart: io(field) writes or reads each in turn. Numbers take their own size, flags
// one byte, lists their count (4 bytes) and then their items.

// The fields of the hardware record that the first part of the file does not hold, up to
// the tape deck. The tape image and the deck's blocks are not saved, and neither is what
// belongs to the tape and the ROM the user attached (is_tape, rom_patched) nor the sound
// chip's settings (stereo placement, samples a frame).
template <class H, class IO> void machine_fields(H& h, IO& io) {
    io(h.model), io(h.port_7ffd), io(h.tpf), io(h.tpfh), io(h.pulldown), io(h.flashctr);
    io(h.z80.pending_EI), io(h.z80.opcode), io(h.z80.Q), io(h.z80.after_ld_a_ir);
    io(h.RTFB), io(h.OUTNEW), io(h.OUTOLD), io(h.OUTAGE);
    io(h.key_rows), io(h.kempston);
    auto& ay = h.ay;
    io(ay.tone_count), io(ay.tone_out), io(ay.noise_count), io(ay.noise_lfsr), io(ay.noise_out);
    io(ay.env_count), io(ay.env_step), io(ay.env_attack), io(ay.env_holding), io(ay.half_tick);
    io(ay.next_tick), io(ay.amplitude), io(ay.frame_tpf), io(ay.left), io(ay.right);
    io(h.tape_pos), io(h.audio_tape_level), io(h.save_wait_from), io(h.save_wait_seen);
    io(h.OUTSTK), io(h.BORDER_EVENTS);
}

// The band-limited synthesis state is saved as it lies in memory (as the register image
// is): its running sums, floats then the level, a double.
using Steps = BandLimitedSteps;
static_assert(std::is_trivially_copyable_v<Steps>, "the synthesis state is saved as bytes");
constexpr size_t STEP_SUMS = Steps::MAX_FRAME + 2 * Steps::TAPS;
static_assert(sizeof(Steps) == STEP_SUMS * sizeof(float) + sizeof(double),
              "the synthesis state is its sums and its level");
// What a sum of steps of the chip's three channels can reach is far below this; a larger
// number (or no number at all) is no state the chip made.
constexpr double MOST_STEP_SUM = 1e6;

// A fault message of the deck, and a list of the deck's edges, at most.
constexpr size_t MOST_TEXT = 256;

struct FieldWriter {
    ByteWriter w;

    template <class T> void operator()(const T& v) {
        if constexpr (std::is_same_v<T, bool>) w.u8(v ? 1 : 0);
        else if constexpr (std::is_enum_v<T>) w.number(static_cast<uint64_t>(v), sizeof(T));
        else if constexpr (std::is_integral_v<T>) w.number(static_cast<uint64_t>(v), sizeof(T));
        else if constexpr (std::is_same_v<T, float>) w.u32(std::bit_cast<uint32_t>(v));
        else if constexpr (std::is_same_v<T, Steps>) w.append(&v, sizeof v);
        else static_assert(sizeof(T) == 0, "a field of a type the channel does not know");
    }
    template <class T, size_t N> void operator()(const T (&items)[N]) {
        for (const T& item : items) (*this)(item);
    }
    template <class T, size_t N> void operator()(const std::array<T, N>& items) {
        for (const T& item : items) (*this)(item);
    }
    template <size_t N> void operator()(const ByteBlock<N>& block) { w.append(block.bytes, N); }
    void operator()(const std::string& text) {
        w.u32(static_cast<uint32_t>(text.size()));
        w.append(text.data(), text.size());
    }
    template <class T> void list(const T* begin, size_t n) {
        w.u32(static_cast<uint32_t>(n));
        for (size_t i = 0; i < n; i++) (*this)(begin[i]);
    }
    template <class T> void operator()(const std::vector<T>& items) {
        list(items.data(), items.size());
    }
    template <class T, size_t C> void operator()(const FrameEvents<T, C>& events) {
        list(events.begin(), static_cast<size_t>(events.size()));
    }
    void operator()(const SpectrumHardware::BorderEvent& e) {
        (*this)(e.t), (*this)(e.before), (*this)(e.after);
    }
};

// Reads what FieldWriter wrote; a count past what the machine holds, a flag that is neither
// 0 nor 1, or a number of the synthesis that is not finite fails the reader.
struct FieldReader {
    ByteReader& r;

    template <class T> void operator()(T& v) {
        if constexpr (std::is_same_v<T, bool>) {
            const uint8_t b = r.u8();
            if (b > 1) r.fail();
            v = b != 0;
        } else if constexpr (std::is_enum_v<T> || std::is_integral_v<T>) {
            v = static_cast<T>(r.number(sizeof(T)));
        } else if constexpr (std::is_same_v<T, float>) {
            v = std::bit_cast<float>(r.u32());
        } else if constexpr (std::is_same_v<T, Steps>) {
            float sums[STEP_SUMS];
            double level = 0;
            r.copy(sums, sizeof sums);
            r.copy(&level, sizeof level);
            const auto sane = [](double x) {
                return std::isfinite(x) && std::fabs(x) <= MOST_STEP_SUM;
            };
            for (float x : sums)
                if (!sane(x)) r.fail();
            if (!sane(level)) r.fail();
            if (!r.ok()) return;
            uint8_t bytes[sizeof(Steps)];
            std::memcpy(bytes, sums, sizeof sums);
            std::memcpy(bytes + sizeof sums, &level, sizeof level);
            std::memcpy(static_cast<void*>(&v), bytes, sizeof bytes);
        } else {
            static_assert(sizeof(T) == 0, "a field of a type the channel does not know");
        }
    }
    template <class T, size_t N> void operator()(T (&items)[N]) {
        for (T& item : items) (*this)(item);
    }
    template <class T, size_t N> void operator()(std::array<T, N>& items) {
        for (T& item : items) (*this)(item);
    }
    template <size_t N> void operator()(ByteBlock<N>& block) { r.copy(block.bytes, N); }
    // A count read, and refused past `most`.
    size_t count(size_t most) {
        const uint32_t n = r.u32();
        if (n > most) r.fail();
        return r.ok() ? n : 0;
    }
    void operator()(std::string& text) {
        const std::vector<uint8_t> bytes = r.bytes(count(MOST_TEXT));
        text.assign(bytes.begin(), bytes.end());
    }
    template <class T> void operator()(std::vector<T>& items) {
        items.assign(count(TapeDeck::MOST_EDGES), T{});
        for (T& item : items) (*this)(item);
    }
    template <class T, size_t C> void operator()(FrameEvents<T, C>& events) {
        events.clear();
        const size_t n = count(C);
        for (size_t i = 0; i < n && r.ok(); i++) {
            T item{};
            (*this)(item);
            events.push(item);
        }
    }
    void operator()(SpectrumHardware::BorderEvent& e) {
        (*this)(e.t), (*this)(e.before), (*this)(e.after);
        if (e.before > 7 || e.after > 7) r.fail();
    }
};

// The attached tape, as far as a channel tells one from another: a channel restored with
// another tape (or none) attached cannot go on from the deck's place in the saved one.
struct TapeIdentity {
    uint64_t blocks = 0, bytes = 0;
    uint32_t crc = 0;
    bool operator==(const TapeIdentity&) const = default;

    template <class IO> void fields(IO& io) { io(blocks), io(bytes), io(crc); }
    template <class IO> void fields(IO& io) const { io(blocks), io(bytes), io(crc); }
};

TapeIdentity identity_of(const Spectrum& m) {
    TapeIdentity id;
    id.blocks = m.tape_deck.blocks.size();
    id.bytes = m.tape.size();
    const std::vector<uint8_t>& image = m.tape.get();
    // The image is never changed in place: the same one has the same CRC.
    if (&m.tape_crc_of.get() != &image) {
        uLong crc = crc32(0, Z_NULL, 0);
        for (size_t at = 0; at < image.size(); at += 1u << 30) {
            const size_t n = std::min<size_t>(image.size() - at, 1u << 30);
            crc = crc32(crc, image.data() + at, static_cast<uInt>(n));
        }
        m.tape_crc = static_cast<uint32_t>(crc);
        m.tape_crc_of = m.tape;
    }
    id.crc = m.tape_crc;
    return id;
}

// Whether the fields read make a machine that runs as the saved one did: each selects,
// counts or indexes within what the machine itself can produce.
bool whole_machine_usable(const SpectrumHardware& h, const TapeIdentity& tape) {
    const AyChip& ay = h.ay;
    const auto level = [](uint8_t v) { return v == 0x00 || v == 0xFF; };
    const auto bit = [](uint8_t v) { return v <= 1; };
    const auto amplitude = [](float a) { return a >= 0.0f && a <= 1.0f; };
    for (int r = 0; r < 16; r++)
        if (ay.regs[r] & ~AY_REGISTER_MASK[r]) return false;
    return (h.model == 48 || h.model == 128) && h.tpf == (h.model == 48 ? TPF_48 : TPF_128) &&
           h.tpfh == TPFH && h.pulldown >= 0 && h.pulldown <= 4 && h.z80.pending_EI <= 2 &&
           h.z80.after_ld_a_ir <= 1 && level(h.OUTNEW) && level(h.OUTOLD) && level(h.OUTAGE) &&
           bit(ay.tone_out[0]) && bit(ay.tone_out[1]) && bit(ay.tone_out[2]) && bit(ay.noise_out) &&
           ay.env_step <= 15 && ay.noise_lfsr < (1u << 17) &&
           ay.next_tick >= -AyChip::TSTATES_PER_TICK &&
           ay.next_tick <= TPF_128 + LONGEST_STEP + AyChip::TSTATES_PER_TICK &&
           amplitude(ay.amplitude[0]) && amplitude(ay.amplitude[1]) && amplitude(ay.amplitude[2]) &&
           (ay.frame_tpf == TPF_48 || ay.frame_tpf == TPF_128) && h.tape_pos <= tape.bytes &&
           h.tape_deck.check_state(tape.blocks);
}

// Reads a whole-machine channel into `h`, which holds what the file does not (the attached
// tape, the ROM's patch, the settings); `tape` is the tape the channel was saved with.
// False when any of it is damaged, out of range or missing, or anything follows it.
bool read_whole_machine(const std::vector<uint8_t>& image, SpectrumHardware& h,
                        TapeIdentity& tape) {
    ByteReader r(image, TAGS);
    FieldReader io{r};
    io(h.RAM);
    r.copy(&h.z80, Z80_IMAGE_SIZE);
    io(h.port_fe), io(h.tstates), io(h.tstatesd), io(h.tstatesh), io(h.IFBCLK), io(h.IFB_buffer);
    r.skip(4); // the sound chip's tag
    io(h.ay.regs), io(h.ay.selected), io(h.ay_on_48);
    r.skip(5); // the machine's tag and version
    machine_fields(h, io);
    tape.fields(io);
    h.tape_deck.each_state_field(io);
    return r.ok() && r.at_end() && whole_machine_usable(h, tape);
}
} // namespace

std::vector<uint8_t> channel_image(const Spectrum& m) {
    std::vector<uint8_t> image;
    image.reserve(CHANNEL_FILE_SIZE_WITH_MACHINE + sizeof(Steps) * 2);
    FieldWriter io{ByteWriter(image)};
    io.w.append(TAG_TEXT, TAGS);
    io(m.RAM);
    io.w.append(&m.z80, Z80_IMAGE_SIZE);
    io(m.port_fe), io(m.tstates), io(m.tstatesd), io(m.tstatesh), io(m.IFBCLK), io(m.IFB_buffer);
    io.w.append("AY38", 4);
    io(m.ay.regs), io(m.ay.selected), io(m.ay_on_48);
    io.w.append("MACH", 4);
    io.w.u8(WHOLE_MACHINE_VERSION);
    machine_fields(m, io);
    identity_of(m).fields(io);
    m.tape_deck.each_state_field(io);
    return image;
}

bool channel_usable(const std::vector<uint8_t>& image) {
    if (image.size() > MACHINE_VERSION && std::memcmp(&image[MACHINE_TAG], "MACH", 4) == 0 &&
        image[MACHINE_VERSION] == WHOLE_MACHINE_VERSION) {
        if (std::memcmp(&image[AY_TAG], "AY38", 4) != 0) return false;
        auto h = std::make_unique<SpectrumHardware>();
        TapeIdentity tape;
        if (!read_whole_machine(image, *h, tape)) return false;
    } else if (image.size() >= CHANNEL_FILE_SIZE_WITH_AY) {
        if (std::memcmp(&image[AY_TAG], "AY38", 4) != 0 || image[AY_ON_48] > 1) return false;
        if (image.size() != CHANNEL_FILE_SIZE_WITH_AY &&
            (image.size() < CHANNEL_FILE_SIZE_WITH_MACHINE || !machine_tail_usable(image)))
            return false;
    } else if (image.size() != CHANNEL_FILE_SIZE) {
        return false;
    }
    const auto within = [](int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; };
    // The counters as the machine leaves them: a frame end takes tpf or tpfh off a counter
    // that has reached it, so neither is ever negative, and one step (at most a whole tape
    // block) carries them past their frame end by no more than its own length.
    if (!within(get32(image, TSTATES), 0, TPF_128 + LONGEST_STEP) ||
        !within(get32(image, TSTATESD), 0, LONGEST_STEP) ||
        !within(get32(image, TSTATESH), 0, TPFH + LONGEST_STEP))
        return false;
    // The two blending counters index the picture surfaces and the weight table.
    if (!within(get32(image, BLEND_CLOCK), 0, 5) || image[BLEND_BUFFER] > 2) return false;
    // The register fields that select what the CPU does: the interrupt mode picks the
    // acceptance sequence, the flip-flops and the HALT state are true or false.
    Z80 z80{};
    std::memcpy(&z80, &image[REGS], Z80_IMAGE_SIZE);
    return z80.IM <= 2 && z80.IFF1 <= 1 && z80.IFF2 <= 1 && (z80.halted == 0 || z80.halted == 1);
}

void restore_channel(Spectrum& m, const std::vector<uint8_t>& image) {
    if (!channel_usable(image)) return;
    if (image.size() > MACHINE_VERSION && image[MACHINE_VERSION] == WHOLE_MACHINE_VERSION) {
        // Parsed into a copy: the machine changes only when the whole file has been read.
        auto h = std::make_unique<SpectrumHardware>(m.hardware());
        TapeIdentity tape;
        if (!read_whole_machine(image, *h, tape)) return;
        if (!(tape == identity_of(m))) {
            // Another tape: it starts from its beginning.
            h->tape_deck.rewind();
            h->tape_pos = 0;
        }
        m.hardware() = *h;
        m.map_slot3(m.model == 128 ? m.port_7ffd & 7 : 0);
        return;
    }
    std::memcpy(m.RAM, &image[TAGS], sizeof m.RAM);
    std::memcpy(&m.z80, &image[REGS], Z80_IMAGE_SIZE);
    m.z80.pending_EI = 0;
    m.z80.Q = 0;
    m.z80.after_ld_a_ir = 0;
    m.port_fe = image[BORDER];
    m.tstates = get32(image, TSTATES);
    m.tstatesd = get32(image, TSTATESD);
    m.tstatesh = get32(image, TSTATESH);
    m.IFBCLK = get32(image, BLEND_CLOCK);
    m.IFB_buffer = image[BLEND_BUFFER];
    m.ay.reset();
    if (image.size() >= CHANNEL_FILE_SIZE_WITH_AY) {
        for (int r = 0; r < 16; r++) m.ay.regs[r] = image[AY_REGS + r] & AY_REGISTER_MASK[r];
        m.ay.selected = image[AY_SELECTED];
        m.ay_on_48 = image[AY_ON_48] != 0;
    }
    if (image.size() < CHANNEL_FILE_SIZE_WITH_MACHINE) return;
    m.model = image[MODEL];
    m.tpf = get32(image, FRAME_LENGTH);
    m.ay.frame_tpf = m.tpf;
    m.port_7ffd = image[PAGING];
    m.map_slot3(m.model == 128 ? image[PAGING] & 7 : 0);
    m.z80.pending_EI = image[EI_WAITING];
    m.z80.Q = image[FLAGS_Q];
    m.z80.after_ld_a_ir = image[AFTER_LD_A_IR];
    m.z80.opcode = image[LAST_OPCODE];
    m.pulldown = get32(image, PULLDOWN);
    m.flashctr = get32(image, FLASH_COUNTER);
    std::memcpy(m.RTFB, &image[BEAM_SCREEN], sizeof m.RTFB);
    m.OUTNEW = image[SPEAKER_LEVELS];
    m.OUTOLD = image[SPEAKER_LEVELS + 1];
    m.OUTAGE = image[SPEAKER_LEVELS + 2];
    get_generators(image, m.ay);
    m.OUTSTK.clear();
    const int32_t speaker_events = get32(image, SPEAKER_COUNT);
    for (int32_t i = 0; i < speaker_events; i++)
        m.OUTSTK.push(get32(image, SPEAKER_COUNT + 4 + 4 * i));
    const size_t borders = border_count_at(image);
    m.BORDER_EVENTS.clear();
    const int32_t border_events = get32(image, borders);
    for (int32_t i = 0; i < border_events; i++) {
        const size_t at = borders + 4 + BORDER_EVENT_SIZE * static_cast<size_t>(i);
        m.BORDER_EVENTS.push({get32(image, at), image[at + 4], image[at + 5]});
    }
}

// Channels: the complete running state of the machine in one file, saved and restored
// mid-frame included. The layout is in formats/formats.h.
#include <cstring>
#include <vector>

#include "formats/formats.h"
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

void put32(std::vector<uint8_t>& image, size_t offset, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++) image[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t get32(const std::vector<uint8_t>& image, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(image[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

int16_t get16(const std::vector<uint8_t>& image, size_t offset) {
    return static_cast<int16_t>(image[offset] | image[offset + 1] << 8);
}

void push32(std::vector<uint8_t>& image, int32_t value) {
    image.resize(image.size() + 4);
    put32(image, image.size() - 4, value);
}

// The sound chip's generators, in the order of the layout in formats/formats.h.
void put_generators(std::vector<uint8_t>& image, const AyChip& ay) {
    size_t at = AY_GENERATORS;
    const auto byte = [&](int v) { image[at++] = static_cast<uint8_t>(v); };
    for (uint16_t count : ay.tone_count) byte(count), byte(count >> 8);
    for (uint8_t out : ay.tone_out) byte(out);
    byte(ay.noise_count), byte(ay.noise_count >> 8);
    put32(image, at, static_cast<int32_t>(ay.noise_lfsr));
    at += 4;
    byte(ay.noise_out);
    byte(ay.env_count), byte(ay.env_count >> 8);
    byte(ay.env_step), byte(ay.env_attack), byte(ay.env_holding), byte(ay.half_tick);
    put32(image, at, ay.next_tick);
}

void get_generators(const std::vector<uint8_t>& image, AyChip& ay) {
    size_t at = AY_GENERATORS;
    for (uint16_t& count : ay.tone_count) count = static_cast<uint16_t>(get16(image, at)), at += 2;
    for (uint8_t& out : ay.tone_out) out = image[at++];
    ay.noise_count = static_cast<uint16_t>(get16(image, at));
    ay.noise_lfsr = static_cast<uint32_t>(get32(image, at + 2));
    ay.noise_out = image[at + 6];
    ay.env_count = static_cast<uint16_t>(get16(image, at + 7));
    ay.env_step = image[at + 9];
    ay.env_attack = image[at + 10] != 0;
    ay.env_holding = image[at + 11] != 0;
    ay.half_tick = image[at + 12] != 0;
    ay.next_tick = get32(image, at + 13);
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

} // namespace

std::vector<uint8_t> channel_image(const Spectrum& m) {
    std::vector<uint8_t> image(CHANNEL_FILE_SIZE_WITH_AY);
    std::memcpy(&image[0], TAG_TEXT, TAGS);
    std::memcpy(&image[TAGS], m.RAM, sizeof m.RAM);
    std::memcpy(&image[REGS], &m.z80, Z80_IMAGE_SIZE);
    image[BORDER] = m.port_fe;
    put32(image, TSTATES, m.tstates);
    put32(image, TSTATESD, m.tstatesd);
    put32(image, TSTATESH, m.tstatesh);
    put32(image, BLEND_CLOCK, m.IFBCLK);
    image[BLEND_BUFFER] = m.IFB_buffer;
    std::memcpy(&image[AY_TAG], "AY38", 4);
    std::memcpy(&image[AY_REGS], m.ay.regs.data(), 16);
    image[AY_SELECTED] = m.ay.selected;
    image[AY_ON_48] = m.ay_on_48 ? 1 : 0;

    image.resize(SPEAKER_COUNT + 4);
    std::memcpy(&image[MACHINE_TAG], "MACH", 4);
    image[MACHINE_VERSION] = MACHINE_TAIL_VERSION;
    image[MODEL] = static_cast<uint8_t>(m.model);
    image[PAGING] = m.port_7ffd;
    put32(image, FRAME_LENGTH, m.tpf);
    put32(image, STEP_START, m.tstates - m.tstatesd);
    image[EI_WAITING] = m.z80.pending_EI;
    image[FLAGS_Q] = m.z80.Q;
    image[AFTER_LD_A_IR] = m.z80.after_ld_a_ir;
    image[LAST_OPCODE] = m.z80.opcode;
    put32(image, PULLDOWN, m.pulldown);
    put32(image, FLASH_COUNTER, m.flashctr);
    std::memcpy(&image[BEAM_SCREEN], m.RTFB, sizeof m.RTFB);
    image[SPEAKER_LEVELS] = m.OUTNEW;
    image[SPEAKER_LEVELS + 1] = m.OUTOLD;
    image[SPEAKER_LEVELS + 2] = m.OUTAGE;
    put_generators(image, m.ay);
    put32(image, SPEAKER_COUNT, m.OUTSTK.size());
    for (int32_t t : m.OUTSTK) push32(image, t);
    push32(image, m.BORDER_EVENTS.size());
    for (int32_t i = 0; i < m.BORDER_EVENTS.size(); i++) {
        push32(image, m.BORDER_EVENTS[i].t);
        image.push_back(m.BORDER_EVENTS[i].before);
        image.push_back(m.BORDER_EVENTS[i].after);
    }
    return image;
}

bool channel_usable(const std::vector<uint8_t>& image) {
    if (image.size() >= CHANNEL_FILE_SIZE_WITH_AY) {
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

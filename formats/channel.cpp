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

void put32(std::vector<uint8_t>& image, size_t offset, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++) image[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t get32(const std::vector<uint8_t>& image, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= static_cast<uint32_t>(image[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
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
    return image;
}

bool channel_usable(const std::vector<uint8_t>& image) {
    if (image.size() == CHANNEL_FILE_SIZE_WITH_AY) {
        if (std::memcmp(&image[AY_TAG], "AY38", 4) != 0 || image[AY_ON_48] > 1) return false;
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
    if (image.size() == CHANNEL_FILE_SIZE_WITH_AY) {
        for (int r = 0; r < 16; r++) m.ay.regs[r] = image[AY_REGS + r] & AY_REGISTER_MASK[r];
        m.ay.selected = image[AY_SELECTED];
        m.ay_on_48 = image[AY_ON_48] != 0;
    }
}

// Channels: the complete running state of the machine in one file, saved and restored
// mid-frame included. The layout is in formats/formats.h.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "formats/formats.h"
#include "spectrum/machine.h"

namespace {
constexpr size_t TAGS = 24;
constexpr size_t REGS = TAGS + sizeof(SpectrumState::RAM); // 131,096
constexpr size_t BORDER = REGS + Z80_IMAGE_SIZE;
constexpr size_t TSTATES = BORDER + 1;
constexpr size_t TSTATESD = TSTATES + 4;
constexpr size_t TSTATESH = TSTATESD + 4;
constexpr size_t BLEND_CLOCK = TSTATESH + 4;
constexpr size_t BLEND_BUFFER = BLEND_CLOCK + 4;
static_assert(BLEND_BUFFER + 1 == CHANNEL_FILE_SIZE, "the channel layout is a file format");

constexpr char TAG_TEXT[TAGS + 1] = "VOLKMERETOBRANIKB11 SNAP";

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
    std::vector<uint8_t> image(CHANNEL_FILE_SIZE);
    std::memcpy(&image[0], TAG_TEXT, TAGS);
    std::memcpy(&image[TAGS], m.RAM, sizeof m.RAM);
    std::memcpy(&image[REGS], &m.z80, Z80_IMAGE_SIZE);
    image[BORDER] = m.IO[0xFE];
    put32(image, TSTATES, m.tstates);
    put32(image, TSTATESD, m.tstatesd);
    put32(image, TSTATESH, m.tstatesh);
    put32(image, BLEND_CLOCK, m.IFBCLK);
    image[BLEND_BUFFER] = m.IFB_buffer;
    return image;
}

bool write_file_atomic(const std::string& name, const std::vector<uint8_t>& image) {
    const std::string temporary = name + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    ok = std::fclose(file) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, name, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

std::vector<uint8_t> read_file_prefix(const std::string& name, size_t limit) {
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) return {};
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return {};
    std::vector<uint8_t> image(limit);
    image.resize(std::fread(image.data(), 1, image.size(), file));
    std::fclose(file);
    return image;
}

bool channel_usable(const std::vector<uint8_t>& image) {
    if (image.size() != CHANNEL_FILE_SIZE) return false;
    const int32_t clock = get32(image, BLEND_CLOCK);
    return clock >= 0 && clock <= 5 && image[BLEND_BUFFER] <= 2;
}
void restore_channel(Spectrum& m, const std::vector<uint8_t>& image) {
    std::memcpy(m.RAM, &image[TAGS], sizeof m.RAM);
    std::memcpy(&m.z80, &image[REGS], Z80_IMAGE_SIZE);
    m.z80.pending_EI = 0;
    m.z80.Q = 0;
    m.z80.after_ld_a_ir = 0;
    m.IO[0xFE] = image[BORDER];
    m.tstates = get32(image, TSTATES);
    m.tstatesd = get32(image, TSTATESD);
    m.tstatesh = get32(image, TSTATESH);
    m.IFBCLK = get32(image, BLEND_CLOCK);
    m.IFB_buffer = image[BLEND_BUFFER];
}

// Channels 0 to 9: the complete running state of the machine in the file "CH<n>" beside the
// executable, saved and restored by a key press, mid-frame included.
//
// Channel file (integers little-endian, 131,158 bytes):
//   offset   size     content
//        0      8     "VOLKMERE"
//        8      8     "TOBRANIK"
//       16      4     "B11 "
//       20      4     "SNAP"
//       24  131072    RAM, banks 0 to 7
//   131096     44     the register image: the first 44 bytes of z80 as they lie in memory
//   131140      1     IO[0xFE], the last byte written to port 0xFE
//   131141      4     tstates
//   131145      4     tstatesd
//   131149      4     tstatesh
//   131153      4     IFBCLK
//   131157      1     IFB_buffer
//
// Not stored: model, tpf, the paging (slot table and IO[0x7FFD]), the ROM and its tape
// patch, a pending EI, this frame's speaker events, the audio and display state.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/machine.h"
#include "files/files.h"
#include "text/text.h"
#include "z80/z80.h"

namespace {
constexpr size_t TAGS = 24;
constexpr size_t REGS = TAGS + sizeof RAM; // 131,096
constexpr size_t BORDER = REGS + sizeof(Z80);
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

void message(const char* format, int n) {
    std::snprintf(TXTLNBUF, sizeof TXTLNBUF, format, n);
    post_message(TXTLNBUF);
}

std::vector<uint8_t> channel_image() {
    std::vector<uint8_t> image(CHANNEL_FILE_SIZE);
    std::memcpy(&image[0], TAG_TEXT, TAGS);
    std::memcpy(&image[TAGS], RAM, sizeof RAM);
    std::memcpy(&image[REGS], &z80, sizeof(Z80));
    image[BORDER] = IO[0xFE];
    put32(image, TSTATES, tstates);
    put32(image, TSTATESD, tstatesd);
    put32(image, TSTATESH, tstatesh);
    put32(image, BLEND_CLOCK, IFBCLK);
    image[BLEND_BUFFER] = IFB_buffer;
    return image;
}

// The whole image goes to a temporary file beside the channel, which replaces the old
// channel only once it is completely written: a full disk or a write error never costs the
// previous save.
bool write_channel(const std::string& name, const std::vector<uint8_t>& image) {
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

// The file whole, or empty when it cannot be read; one byte more than a channel is enough
// to tell a longer file.
std::vector<uint8_t> read_channel(const std::string& name) {
    std::error_code ec;
    if (std::filesystem::is_directory(name, ec)) return {};
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (!file) return {};
    std::vector<uint8_t> image(CHANNEL_FILE_SIZE + 1);
    image.resize(std::fread(image.data(), 1, image.size(), file));
    std::fclose(file);
    return image;
}

// The tags are not looked at; the two blending counters index the picture surfaces and the
// weight table, so a value out of their range would make the file unusable.
bool channel_usable(const std::vector<uint8_t>& image) {
    if (image.size() != CHANNEL_FILE_SIZE) return false;
    const int32_t clock = get32(image, BLEND_CLOCK);
    return clock >= 0 && clock <= 5 && image[BLEND_BUFFER] <= 2;
}
} // namespace

std::string channel_name(int n) { return application_path + "CH" + std::to_string(n); }

void save_channel(int n) {
    message(" SAVE CHANNEL %1d ", n);
    if (!write_channel(channel_name(n), channel_image())) post_message(" SAVE FAILED ");
}

void load_channel(int n) {
    message(" LOAD CHANNEL %1d ", n);
    const std::string name = channel_name(n);
    std::error_code ec;
    if (!std::filesystem::exists(name, ec)) return; // never saved: the machine runs on
    const std::vector<uint8_t> image = read_channel(name);
    if (!channel_usable(image)) {
        post_message(" BAD CHANNEL FILE ");
        return;
    }
    std::memcpy(RAM, &image[TAGS], sizeof RAM);
    std::memcpy(&z80, &image[REGS], sizeof(Z80));
    IO[0xFE] = image[BORDER];
    tstates = get32(image, TSTATES);
    tstatesd = get32(image, TSTATESD);
    tstatesh = get32(image, TSTATESH);
    IFBCLK = get32(image, BLEND_CLOCK);
    IFB_buffer = image[BLEND_BUFFER];
}

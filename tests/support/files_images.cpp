#include "tests/support/files_images.h"

#include <fstream>
#include <random>
#include <stdexcept>
#include <utility>

#include "spectrum/machine.h"
#include "tests/support/support.h"

uint8_t chunk_byte(int n, int j) { return static_cast<uint8_t>((n + 1) * 29 + j * 3 + (j >> 8)); }

namespace {
void put16(std::vector<uint8_t>& b, size_t offset, uint16_t v) {
    b[offset] = static_cast<uint8_t>(v);
    b[offset + 1] = static_cast<uint8_t>(v >> 8);
}
} // namespace

std::vector<uint8_t> sna_image(size_t size, uint8_t paging) {
    std::vector<uint8_t> full(SNA_128K_SIX_SIZE);
    const std::pair<size_t, uint16_t> words[] = {
        {1, 0x1122},  {3, 0x3344},  {5, 0x5566},  {7, 0x7788},  {9, 0x99AA},  {11, 0xBBCC},
        {13, 0xDDEE}, {15, 0x5C3A}, {17, 0xFEDC}, {21, 0x1234}, {23, 0x8000}, {49179, 0x6E5D}};
    for (const auto& [offset, value] : words) put16(full, offset, value);
    full[0] = 0x3F;
    full[19] = 0x04;
    full[20] = 0xA5;
    full[25] = 1;
    full[26] = 0x03;
    full[49181] = paging;
    // Images 0-2 from offset 27, images 3-8 from 49,183.
    for (int n = 0; n < 9; n++) {
        const size_t start = n < 3 ? 27 + n * 16384 : 49183 + (n - 3) * 16384;
        for (int j = 0; j < 16384; j++) full[start + j] = chunk_byte(n, j);
    }
    full.resize(size);
    return full;
}

std::vector<uint8_t> tap_block(uint8_t flag, const std::vector<uint8_t>& data) {
    const size_t length = data.size() + 2;
    std::vector<uint8_t> block{static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                               flag};
    uint8_t sum = flag;
    for (uint8_t b : data) {
        block.push_back(b);
        sum ^= b;
    }
    block.push_back(sum);
    return block;
}

std::vector<uint8_t> tzx_image(const std::vector<std::vector<uint8_t>>& blocks) {
    std::vector<uint8_t> image = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
    for (const auto& b : blocks) image.insert(image.end(), b.begin(), b.end());
    return image;
}

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() : previous_cwd_(std::filesystem::current_path()) {
    std::random_device random;
    for (;;) {
        path_ = std::filesystem::temp_directory_path() /
                ("marrowgleam-files-" + std::to_string(random()));
        if (std::filesystem::create_directory(path_)) break;
    }
    std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_cwd_, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void TempDir::file(const std::string& relative, const std::vector<uint8_t>& bytes) const {
    write_file(path_ / relative, bytes);
}

void TempDir::directory(const std::string& relative) const {
    std::filesystem::create_directories(path_ / relative);
}

MachineState capture_state() {
    const Spectrum& m = test_machine();
    MachineState s;
    s.ram.assign(m.RAM.begin(), m.RAM.end());
    s.rom = m.ROMS.get();
    const auto* regs = reinterpret_cast<const uint8_t*>(&m.z80);
    s.regs.assign(regs, regs + sizeof m.z80);
    s.tape = m.tape.get();
    s.border = m.port_fe;
    s.paging = m.port_7ffd;
    s.is_snapshot = m.is_snapshot;
    s.is_tape = m.is_tape;
    s.ifb_buffer = m.IFB_buffer;
    s.model = m.model;
    s.tpf = m.tpf;
    s.tstates = m.tstates;
    s.tstatesd = m.tstatesd;
    s.tstatesh = m.tstatesh;
    s.ifbclk = m.IFBCLK;
    s.slot3 = m.SLTPTR[3];
    s.tape_pos = m.tape_pos;
    return s;
}

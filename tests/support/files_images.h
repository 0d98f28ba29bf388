// Building snapshot, tape and channel images for the file tests, temporary directories, and
// a copy of the machine state to tell whether a load changed anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// SNA sizes: 48K; 128K with five extra banks; 128K with six (paged bank 2 or 5).
constexpr size_t SNA_48K_SIZE = 49179;
constexpr size_t SNA_128K_SIZE = 131103;
constexpr size_t SNA_128K_SIX_SIZE = 147487;

// The n-th 16 KiB image of a test snapshot (0-2 the 48K part, 3.. the extra banks) holds
// chunk_byte(n, j) at its offset j, so a bank's contents tell which image it came from.
uint8_t chunk_byte(int n, int j);

// A snapshot of `size` bytes (any size) with the test header below, paging byte `paging`
// (written only when the size reaches it) and the images filled by chunk_byte.
//   I 0x3F, HL' 0x1122, DE' 0x3344, BC' 0x5566, AF' 0x7788, HL 0x99AA, DE 0xBBCC,
//   BC 0xDDEE, IY 0x5C3A, IX 0xFEDC, flags 0x04, R 0xA5, AF 0x1234, SP 0x8000, IM 1,
//   border 0x03; for 128K PC 0x6E5D.
std::vector<uint8_t> sna_image(size_t size, uint8_t paging = 0);

// One TAP block: length, flag, data, checksum (the XOR of flag and data).
std::vector<uint8_t> tap_block(uint8_t flag, const std::vector<uint8_t>& data);

// A TZX image (version 1.20) of the given blocks, each with its ID byte.
std::vector<uint8_t> tzx_image(const std::vector<std::vector<uint8_t>>& blocks);

void write_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::filesystem::path& path);

// A fresh directory under the system's temporary directory, made the current directory;
// when the object goes, the current directory is put back and the tree removed.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Creates an empty file (or one holding `bytes`) at path() / relative.
    void file(const std::string& relative, const std::vector<uint8_t>& bytes = {}) const;
    void directory(const std::string& relative) const;

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_cwd_;
};

// Everything a load or a channel restore may change, of the tests' machine.
struct MachineState {
    std::vector<uint8_t> ram, rom, regs, tape;
    uint8_t border, paging, is_snapshot, is_tape, ifb_buffer;
    int32_t model, tpf, tstates, tstatesd, tstatesh, ifbclk;
    const uint8_t* slot3;
    size_t tape_pos;
    bool operator==(const MachineState&) const = default;
};
MachineState capture_state();

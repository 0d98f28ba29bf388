// File formats read into and written from a machine: SNA snapshots, TAP images and the
// channel files. They return a result and show nothing; the interface turns a result into
// its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class Spectrum;

// The directory part of `path` up to and including its last '/', or "" when it has none.
std::string getpath(const std::string& path);

// The last three characters of `name`, upper-cased; empty when it has 3 characters or fewer.
std::string getext(const std::string& name);

struct LoadResult {
    enum Status { DONE, CANNOT_OPEN, REFUSED };
    Status status;
    std::string why; // for REFUSED: the reason, in words

    explicit operator bool() const { return status == DONE; }
};

// A tape image is read whole, up to this size.
constexpr size_t TAPE_LIMIT = size_t{64} << 20;

// Loads a snapshot ("SNA") or attaches a tape image ("TAP") and resets the machine; any
// other name only resets it. Changes nothing when the file cannot be opened (CANNOT_OPEN)
// or is a directory or a snapshot too short to hold what its size class needs (REFUSED).
LoadResult load_speccy(Spectrum& m, const std::string& path);

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
// patch, a pending EI, the Zilog model's Q and LD A,I / LD A,R state, the CPU model, this
// frame's speaker events, the audio and display state. A restore clears the pending EI and
// the Zilog model's state (the machine's own belong to another moment).
constexpr size_t CHANNEL_FILE_SIZE = 131158;

// The machine as a channel file.
std::vector<uint8_t> channel_image(const Spectrum& m);

// Whether `image` is a channel this machine can take: the right size, and the two blending
// counters (which index the picture surfaces and the weight table) in their range. The
// tags are not looked at.
bool channel_usable(const std::vector<uint8_t>& image);

// Puts a usable channel image into the machine.
void restore_channel(Spectrum& m, const std::vector<uint8_t>& image);

// Writes `bytes` to a temporary file beside `path`, which replaces `path` only once it is
// completely written: a full disk or a write error never costs what was there. False (the
// old file intact) when it could not be written.
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes);

// Up to `limit` bytes of a file; empty when it cannot be read (or is a directory).
std::vector<uint8_t> read_file_prefix(const std::string& path, size_t limit);

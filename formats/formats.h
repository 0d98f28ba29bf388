// File formats read into and written from a machine: SNA snapshots, TAP images and the
// channel files. They return a result and show nothing; the interface turns a result into
// its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

// Loads a snapshot ("SNA", "Z80", "SZX"; see formats/snapshots.h) or attaches a tape image
// ("TAP" or "TZX") and resets the machine. Changes nothing when the file cannot be opened
// (CANNOT_OPEN, `why` the system's error text) or is refused (REFUSED, `why` the reason): a
// file that is not a regular file (a directory, a named pipe, a device), a name of any other
// type, a snapshot too short to hold what its size class needs or malformed, a "TZX" file
// without the TZX signature.
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
//
// Then, in files written since the machine has a sound chip, a tail of 22 bytes:
//   131158      4     "AY38"
//   131162     16     the sound chip's registers
//   131178      1     the selected register
//   131179      1     1 when a 48K has the add-on chip, else 0
// A file without the tail loads as before: the chip's registers are then cleared and the
// add-on stays as it was. The chip's generators restart from their reset state either way.
constexpr size_t CHANNEL_AY_TAIL_SIZE = 22;
constexpr size_t CHANNEL_FILE_SIZE_WITH_AY = CHANNEL_FILE_SIZE + CHANNEL_AY_TAIL_SIZE;

// The machine as a channel file.
std::vector<uint8_t> channel_image(const Spectrum& m);

// Whether `image` is a channel this machine can take: the right size, and every field that
// counts, indexes or selects within what the machine itself can produce (tstates, tstatesh
// and tstatesd from 0 to a frame plus the longest step, IFBCLK 0-5, IFB_buffer 0-2, IM 0-2,
// IFF1, IFF2 and halted 0 or 1). The tags are not looked at.
bool channel_usable(const std::vector<uint8_t>& image);

// Puts a usable channel image into the machine.
void restore_channel(Spectrum& m, const std::vector<uint8_t>& image);

// Writes `bytes` to a temporary file beside `path`, flushed to the disk, which then
// replaces `path`: a full disk, a write error or a crash never costs what was there. False
// (the old file intact) when it could not be written.
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes);

struct AppendResult {
    // READ_ONLY: the user may not write the file (no write permission bit, access denied, a
    // read-only file system); FAILED: anything else, the file as it was.
    enum Status { DONE, READ_ONLY, FAILED };
    Status status;
    std::string why; // the reason, in words (the system's error text where it has one)

    explicit operator bool() const { return status == DONE; }
};

// Appends `bytes` to the regular file `path`, which must be `expected_length` bytes long: it
// is opened for appending (never read back, rewritten or shortened), written and flushed to
// the disk. On a failure after opening it is cut back to `expected_length`, so that it stays
// as it was. A file without any write permission bit counts as read-only for every user.
AppendResult append_file(const std::string& path, const std::vector<uint8_t>& bytes,
                         uint64_t expected_length);

// Opens `path` for reading, but only a regular file: its type is looked at before it is
// opened (a named pipe, a device, a socket or a directory is never opened, so nothing waits
// on it) and again once it is open. Null on failure, with `result` CANNOT_OPEN and the
// system's error text ("No such file or directory", "Permission denied", ...) or REFUSED
// and what the file is ("it is a named pipe (FIFO)"); DONE otherwise.
std::FILE* open_regular_file(const std::string& path, LoadResult& result);

// Up to `limit` bytes of a regular file into `bytes`; the result as open_regular_file gives
// it (CANNOT_OPEN with the error text also when reading fails).
LoadResult read_regular_file(const std::string& path, size_t limit, std::vector<uint8_t>& bytes);

// Up to `limit` bytes of a regular file; empty when it cannot be read or is not a regular
// file.
std::vector<uint8_t> read_file_prefix(const std::string& path, size_t limit);

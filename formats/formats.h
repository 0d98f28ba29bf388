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

// A tape image is read whole, up to this size; a larger one is refused.
constexpr size_t TAPE_LIMIT = size_t{64} << 20;

// Loads a snapshot ("SNA", "Z80", "SZX"; see formats/snapshots.h) or attaches a tape image
// ("TAP" or "TZX") and resets the machine. Changes nothing when the file cannot be opened
// (CANNOT_OPEN, `why` the system's error text) or is refused (REFUSED, `why` the reason): a
// file that is not a regular file (a directory, a named pipe, a device), a name of any other
// type, a snapshot too short to hold what its size class needs or malformed, a "TZX" file
// without the TZX signature, a tape image over TAPE_LIMIT, a tape whose blocks the
// computer has not the memory for.
LoadResult load_speccy(Spectrum& m, const std::string& path);

// Channel file (integers little-endian, 131,158 bytes):
//   offset   size     content
//        0      8     "VOLKMERE"
//        8      8     "TOBRANIK"
//       16      4     "B11 "
//       20      4     "SNAP"
//       24  131072    RAM, banks 0 to 7
//   131096     44     the register image: the first 44 bytes of z80 as they lie in memory
//   131140      1     port_fe, the last byte written to port 0xFE
//   131141      4     tstates
//   131145      4     tstatesd
//   131149      4     tstatesh
//   131153      4     IFBCLK
//   131157      1     IFB_buffer
//
// Files of this first layout do not hold the model, tpf, the paging, a pending EI, the Zilog
// model's Q and LD A,I / LD A,R state or this frame's speaker events: their restore keeps
// the model and paging the machine had, and clears the pending EI and the Zilog model's
// state (the machine's own belong to another moment). The machine tail below holds them.
// No channel holds the ROM and its tape patch, the tape, the CPU model or the host's audio
// and display state; only the whole-machine layout below holds the keys held.
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
//
// Then, in the files of one earlier version, the machine tail (version 1), whose last two
// parts have a length of their own:
//   131180      4     "MACH"
//   131184      1     1, the version of the tail
//   131185      1     model: 48 or 128
//   131186      1     port_7ffd, the last byte written to port 0x7FFD (bank, screen, lock)
//   131187      4     tpf, the logical frame's length (that of the model)
//   131191      4     the T-state the last step began at (tstates - tstatesd); not read back
//   131195      1     pending_EI (0-2)
//   131196      1     Q
//   131197      1     after_ld_a_ir (0 or 1)
//   131198      1     the opcode the decode last dispatched on
//   131199      4     pulldown (0-4)
//   131203      4     flashctr
//   131207   6912     RTFB, the beam's copy of the screen in this frame
//   138119      3     OUTNEW, OUTOLD, OUTAGE (each 0x00 or 0xFF)
//   138122     26     the sound chip's generators: the tone counters (3 x 2), the tone
//                     outputs (3), the noise counter (2), the noise shift register (4), the
//                     noise output, the envelope counter (2), step (0-15), attack, holding,
//                     the half tick (each 0 or 1), the T-state of the next tick (4)
//   138148      4     OUTSP, n speaker events (0-7000), then n x 4 their T-states
//              4     the number of border events k (0-8192), then k x 6: the T-state (4),
//                     the colour before and after (0-7)
// A file without this tail loads as before. The restore then sets the model, the frame
// length and the bank at 0xC000 (bank 0 on a 48K) from it.
constexpr size_t CHANNEL_FILE_SIZE_WITH_MACHINE = 138156;
//
// Files written now hold the whole machine: after the first two parts, "MACH" and the
// version 2, then every field of the hardware record the first parts do not hold, in this
// order (numbers in their own size, flags one byte of 0 or 1, a list its count in 4 bytes
// and then its items):
//   131185      4     model (48 or 128)
//   131189      1     port_7ffd
//   131190      4     tpf (the model's)
//   131194      4     tpfh (58240)
//   131198      4     pulldown (0-4)
//   131202      4     flashctr
//   131206      4     pending_EI (0-2), the opcode last dispatched on, Q, after_ld_a_ir
//   131210   6912     RTFB
//   138122      3     OUTNEW, OUTOLD, OUTAGE (each 0x00 or 0xFF)
//   138125      8     the key rows (A8..A15), then 1 the Kempston joystick's bits
//   138134     42     the sound chip's generators: the tone counters (3 x 2), the tone
//                     outputs (3), the noise counter (2) and shift register (4), the noise
//                     output, the envelope counter (2), step, attack, holding, the half
//                     tick, the next tick (4), the three channels' amplitudes (3 x 4, IEEE
//                     floats, 0-1), the frame's T-states (4)
//   138176   8848     the band-limited synthesis of the left and then the right side, each
//                     as it lies in memory: 1,104 running sums (floats), the level (a
//                     double); every one finite
//   147024      8     tape_pos (within the tape the channel was saved with), 1 the tape's
//                     level at the end of the last mixed frame, 8 + 8 the save trap's wait
//   147049      4     OUTSP, n speaker events (0-7000), then n x 4 their T-states
//              4     k border events (0-8192), then k x 6: the T-state (4), the colour
//                     before and after (0-7)
//             20     the tape attached when it was saved: its blocks (8), its bytes (8), the
//                     CRC-32 of its image (4)
//            ...     the tape deck's position and signal: playing, by hand, 48K (1 each),
//                     the clock (4), recording edges, level (1 each), the frame base, the
//                     next edge, the last read (8 each), the reads in a row (4), the last
//                     listening read (8), the event (1), the fault message (a list of at
//                     most 256 characters), this frame's edges (a list of 4-byte times and
//                     one of 1-byte levels, at most 100,000 each), the block (8), the phase
//                     (1), the count within it (4), the steps taken (8), the loop's first
//                     block (8) and the passes left (4), in a call (1), the calling block
//                     (8) and its item (8), pulses played (1), the scaling's rest (8), the
//                     work window (8) and its steps (4)
// and the file ends there. Restored, it gives a machine equal to the saved one, but for
// what no channel holds: the tape and ROM attached, the settings. Restored with another
// tape attached than the one it was saved with, the deck starts that tape from its
// beginning.
// The shortest file of this layout (no events, edges or fault), and the longest of all.
constexpr size_t CHANNEL_FILE_SIZE_WHOLE = 147206;
constexpr size_t CHANNEL_FILE_LIMIT =
    CHANNEL_FILE_SIZE_WHOLE + 4 * 7000 + 6 * 8192 + 256 + 5 * 100000;

// The machine as a channel file.
std::vector<uint8_t> channel_image(const Spectrum& m);

// Whether `image` is a channel this machine can take: the right size, and every field that
// counts, indexes or selects within what the machine itself can produce (tstates, tstatesh
// and tstatesd from 0 to a frame plus the longest step, IFBCLK 0-5, IFB_buffer 0-2, IM 0-2,
// IFF1, IFF2 and halted 0 or 1). The tags are not looked at.
bool channel_usable(const std::vector<uint8_t>& image);

// Puts a usable channel image into the machine.
void restore_channel(Spectrum& m, const std::vector<uint8_t>& image);

// Writes `bytes` to a file of its own beside `path` (unnamed where the file system allows,
// else under a temporary name that no other writer shares), flushed to the disk, which then
// replaces `path`: a full disk, a write error, a crash or another instance saving the same
// name at the same moment never costs what was there, and a killed writer leaves no
// temporary file behind (or one the next save in that directory removes). The file gets the
// mode a new file would. False (the old file intact) when it could not be written, with the
// system's reason in `why` when given.
bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes,
                       std::string* why = nullptr);

// Writes `bytes` as the new file `path` in the same way, but never over a file: the name is
// claimed at once with the complete contents, and EEXIST returned when it is taken (another
// instance may just have saved under it). 0 when written, else the errno value.
int write_new_file(const std::string& path, const std::vector<uint8_t>& bytes);

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

// A text file the user names (symbols, a key script), whole: false with `error` saying
// "cannot read PATH: why" when it is no regular file, cannot be read or is over `limit`
// bytes (a named pipe would never end, a device never stop).
bool read_text_file(const std::string& path, size_t limit, std::string& text, std::string& error);

// Snapshots in the formats other programs read and write: Z80 (versions 1 to 3) and SZX
// loaded, and SNA, Z80 (version 3) and SZX saved. The byte layouts are in the sources that
// read and write them (formats/z80snap.cpp, formats/szx.cpp, formats/sna_save.cpp).
//
// A loader parses the whole file into a copy of the machine and puts the copy in place only
// when every part of the file was understood: a refused file changes nothing in the
// running machine, nor its attached tape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/formats.h"

class Spectrum;

enum class SnapshotFormat { SNA, Z80, SZX };

// A snapshot file is read whole, up to this size (a compressed SZX of a 128K machine with
// every chunk is far smaller).
constexpr size_t SNAPSHOT_LIMIT = size_t{4} << 20;

// The format named by the last three characters of `name` (any case): true and `format`
// set for "SNA", "Z80" and "SZX".
bool snapshot_format_of(const std::string& name, SnapshotFormat& format);
// "sna", "z80" or "szx": the extension a saved file takes.
const char* snapshot_extension(SnapshotFormat format);

// Loads a Z80 or SZX snapshot held in `bytes` into `m` (model, memory, registers, ports,
// the position in the frame where the format holds it). The tape is detached. REFUSED, with
// the reason in words and `m` untouched, when any part of the file is malformed or names a
// machine this emulator cannot be.
LoadResult load_z80_snapshot(Spectrum& m, const std::vector<uint8_t>& bytes);
LoadResult load_szx_snapshot(Spectrum& m, const std::vector<uint8_t>& bytes);

struct SnapshotImage {
    std::vector<uint8_t> bytes; // the whole file, empty when it cannot be made
    std::string why;            // why not, in words
    explicit operator bool() const { return !bytes.empty(); }
};

// The running machine as a snapshot file of the given format. Nothing of the machine
// changes. SNA of a 48K machine fails when PC cannot be put on the stack (see sna_save.cpp).
SnapshotImage sna_image(const Spectrum& m);
SnapshotImage z80_image(const Spectrum& m);
SnapshotImage szx_image(const Spectrum& m);
SnapshotImage snapshot_image(const Spectrum& m, SnapshotFormat format);

// Saves the machine to `path` through write_file_atomic: empty on success, else why not
// ("cannot write PATH: " and the system's reason; an old file of that name is then left as
// it was).
std::string save_snapshot(const Spectrum& m, const std::string& path, SnapshotFormat format);

// --- Shared by the loaders ----------------------------------------------------------------
// Puts a machine into the state every snapshot load starts from: tape detached, CPU and
// frame counters reset, `model` and its frame length set, slot 3 and the screen bank from
// `paging` (the last byte written to port 0x7FFD; 0 on a 48K machine).
void begin_snapshot_load(Spectrum& m, int model, uint8_t paging);
// Completes a load once memory, registers and the border are in: the speaker level from
// port 0xFE, and the beam's copy of the screen from the screen bank (a snapshot holds no
// picture of the frame in progress).
void finish_snapshot_load(Spectrum& m);
// R as the program reads it (LD A,R): bits 0-6 counted, bit 7 as last loaded.
uint8_t r_register(const Spectrum& m);

// Where a machine's ROMs come from, in this order: the files the user names (--rom FILE for
// the 48K, --rom0 FILE --rom1 FILE for the 128K and +2); the user's own images in the ROM
// directory ($XDG_DATA_HOME/marrowgleam/roms: 48.rom; 128-0.rom and 128-1.rom;
// plus2-0.rom and plus2-1.rom); for the 48K, 1982.rom beside the program; else the free
// OpenSE BASIC of the system's opense-basic package (opense.rom for the 48K; for the 128K
// and +2, opense-stub.rom as ROM 0 and opense.rom as ROM 1, as that package documents).
//
// Pure: the directories are parameters, and nothing here touches a machine or a session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The machines: the 128K and the +2 are the same hardware with different ROMs.
enum class MachineKind { m48, m128, plus2 };

// "48", "128" or "plus2".
bool machine_named(const std::string& name, MachineKind& kind);
// "48K", "128K" or "+2".
std::string machine_label(MachineKind kind);
// The hardware model a machine runs as: 48 or 128.
int hardware_model(MachineKind kind);

// ROM files given on the command line (empty: not given).
struct GivenRoms {
    std::string rom;  // the 48K's
    std::string rom0; // the 128K's or +2's ROM 0
    std::string rom1; // and ROM 1
};

// The directories searched, each with or without its trailing '/' (empty: not searched).
struct RomPlaces {
    std::string user_dir;    // the user's images
    std::string program_dir; // beside the program (1982.rom)
    std::string system_dir = "/usr/share/spectrum-roms";
};

struct RomSet {
    std::vector<uint8_t> images; // 16384 bytes a ROM: ROM 0, then ROM 1
    std::string name;            // what row 23 and --help call it ("OPENSE BASIC (FREE)")
    std::vector<std::string> files;
};

// The user's ROM directory: $XDG_DATA_HOME/marrowgleam/roms (an absolute XDG_DATA_HOME),
// else ~/.local/share/marrowgleam/roms; empty when neither is set.
std::string default_user_rom_dir();

// Finds and reads the ROM set for `kind`. False, with `error` naming the file and what is
// wrong with it, when a file that is to be used is missing or not 16384 bytes: the search
// does not go on past it, so that the user's mistake is not hidden by another set.
bool find_roms(MachineKind kind, const GivenRoms& given, const RomPlaces& places, RomSet& set,
               std::string& error);

// Each machine's set as find_roms would have it, a line each: "  128    OPENSE BASIC (FREE):
// FILE, FILE", or why it cannot be had.
std::string rom_sets_usage(const GivenRoms& given, const RomPlaces& places);

// Shared helpers for the tests.
#pragma once

#include <cstdint>
#include <string>

class HeadlessHost;
class Session;
class Spectrum;

// Where the third-party material and the build outputs are.
std::string testdata_path(const std::string& relative); // under ../shared/testdata
std::string binary_path(const std::string& relative);   // under the build directory

// True when the file can be read.
bool file_exists(const std::string& path);

// The tests' session (and its machine): made anew at its created state, with the headless
// host's keyboard attached, every key released and the headless host's script and
// statistics forgotten. The references stay valid until the next fresh_session().
Session& fresh_session();
Spectrum& fresh_machine(); // fresh_session().machine

// The host of the tests' session: its key states, script and statistics.
HeadlessHost& test_host();

// The tests' session and machine as they are now (made at the first use).
Session& test_session();
Spectrum& test_machine();

// fresh_machine() plus the ROM ("1982.rom" beside the executables) in place. False if the
// ROM file is missing.
bool fresh_machine_with_rom();

// Reads "1982.rom" beside the executables into `rom` (16 KiB). False if it is missing.
bool read_rom(uint8_t* rom);
// Installs it in `m`.
bool read_rom(Spectrum& m);

// Shared helpers for the tests.
#pragma once

#include <string>

// Where the third-party material and the build outputs are.
std::string testdata_path(const std::string& relative); // under ../shared/testdata
std::string binary_path(const std::string& relative);   // under the build directory

// True when the file can be read.
bool file_exists(const std::string& path);

// A machine at its load-time state, with the headless host's keyboard attached and every
// key released.
void fresh_machine();

// fresh_machine() plus the ROM ("1982.rom" beside the executables) in place. False if the
// ROM file is missing.
bool fresh_machine_with_rom();

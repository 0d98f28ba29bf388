// The parts of start-up every host shares.
#pragma once

#include <string>

// application_path from the executable's path (argv[0], or where the kernel says the program
// is when argv[0] names no directory), then "1982.rom" and "teletext" from
// there into ROM and CHR. A short file leaves the rest zero. False, with a message in
// `error`, when either file cannot be opened.
bool load_data_files(const char* argv0, std::string& error);

// The machine's side of start-up once the host is up: the title on the text layer for 200
// logical frames, the flag and contention tables, the reset.
void start_machine();

// SHA-256 of a file, so that tests can identify the third-party files they run.
#pragma once

#include <string>

// The lower-case hex digest of the file's contents, or "" when it cannot be read.
std::string z80_sha256_file(const std::string& path);

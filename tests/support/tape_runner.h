// Running the headless runner from a test, and taking TAP images apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunnerResult {
    int status = -1;               // the exit status, -1 if it did not exit normally
    std::string out, err;          // what it wrote on standard output and standard error
    std::vector<std::string> rows; // standard output split into lines
};

// Runs marrowgleam-run (beside the tests, with its ROM) with `args`, from the current
// directory, and waits for it.
RunnerResult run_runner(const std::vector<std::string>& args);

// One block of a TAP image as its 2-byte length field frames it.
struct TapBlock {
    size_t offset;             // where its length field starts in the image
    std::vector<uint8_t> body; // flag byte, data, checksum
    std::vector<uint8_t> data() const { return {body.begin() + 1, body.end() - 1}; }
};

// The blocks of a whole TAP image; empty when the image does not divide into blocks.
std::vector<TapBlock> tap_blocks(const std::vector<uint8_t>& image);

// Writing the picture as PNG and the beeper's sound as WAV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes the machine's 352 x 288 picture (border and paper) of a picture surface as an RGB
// PNG. False (with `error` set) when the file cannot be written.
bool write_picture_png(const std::string& path, const uint8_t* surface, std::string& error);

// Writes unsigned 8-bit mono samples at 48 kHz as a WAV file.
bool write_wav(const std::string& path, const std::vector<uint8_t>& samples, std::string& error);

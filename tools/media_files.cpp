#include "tools/media_files.h"

#include <cstdio>

#include "frontend/picture_png.h"

#include "spectrum/machine.h"

namespace {
void put_le(std::FILE* file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc((value >> (8 * i)) & 0xFF, file);
}
} // namespace

// The encoding is the screenshot's (frontend/picture_png.h), so the two files are alike.
bool write_picture_png(const std::string& path, const uint8_t* surface, std::string& error) {
    const std::vector<uint8_t> bytes = picture_png(surface);
    if (bytes.empty()) {
        error = "cannot encode " + path;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool write_wav(const std::string& path, const std::vector<uint8_t>& samples, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    const uint32_t data_size = static_cast<uint32_t>(samples.size());
    std::fwrite("RIFF", 1, 4, file);
    put_le(file, 36 + data_size, 4);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put_le(file, 16, 4);         // fmt chunk size
    put_le(file, 1, 2);          // PCM
    put_le(file, 1, 2);          // mono
    put_le(file, AUDIO_RATE, 4); // samples per second
    put_le(file, AUDIO_RATE, 4); // bytes per second
    put_le(file, 1, 2);          // block align
    put_le(file, 8, 2);          // bits per sample
    std::fwrite("data", 1, 4, file);
    put_le(file, data_size, 4);
    const bool written = std::fwrite(samples.data(), 1, samples.size(), file) == samples.size();
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

#include "tools/media_files.h"

#include <algorithm>
#include <cstdio>

#include "frontend/picture_png.h"

#include "frontend/session.h"
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

namespace {
void put_wav_header(std::FILE* file, uint32_t data_size) {
    std::fwrite("RIFF", 1, 4, file);
    put_le(file, 36 + data_size, 4);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put_le(file, 16, 4);             // fmt chunk size
    put_le(file, 1, 2);              // PCM
    put_le(file, 2, 2);              // stereo
    put_le(file, AUDIO_RATE, 4);     // samples per second
    put_le(file, AUDIO_RATE * 4, 4); // bytes per second
    put_le(file, 4, 2);              // block align: left and right, 16 bits each
    put_le(file, 16, 2);             // bits per sample
    std::fwrite("data", 1, 4, file);
    put_le(file, data_size, 4);
}
} // namespace

WavWriter::~WavWriter() {
    if (file_) std::fclose(file_);
}

bool WavWriter::open(const std::string& path, std::string& error) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        error = "cannot write " + path;
        return false;
    }
    put_wav_header(file_, 0); // the sizes are filled in by finish()
    ok_ = !std::ferror(file_);
    return true;
}

void WavWriter::write(const StereoSample* samples, size_t count) {
    if (!file_ || count == 0) return;
    // Little-endian whatever the host's order, through one buffer kept for the whole run
    // (a buffer a frame would be memory churned 50 times a second).
    std::vector<uint8_t>& bytes = buffer_;
    bytes.resize(count * 4);
    for (size_t i = 0; i < count; i++) {
        const auto l = static_cast<uint16_t>(samples[i].left);
        const auto r = static_cast<uint16_t>(samples[i].right);
        bytes[4 * i + 0] = l & 0xFF;
        bytes[4 * i + 1] = static_cast<uint8_t>(l >> 8);
        bytes[4 * i + 2] = r & 0xFF;
        bytes[4 * i + 3] = static_cast<uint8_t>(r >> 8);
    }
    ok_ = std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() && ok_;
    // A RIFF file holds at most 4 GiB; a longer run keeps the first part.
    data_size_ =
        static_cast<uint32_t>(std::min<uint64_t>(uint64_t{data_size_} + bytes.size(), 0xFFFFFFD8u));
}

bool WavWriter::finish(std::string& error) {
    if (!file_) return false;
    ok_ = std::fseek(file_, 0, SEEK_SET) == 0 && ok_;
    if (ok_) put_wav_header(file_, data_size_);
    ok_ = std::fclose(file_) == 0 && ok_;
    file_ = nullptr;
    if (!ok_) error = "cannot write " + path_;
    return ok_;
}

bool write_wav(const std::string& path, const std::vector<StereoSample>& samples,
               std::string& error) {
    WavWriter wav;
    if (!wav.open(path, error)) return false;
    wav.write(samples.data(), samples.size());
    return wav.finish(error);
}

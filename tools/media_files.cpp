#include "tools/media_files.h"

#include <algorithm>
#include <cstdio>
#include <png.h>

#include "frontend/session.h"
#include "spectrum/machine.h"

namespace {
// The picture area within a 512 x 512 picture surface.
constexpr int PICTURE_X = 80, PICTURE_Y = 112, PICTURE_W = 352, PICTURE_H = 288;

void put_le(std::FILE* file, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) std::fputc((value >> (8 * i)) & 0xFF, file);
}
} // namespace

bool write_picture_png(const std::string& path, const uint8_t* surface, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        error = "cannot encode " + path;
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, PICTURE_W, PICTURE_H, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(PICTURE_W * 3);
    for (int y = 0; y < PICTURE_H; y++) {
        for (int x = 0; x < PICTURE_W; x++) {
            const uint8_t* p = surface + ((PICTURE_Y + y) * ULA_SURFACE_W + PICTURE_X + x) * 4;
            row[3 * x + 0] = p[2]; // the surface holds blue, green, red, alpha
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
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
    if (!file_) return;
    // Little-endian whatever the host's order.
    std::vector<uint8_t> bytes(count * 4);
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

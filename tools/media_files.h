// Writing the picture as PNG and the machine's sound as WAV.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes the machine's 352 x 288 picture (border and paper) of a picture surface as an RGB
// PNG. False (with `error` set) when the file cannot be written.
bool write_picture_png(const std::string& path, const uint8_t* surface, std::string& error);

struct StereoSample;

// Writes signed 16-bit stereo samples at 48 kHz as a WAV file.
bool write_wav(const std::string& path, const std::vector<StereoSample>& samples,
               std::string& error);

// A WAV file of signed 16-bit stereo samples at 48 kHz (the audio device's format) written
// as the samples come: nothing is kept in memory, and the header's sizes are filled in at
// the end.
class WavWriter {
  public:
    WavWriter() = default;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;
    ~WavWriter();
    // False (with `error` set) when the file cannot be created.
    bool open(const std::string& path, std::string& error);
    bool is_open() const { return file_ != nullptr; }
    void write(const StereoSample* samples, size_t count);
    // Completes the header and closes the file. False (with `error` set) when any write
    // failed.
    bool finish(std::string& error);

  private:
    std::FILE* file_ = nullptr;
    std::string path_;
    uint32_t data_size_ = 0;
    bool ok_ = true;
    std::vector<uint8_t> buffer_; // the samples of one write, as the file has them
};

// The machine's picture as a PNG file: what the runner's --png writes and a screenshot saves.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

// The 352 x 288 picture (border and paper, columns 80-431 and rows 112-399) of a picture
// surface as the bytes of an 8-bit RGB PNG; empty if it cannot be encoded.
std::vector<uint8_t> picture_png(const uint8_t* surface);

// Where screenshots go: $XDG_PICTURES_DIR, else ~/Pictures where it exists, else the data
// directory ($XDG_DATA_HOME/marrowgleam, else ~/.local/share/marrowgleam, made when
// missing); empty when there is none of them.
std::filesystem::path pictures_directory();

// A screenshot's file name in `directory` for a local time, "marrowgleam-YYYYMMDD-HHMMSS.png",
// with "-2", "-3", ... before ".png" while the name is already taken there.
std::string screenshot_name(const std::filesystem::path& directory, const std::tm& local);

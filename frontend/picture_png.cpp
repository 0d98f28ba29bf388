#include "frontend/picture_png.h"

#include <cstdio>
#include <cstdlib>
#include <png.h>

#include "frontend/session.h"
#include "spectrum/machine.h"

namespace {
// The picture area within a 512 x 512 picture surface.
constexpr int PICTURE_X = 80, PICTURE_Y = 112, PICTURE_W = 352, PICTURE_H = 288;

void append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

std::filesystem::path environment_path(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? std::filesystem::path(value) : std::filesystem::path();
}
} // namespace

std::vector<uint8_t> picture_png(const uint8_t* surface) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append, nullptr);
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
    return out;
}

std::filesystem::path pictures_directory() {
    if (auto pictures = environment_path("XDG_PICTURES_DIR"); !pictures.empty()) return pictures;
    const auto home = environment_path("HOME");
    std::error_code ec;
    if (!home.empty() && std::filesystem::is_directory(home / "Pictures", ec))
        return home / "Pictures";
    // The data directory without its trailing '/' ("" stays "").
    return std::filesystem::path(user_data_dir()).parent_path();
}

std::string screenshot_name(const std::filesystem::path& directory, const std::tm& local) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "marrowgleam-%Y%m%d-%H%M%S", &local);
    std::string name = std::string(stamp) + ".png";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(directory / name, ec); n++)
        name = std::string(stamp) + "-" + std::to_string(n) + ".png";
    return name;
}

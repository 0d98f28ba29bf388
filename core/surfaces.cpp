// The picture and text pixel buffers.
#include "core/surfaces.h"

#include <cstring>

uint8_t ULA_surface[3][ULA_SURFACE_W * ULA_SURFACE_H * 4];
uint8_t TXT_surface[TXT_SURFACE_W * TXT_SURFACE_H * 4];

namespace {
void fill(uint8_t* pixels, size_t count, uint8_t alpha) {
    for (size_t i = 0; i < count; i++) {
        pixels[4 * i + 0] = pixels[4 * i + 1] = pixels[4 * i + 2] = 0;
        pixels[4 * i + 3] = alpha;
    }
}

// Created at load, as the surfaces of a fresh start are.
[[maybe_unused]] const bool created = [] {
    surfaces_defaults();
    return true;
}();
} // namespace

void surfaces_defaults() {
    for (auto& surface : ULA_surface) fill(surface, ULA_SURFACE_W * ULA_SURFACE_H, 255);
    std::memset(TXT_surface, 0, sizeof TXT_surface);
}

// The session's creation: the picture and text pixel buffers.
#include <cstring>

#include "frontend/session.h"

namespace {
void fill(uint8_t* pixels, size_t count, uint8_t alpha) {
    for (size_t i = 0; i < count; i++) {
        pixels[4 * i + 0] = pixels[4 * i + 1] = pixels[4 * i + 2] = 0;
        pixels[4 * i + 3] = alpha;
    }
}
} // namespace

Session::Session(Host& host) : host(host) { surfaces_defaults(); }

void Session::surfaces_defaults() {
    for (auto& surface : ULA_surface) fill(surface, ULA_SURFACE_W * ULA_SURFACE_H, 255);
    for (auto& painted : ULA_painted) painted = PaintedFrom{};
    std::memset(text.TXT_surface, 0, sizeof text.TXT_surface);
}

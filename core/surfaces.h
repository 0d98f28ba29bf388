// The pixel buffers the picture and the text layer are painted into. Plain memory owned by
// the machine library; the full-screen host uploads them as textures.
//
// Pixel format: 4 bytes a pixel in the order blue, green, red, alpha; rows packed top to
// bottom, pixel (x, y) at byte (y * width + x) * 4. Every writer puts a pixel's red byte
// into the pixel to its right (the colour fringe).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int ULA_SURFACE_W = 512;
constexpr int ULA_SURFACE_H = 512;
constexpr int TXT_SURFACE_W = 512;
constexpr int TXT_SURFACE_H = 256;

// Three picture surfaces, created opaque black (alpha 255). The machine's 352 x 288 picture
// lies at columns 80-431, rows 112-399; the 256 x 192 paper at columns 128-383, rows 160-351.
extern uint8_t ULA_surface[3][ULA_SURFACE_W * ULA_SURFACE_H * 4];

// The text layer, created transparent black (alpha 0).
extern uint8_t TXT_surface[TXT_SURFACE_W * TXT_SURFACE_H * 4];

// Sets every pixel of the four surfaces to its creation value.
void surfaces_defaults();

// The address of pixel (x, y) of a surface `width` pixels wide.
inline uint8_t* surface_pixel(uint8_t* surface, int width, int x, int y) {
    return surface + (static_cast<size_t>(y) * width + x) * 4;
}

// How the picture sits on the host screen: fit mode, zoom, rotation, pan, colour mode, the
// aperture grille, and the projection extents of the picture and the text layer that follow
// from them and from the screen's size.
#pragma once

#include <cstdint>

#include "spectrum/machine.h"

class View {
  public:
    View() { set_screen_size(VIDDIMX, VIDDIMY); }

    float scale = 1.0f;                     // zoom of the picture, 1.0 = as fitted
    float rotate = 0.0f;                    // degrees, clockwise on screen
    float translate_x = 0, translate_y = 0; // pan, in picture pixels before zoom
    int32_t fit_mode = 1;                   // 0 FIT, 1 FILL, 2 GAME, 3 FULL
    float fit_x = 344.0f, fit_y = 258.0f;   // the rectangle FIT and GAME fit to the screen
    uint8_t graticule = 1;                  // the aperture grille is drawn
    int32_t screen_mode = SCREEN_COLOUR;    // 0 colour, 1 MELBOURNE, 2 INVERSE INK
    float aspect = 16.0f / 9.0f;            // VIDDIMX / VIDDIMY
    uint32_t VIDDIMX = 1280, VIDDIMY = 720; // the host screen in pixels
    float ULA_ortho_x = 0, ULA_ortho_y = 0; // half-extents of the picture projection
    float TXT_ortho_x = 0, TXT_ortho_y = 0; // half-extents of the text projection
    // The display mode the user asks for: a window, or full screen. The full-screen host
    // follows it at its next pump of events (Alt+Enter switches it).
    bool windowed = false;

    // Recomputes the four extents from `aspect` and `fit_mode`.
    void update_ortho();
    // Sets the screen size (and aspect) the host has, then update_ortho().
    void set_screen_size(uint32_t width, uint32_t height);
    // Whether the picture is as fitted: not zoomed, turned or panned (a NaN counts as moved).
    bool at_rest() const {
        return scale == 1.0f && rotate == 0.0f && translate_x == 0.0f && translate_y == 0.0f;
    }
};

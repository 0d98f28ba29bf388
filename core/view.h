// How the picture is shown: the user's view settings and the projection extents. The
// full-screen host's composition reads them; the control keys change them.
#pragma once

#include <cstdint>

extern float scale;                     // zoom of the picture, 1.0 = as fitted
extern float rotate;                    // degrees, clockwise on screen
extern float translate_x, translate_y;  // pan, in picture pixels before zoom
extern int32_t fit_mode;                // 0 FIT, 1 FILL, 2 GAME, 3 FULL
extern float fit_x, fit_y;              // the rectangle FIT and GAME fit to the screen
extern uint8_t graticule;               // the aperture grille is drawn
extern const float IFBCOE[6][2];        // blend weights (previous, current) by IFBCLK
extern float aspect;                    // VIDDIMX / VIDDIMY
extern uint32_t VIDDIMX, VIDDIMY;       // the host screen in pixels
extern float ULA_ortho_x, ULA_ortho_y;  // half-extents of the picture projection
extern float TXT_ortho_x, TXT_ortho_y;  // half-extents of the text projection

// Recomputes the four extents from `aspect` and `fit_mode`.
void update_ortho();

// Sets the screen size (and aspect) the host has, then update_ortho().
void set_screen_size(uint32_t width, uint32_t height);

// Back to the load-time settings.
void view_defaults();

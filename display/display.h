// The host screen, composed with OpenGL 1.x fixed function from the machine's pixel buffers:
// one texture per surface, the 5:6 picture blend, the text layer and the aperture grille.
// Part of the full-screen host only; everything here needs the GL context current on the
// calling thread.
#pragma once

#include <cstdint>

class Session;

// Texture names: one per picture surface, the text layer's, and the grille's.
extern unsigned ULATEX[3];
extern unsigned TXTTEX;
extern unsigned GRATEX;

// The aperture grille: 64 x 64 pixels of red, green, blue, alpha. Even columns keep red
// and blue and halve green, odd columns the other way round.
constexpr int GRA_SIZE = 64;
extern uint8_t GRA[GRA_SIZE * GRA_SIZE * 4];

// Makes the textures of the four surfaces (linear, clamped; images given at each draw) and
// the grille texture (nearest, repeating), in that order.
void create_textures();

// Composes the screen: cleared to black, the previous picture surface times its weight
// plus the current one times its weight, the text layer over them, the grille multiplied
// over everything.
// Leaves GL_TEXTURE_2D and GL_BLEND disabled, the colour white and the modelview matrix
// current. The caller swaps the buffers.
void render_GL(const Session& s, int previous, float previous_weight, int current,
               float current_weight);

// Draws the text layer as `overlay` asks: not at all, blended over the picture, or alone
// on a cleared screen; with `grille_unit`, the grille rides on the second texture unit.
void render_teletext(const Session& s, bool grille_unit);

// A position on the host screen in pixels, from the top left.
struct ScreenPoint {
    float x, y;
};

// The grille on the second texture unit, where there is one (detect_grille_unit() after
// the context is made): begin() turns it on for the passes that follow, each of whose
// vertices then gives its screen position with grille_coordinate(); false when there is
// no second unit, and draw_grille() then multiplies the screen in a pass of its own.
void detect_grille_unit();
bool grille_on_unit_begin();
void grille_on_unit_end();
void grille_coordinate(ScreenPoint p);
void draw_grille(const Session& s);

// Clears the colour buffer to transparent black.
void clear_screen();

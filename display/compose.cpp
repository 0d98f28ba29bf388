// The composition of the host screen: the picture blended across the 5:6 cycle, zoomed,
// turned and panned inside the fit mode's projection, then the grille over everything.
#include <GL/gl.h>

#include "core/surfaces.h"
#include "core/view.h"
#include "display/display.h"
#include "text/text.h"

namespace {
// Surfaces are re-specified whole at every draw: they change every logical frame, and a
// full upload of 1 MiB costs less than tracking what changed.
void upload_picture(int index) {
    glBindTexture(GL_TEXTURE_2D, ULATEX[index]);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, ULA_SURFACE_W);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, ULA_SURFACE_W, ULA_SURFACE_H, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 ULA_surface[index]);
}

// The projection puts -ULA_ortho_y at the top of the screen, so surface row 0 is the top.
void picture_projection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-ULA_ortho_x, ULA_ortho_x, ULA_ortho_y, -ULA_ortho_y, -1, 1);
    glMatrixMode(GL_MODELVIEW);
}

// One unit per surface pixel, the surface's centre (the centre of the machine's picture)
// at the origin.
void picture_quad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-256, -256);
    glTexCoord2f(1, 0);
    glVertex2f(256, -256);
    glTexCoord2f(1, 1);
    glVertex2f(256, 256);
    glTexCoord2f(0, 1);
    glVertex2f(-256, 256);
    glEnd();
}

// The screen multiplied by the grille, one texel per screen pixel, picture and text alike.
void draw_grille() {
    const float w = static_cast<float>(VIDDIMX), h = static_cast<float>(VIDDIMY);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_COLOR, GL_ZERO);
    glBindTexture(GL_TEXTURE_2D, GRATEX);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w, h, 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, 0);
    glTexCoord2f(w / GRA_SIZE, 0);
    glVertex2f(w, 0);
    glTexCoord2f(w / GRA_SIZE, h / GRA_SIZE);
    glVertex2f(w, h);
    glTexCoord2f(0, h / GRA_SIZE);
    glVertex2f(0, h);
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
}
} // namespace

void render_GL(int previous, float previous_weight, int current, float current_weight) {
    // Zoomed out, turned or panned, the picture leaves parts of the screen uncovered: they
    // show black rather than what the back buffer held two frames ago.
    clear_screen();

    // Turn about the picture's centre, move up a quarter of a picture pixel, pan, then zoom
    // the whole about the screen's centre.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScalef(scale, scale, scale);
    glTranslatef(translate_x, translate_y, 0);
    glTranslatef(0, -0.25f, 0);
    glRotatef(rotate, 0, 0, 1);

    // The texture environment is GL_MODULATE: a texel is multiplied by the colour, so the
    // previous picture lands weighted...
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(previous_weight, previous_weight, previous_weight, previous_weight);
    upload_picture(previous);
    picture_projection();
    // A quad of weight 0 would write black over the black cleared to above, or add
    // nothing: leaving it out gives the same screen for a full-screen pass less, which a
    // software renderer feels (two frames in six have a zero weight).
    if (overlay != 2 && previous_weight != 0) picture_quad();

    // ...and the current one is added with its weight in alpha (picture pixels are opaque,
    // and the two weights sum to 1). Both uploads happen even when the text stands alone.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, current_weight);
    upload_picture(current);
    picture_projection();
    if (overlay != 2 && current_weight != 0) picture_quad();

    glPopMatrix();
    glColor4f(1, 1, 1, 1);

    render_teletext();
    if (graticule) draw_grille();
    glDisable(GL_TEXTURE_2D);
}

void clear_screen() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

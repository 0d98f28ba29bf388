// The text layer on the host screen.
#include <GL/gl.h>

#include "display/display.h"
#include "frontend/session.h"

void render_teletext(const Session& s, bool grille_unit) {
    if (s.text.overlay == 0) return;
    if (s.text.overlay == 1) {
        // Over the picture: transparent backgrounds let it show through.
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    } else {
        glDisable(GL_BLEND);
        glClear(GL_COLOR_BUFFER_BIT);
    }

    glBindTexture(GL_TEXTURE_2D, TXTTEX);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, TXT_SURFACE_W);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, TXT_SURFACE_W, TXT_SURFACE_H, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 s.text.TXT_surface);

    // The text layer is never zoomed, turned or panned: a projection of its own, y up, and
    // an identity modelview.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-s.view.TXT_ortho_x, s.view.TXT_ortho_x, -s.view.TXT_ortho_y, s.view.TXT_ortho_y, -1,
            1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    // The left 496 texel columns and all 256 rows, sampled a quarter texel low, fill 328 x 256
    // units about the origin; text row 0 at the top.
    constexpr float S = 496.0f / 512.0f;
    constexpr float T = 1.0f / 1024.0f;
    static const float CORNERS[4][4] = {
        {0, T, -164, 128}, {S, T, 164, 128}, {S, 1 + T, 164, -128}, {0, 1 + T, -164, -128}};
    glBegin(GL_QUADS);
    for (const auto& c : CORNERS) {
        glTexCoord2f(c[0], c[1]);
        if (grille_unit)
            grille_coordinate(
                {(c[2] + s.view.TXT_ortho_x) / (2 * s.view.TXT_ortho_x) * s.view.VIDDIMX,
                 (s.view.TXT_ortho_y - c[3]) / (2 * s.view.TXT_ortho_y) * s.view.VIDDIMY});
        glVertex2f(c[2], c[3]);
    }
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
}

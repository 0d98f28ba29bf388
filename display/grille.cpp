// The aperture grille: the screen multiplied, pixel by pixel, by a pattern that dims green
// in even screen columns and red and blue in odd ones.
//
// Where the renderer has a second texture unit, each pass (picture, text) carries the
// grille on that unit, with texture coordinates from the screen position of its corners:
// every pass is multiplied by the grille before it lands, which sums to the whole screen
// multiplied once. Otherwise the grille is a pass of its own over the whole screen.
#include <GL/gl.h>

#include <cstring>

#include "display/display.h"
#include "frontend/session.h"

namespace {
bool has_second_unit = false;
}

void detect_grille_unit() {
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    GLint units = 1;
    if (extensions && std::strstr(extensions, "GL_ARB_multitexture"))
        glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    has_second_unit = units >= 2;
}

bool grille_on_unit_begin() {
    if (!has_second_unit) return false;
    glActiveTexture(GL_TEXTURE1);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, GRATEX);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTexture(GL_TEXTURE0);
    return true;
}

void grille_on_unit_end() {
    glActiveTexture(GL_TEXTURE1);
    glDisable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
}

// One texel per screen pixel: the pattern repeats every 64 pixels.
void grille_coordinate(ScreenPoint p) {
    glMultiTexCoord2f(GL_TEXTURE1, p.x / GRA_SIZE, p.y / GRA_SIZE);
}

// The screen multiplied by the grille in a pass of its own, picture and text alike.
void draw_grille(const Session& s) {
    const float w = static_cast<float>(s.view.VIDDIMX), h = static_cast<float>(s.view.VIDDIMY);
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

// The composition of the host screen: the picture blended across the 5:6 cycle, zoomed,
// turned and panned inside the fit mode's projection, the text layer over it, and the
// aperture grille multiplied over everything.
//
// The screen is what the fixed-function recipe gives (previous picture times its weight,
// current picture added times its weight, text blended over, grille multiplied over the
// whole screen), drawn in fewer passes over the screen, which a software renderer
// feels: the two pictures are blended on the CPU into one image (only the 352 x 288
// picture area changes), and the grille is a second texture unit on each pass instead of
// a pass of its own (multiplying each pass by the grille gives the same sum).
#include <GL/gl.h>

#include <cmath>

#include "display/display.h"
#include "frontend/session.h"

namespace {
// The blend of the two pictures; outside the picture area it stays opaque black, as the
// surfaces are there.
uint8_t BLENDED[ULA_SURFACE_W * ULA_SURFACE_H * 4];

// The part of a surface the rasteriser writes: the picture, plus the column its fringe
// reaches on the right.
constexpr int AREA_X0 = 80, AREA_X1 = 433, AREA_Y0 = 112, AREA_Y1 = 400;

// previous * w1 + current * w2 with w1 + w2 = 1, in 8-bit fixed point as a blend unit works.
const uint8_t* blend_pictures(const uint8_t* previous, float previous_weight,
                              const uint8_t* current) {
    static bool initialised = false;
    if (!initialised) {
        for (int i = 0; i < ULA_SURFACE_W * ULA_SURFACE_H; i++) BLENDED[4 * i + 3] = 0xFF;
        initialised = true;
    }
    const unsigned w1 = static_cast<unsigned>(std::lround(previous_weight * 256));
    const unsigned w2 = 256 - w1;
    for (int y = AREA_Y0; y < AREA_Y1; y++) {
        const size_t start = (static_cast<size_t>(y) * ULA_SURFACE_W + AREA_X0) * 4;
        const size_t end = (static_cast<size_t>(y) * ULA_SURFACE_W + AREA_X1) * 4;
        for (size_t i = start; i < end; i++)
            BLENDED[i] = static_cast<uint8_t>((previous[i] * w1 + current[i] * w2 + 128) >> 8);
    }
    return BLENDED;
}

// The picture to show: one surface when the other's weight is 0 (two frames in six), else
// the blend of both.
const uint8_t* picture(const Session& s, int previous, float previous_weight, int current,
                       float current_weight) {
    if (current_weight == 0) return s.ULA_surface[previous];
    if (previous_weight == 0) return s.ULA_surface[current];
    return blend_pictures(s.ULA_surface[previous], previous_weight, s.ULA_surface[current]);
}

// Surfaces change every logical frame; a full upload costs less than tracking what changed.
void upload_picture(const uint8_t* pixels) {
    glBindTexture(GL_TEXTURE_2D, ULATEX[0]);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, ULA_SURFACE_W);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, ULA_SURFACE_W, ULA_SURFACE_H, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 pixels);
}

// Where a point of the picture (surface pixels from the picture's centre) lands on the
// screen, in pixels from the top left: the modelview of render_GL (turn, a quarter pixel
// up, pan, zoom), then the projection (-ULA_ortho_y at the top).
ScreenPoint picture_on_screen(const Session& s, float x, float y) {
    const double a = s.view.rotate * M_PI / 180.0;
    const double rx = x * std::cos(a) - y * std::sin(a);
    const double ry = x * std::sin(a) + y * std::cos(a);
    const double X = s.view.scale * (rx + s.view.translate_x);
    const double Y = s.view.scale * (ry + s.view.translate_y - 0.25);
    return {
        static_cast<float>((X + s.view.ULA_ortho_x) / (2 * s.view.ULA_ortho_x) * s.view.VIDDIMX),
        static_cast<float>((Y + s.view.ULA_ortho_y) / (2 * s.view.ULA_ortho_y) * s.view.VIDDIMY)};
}

// Whether the picture quad, as the view places it, covers the whole screen.
bool picture_covers_screen(const Session& s) {
    if (s.view.rotate != 0) return false;
    const ScreenPoint top_left = picture_on_screen(s, -256, -256);
    const ScreenPoint bottom_right = picture_on_screen(s, 256, 256);
    return top_left.x <= 0 && top_left.y <= 0 && bottom_right.x >= s.view.VIDDIMX &&
           bottom_right.y >= s.view.VIDDIMY;
}

void picture_projection(const Session& s) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-s.view.ULA_ortho_x, s.view.ULA_ortho_x, s.view.ULA_ortho_y, -s.view.ULA_ortho_y, -1,
            1);
    glMatrixMode(GL_MODELVIEW);
}

// One unit per surface pixel, the surface's centre (the centre of the machine's picture)
// at the origin; with the grille unit on, each corner also carries its screen position.
void picture_quad(const Session& s, bool grille) {
    static const float CORNERS[4][4] = {
        {0, 0, -256, -256}, {1, 0, 256, -256}, {1, 1, 256, 256}, {0, 1, -256, 256}};
    glBegin(GL_QUADS);
    for (const auto& c : CORNERS) {
        glTexCoord2f(c[0], c[1]);
        if (grille) grille_coordinate(picture_on_screen(s, c[2], c[3]));
        glVertex2f(c[2], c[3]);
    }
    glEnd();
}
} // namespace

void render_GL(const Session& s, int previous, float previous_weight, int current,
               float current_weight) {
    // Zoomed out, turned or panned, the picture leaves parts of the screen uncovered: they
    // show black rather than what the back buffer held two frames ago. (The quad is the whole
    // 512 x 512 surface, black around the machine's picture: at rest it covers the screen.)
    if (s.text.overlay == 2 || !picture_covers_screen(s)) clear_screen();
    const bool grille_unit = s.view.graticule && grille_on_unit_begin();

    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScalef(s.view.scale, s.view.scale, s.view.scale);
    glTranslatef(s.view.translate_x, s.view.translate_y, 0);
    glTranslatef(0, -0.25f, 0);
    glRotatef(s.view.rotate, 0, 0, 1);

    // With the text alone on the screen the picture is neither needed nor drawn.
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    if (s.text.overlay != 2) {
        upload_picture(picture(s, previous, previous_weight, current, current_weight));
        picture_projection(s);
        picture_quad(s, grille_unit);
    }
    glPopMatrix();

    render_teletext(s, grille_unit);
    if (grille_unit) grille_on_unit_end();
    else if (s.view.graticule) draw_grille(s);
    glDisable(GL_TEXTURE_2D);
}

void clear_screen() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Textures of the surfaces and the aperture grille.
#include <GL/gl.h>

#include "display/display.h"
#include "frontend/session.h"

unsigned ULATEX[3];
unsigned TXTTEX;
unsigned GRATEX;
uint8_t GRA[GRA_SIZE * GRA_SIZE * 4];

namespace {
// The surfaces' textures get their image afresh at every draw, so only the sampling is set
// here: smooth scaling, and no repetition past the surface's edges.
GLuint surface_texture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    return name;
}

// Multiplied onto the screen, 0x7F/0xFF dims green in even screen columns and red and blue
// in odd ones: the stripes of an aperture-grille tube.
void fill_grille() {
    for (int y = 0; y < GRA_SIZE; y++) {
        for (int x = 0; x < GRA_SIZE; x++) {
            uint8_t* p = GRA + (y * GRA_SIZE + x) * 4;
            const bool even = x % 2 == 0;
            p[0] = even ? 0xFF : 0x7F;
            p[1] = even ? 0x7F : 0xFF;
            p[2] = even ? 0xFF : 0x7F;
            p[3] = 0xFF;
        }
    }
}
} // namespace

void create_textures() {
    for (auto& name : ULATEX) name = surface_texture();
    TXTTEX = surface_texture();

    fill_grille();
    glGenTextures(1, &GRATEX);
    glBindTexture(GL_TEXTURE_2D, GRATEX);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, GRA_SIZE);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, GRA_SIZE, GRA_SIZE, 0, GL_RGBA, GL_UNSIGNED_BYTE, GRA);
    // One texel per screen pixel: nearest, so the stripes stay one pixel wide and sharp.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    detect_grille_unit();
}

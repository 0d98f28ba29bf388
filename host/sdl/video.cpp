// The video mode: full screen at the desktop's size, or a resizable window, switched at any
// time (Alt+Enter) with the view kept. The session's view always follows the size the mode
// really has.
#include <GL/gl.h>
#include <SDL/SDL.h>

#include "display/display.h"
#include "frontend/session.h"
#include "host/sdl/sdl_host.h"

namespace {
int desktop_w = 0, desktop_h = 0;
int window_w = 800, window_h = 600;
bool mode_windowed = false;
SDL_Cursor* cursor = nullptr;
uint8_t blank_cursor[8];

// Swap control must be asked for before the mode is set, or it is ignored. The SDL 1.2
// compatibility layer would make a 1 x 1 window of "0 x 0": the size is always given.
SDL_Surface* set_mode(bool windowed, int width, int height) {
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    const Uint32 flags =
        SDL_HWSURFACE | SDL_OPENGL | SDL_DOUBLEBUF | (windowed ? SDL_RESIZABLE : SDL_FULLSCREEN);
    return SDL_SetVideoMode(width, height, 0, flags);
}

// A new mode may come with a new GL context: the state and the textures are made again, and
// the view takes the size the mode has (from the surface, not the request).
void adopt(Session& session, const SDL_Surface* screen) {
    session.view.set_screen_size(static_cast<uint32_t>(screen->w),
                                 static_cast<uint32_t>(screen->h));
    glViewport(0, 0, screen->w, screen->h);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glDeleteTextures(3, ULATEX);
    glDeleteTextures(1, &TXTTEX);
    glDeleteTextures(1, &GRATEX);
    create_textures();
}
} // namespace

void set_blank_cursor() {
    cursor = SDL_CreateCursor(blank_cursor, blank_cursor, 8, 8, 0, 0);
    if (cursor) SDL_SetCursor(cursor);
}

void free_blank_cursor() {
    if (cursor) SDL_FreeCursor(cursor);
    cursor = nullptr;
}

bool open_display(Session& session, bool windowed, int width, int height) {
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    desktop_w = info ? info->current_w : 0;
    desktop_h = info ? info->current_h : 0;
    if (width > 0 && height > 0) {
        window_w = width;
        window_h = height;
    }
    SDL_Surface* screen =
        windowed ? set_mode(true, window_w, window_h) : set_mode(false, desktop_w, desktop_h);
    if (!screen) return false;
    mode_windowed = windowed;
    session.view.windowed = windowed;
    adopt(session, screen);
    return true;
}

void follow_display_mode(Session& session) {
    if (session.view.windowed == mode_windowed) return;
    // A window made anew: the compatibility layer turns the same window full screen only
    // where a window manager moves and resizes it, and keeps its old drawable size.
    // The cursor belongs to the video subsystem: freed before it goes, made again after.
    const bool had_cursor = cursor != nullptr;
    free_blank_cursor();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    SDL_InitSubSystem(SDL_INIT_VIDEO);
    SDL_EnableUNICODE(1);
    SDL_WM_SetCaption("Marrowgleam", nullptr);
    if (had_cursor) set_blank_cursor();
    SDL_Surface* screen = session.view.windowed ? set_mode(true, window_w, window_h)
                                                : set_mode(false, desktop_w, desktop_h);
    if (!screen) {
        // The other mode cannot be had: stay as we are, and say so.
        screen = set_mode(mode_windowed, mode_windowed ? window_w : desktop_w,
                          mode_windowed ? window_h : desktop_h);
        session.view.windowed = mode_windowed;
        session.text.post_message(" DISPLAY MODE FAILED ");
        if (!screen) return;
    }
    mode_windowed = session.view.windowed;
    adopt(session, screen);
}

void resize_window(Session& session, int width, int height) {
    // Setting a mode may itself report the size it set: nothing to do then.
    if (!mode_windowed || width <= 0 || height <= 0) return;
    if (width == static_cast<int>(session.view.VIDDIMX) &&
        height == static_cast<int>(session.view.VIDDIMY))
        return;
    window_w = width;
    window_h = height;
    if (SDL_Surface* screen = set_mode(true, width, height)) adopt(session, screen);
}

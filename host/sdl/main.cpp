// The full-screen program: start-up, the main loop and shutdown.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <SDL/SDL.h>

#include <memory>

#include "frontend/options.h"
#include "frontend/session.h"
#include "host/sdl/sdl_host.h"
#include "host/sdl/stats.h"

int SDL_main(int argc, char** argv);

namespace {

// Without a display SDL2 quietly picks its off-screen driver, which has no keyboard: the
// program would run unseen and could not be told to stop. Only a driver the user asked for
// by name is taken as meant.
bool on_a_display() {
    char name[32] = "";
    SDL_VideoDriverName(name, sizeof name);
    const bool headless = std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0;
    return !headless || std::getenv("SDL_VIDEODRIVER") != nullptr;
}

void set_icon_and_caption() {
    // From the current directory, not beside the executable; no icon is no fault.
    if (SDL_Surface* icon = SDL_LoadBMP("icon.bmp")) {
        SDL_WM_SetIcon(icon, nullptr);
        SDL_FreeSurface(icon);
    }
    SDL_WM_SetCaption("Marrowgleam", nullptr);
}

void shutdown() { free_blank_cursor(); }
} // namespace

int SDL_main(int argc, char** argv) {
    // Large (the picture surfaces): on the heap. It and its host outlive the audio device,
    // which is closed by SDL_Quit at exit.
    static SdlHost host;
    static std::unique_ptr<Session> owner = std::make_unique<Session>(host);
    Session& session = *owner;
    std::string error;
    ProgramOptions options;
    if (!read_program_options(argc, argv, options, error)) {
        std::fprintf(stderr, "marrowgleam: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        const RomPlaces places = rom_places_for(argc > 0 ? argv[0] : "");
        std::fputs((program_usage() + "\nThe ROM set each machine would use on this computer:\n" +
                    rom_sets_usage(options.machine.roms, places))
                       .c_str(),
                   stdout);
        return 0;
    }
    options.apply(session);
    if (!session.load_data_files(argc > 0 ? argv[0] : "", error)) {
        std::fprintf(stderr, "marrowgleam: %s\n", error.c_str());
        return 1;
    }

    // The SDL 1.2 compatibility layer would draw into a framebuffer object of its own and
    // copy it to the window at every swap, a pass over the whole screen that only scaling to
    // another size needs; the mode here is the desktop's own size. (A user's setting wins;
    // a genuine SDL 1.2 ignores the variable.)
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 0);

    // A file-size limit is reported as a failed write (EFBIG) rather than a kill half-way
    // through a save, so that the save can take its partial bytes off again.
    std::signal(SIGXFSZ, SIG_IGN);
    std::atexit(SDL_Quit);
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        std::printf("Unable to initialize SDL: %s\n", SDL_GetError());
        return 1;
    }
    if (!on_a_display()) {
        std::fprintf(stderr, "marrowgleam: no display to show the picture on (DISPLAY is not "
                             "set?)\n");
        return 1;
    }
    // A computer without a working sound device still runs the machine, silent.
    std::string no_sound;
    if (!host.startup_audio(session, no_sound))
        std::fprintf(stderr, "marrowgleam: no sound, running silent: %s\n", no_sound.c_str());
    gamepad_open();

    // No switch of the display to 60 Hz: the buffer swap is held to 1/60 s by the clock
    // instead, whatever the display's refresh.
    if (!open_display(session, options.window, options.window_w, options.window_h)) {
        std::fprintf(stderr, "marrowgleam: cannot set %s OpenGL mode: %s\n",
                     options.window ? "a window's" : "a full-screen", SDL_GetError());
        return 1;
    }
    set_icon_and_caption();

    int count = 0;
    const uint8_t* states = SDL_GetKeyState(&count);
    session.keyboard.attach(states, count);
    // Key events then carry the character they type (typing by character).
    SDL_EnableUNICODE(1);

    set_blank_cursor();

    session.start_machine();
    keep_settings(session, options);
    if (!no_sound.empty()) {
        session.text.TXTINK = 0x1C; // bright green on blue, as every message
        session.text.post_message(" NO SOUND ");
    }
    if (!options.file.empty() && !session.load_command_line_file(options.file)) std::exit(1);

    session.machine.rasterize_ULA(session.ULA_surface[0], session.view.screen_mode, true);
    host.swap_first_frame();
    session.read_keyboard();

    if (run_stats::enabled()) run_stats::begin();
    session.main_loop();
    if (run_stats::enabled()) run_stats::report(session, host.grid_restarts());

    shutdown();
    return 0;
}

int main(int argc, char** argv) { return SDL_main(argc, argv); }

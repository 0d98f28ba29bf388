// The full-screen program: start-up, the main loop and shutdown.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <GL/gl.h>
#include <SDL/SDL.h>

#include <memory>

#include "display/display.h"
#include "formats/snapshots.h"
#include "frontend/session.h"
#include "host/sdl/sdl_host.h"
#include "host/sdl/stats.h"

int SDL_main(int argc, char** argv);

namespace {

SDL_Cursor* cursor;
uint8_t blank_cursor[8];

// Full screen at the desktop's size. The size is read before the mode is set and passed
// explicitly: the SDL 1.2 compatibility layer would make a 1 x 1 window of "0 x 0". Swap
// control must be asked for before the mode is set, or it is ignored.
SDL_Surface* open_screen() {
    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    const int width = info ? info->current_w : 0;
    const int height = info ? info->current_h : 0;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    return SDL_SetVideoMode(width, height, 0,
                            SDL_HWSURFACE | SDL_OPENGL | SDL_DOUBLEBUF | SDL_FULLSCREEN);
}

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

const char* const USAGE = R"(usage: marrowgleam [options] [FILE]

The Marrowgleam ZX Spectrum emulator, full screen. FILE, if given, is loaded at the start:
a snapshot ending in SNA, Z80 or SZX, or a tape image ending in TAP or TZX (any case).

options:
  --snapshot-format sna|z80|szx
                    the format Windows+S saves snapshots in (default szx); they go to
                    $XDG_DATA_HOME/marrowgleam, else ~/.local/share/marrowgleam
  --tape-sound      a tape playing as a signal keeps the normal pace and is heard (without
                    it the machine runs as fast as it can while the tape plays, silent)
  --no-tape-trap    every tape block plays as a signal, also for the ROM's loader (which
                    otherwise takes a standard-speed block at once)
  --ay              fit the 48K with the AY-3-8912 sound chip of an add-on interface (the
                    128K always has it)
  --stereo MODE     the sound chip's channels: abc (A left, B centre, C right; default),
                    acb, or mono
  --joystick MAP    how the machine sees the joystick: kempston (port 0x1F; default),
                    sinclair (keys 6-0) or cursor (5-8, 0)
  --cpu MODEL       the Z80 the machine runs: standard (the default: bits 3 and 5 of SCF
                    and CCF from A, repeating block instructions with the flags of one
                    pass) or zilog (the Zilog NMOS Z80 of a real Spectrum, as the hardware
                    test programs see it); Windows + Z switches between them while running
  --help            show this text
)";

void shutdown() {
    if (cursor) SDL_FreeCursor(cursor);
    cursor = nullptr;
}

} // namespace

int SDL_main(int argc, char** argv) {
    // Large (the picture surfaces): on the heap. It outlives the audio device, which is
    // closed by SDL_Quit at exit.
    static std::unique_ptr<Session> owner = std::make_unique<Session>();
    Session& session = *owner;
    std::string file;
    Session::HardwareOptions hardware;
    CpuModel cpu_model = CpuModel::standard;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (arg == "--snapshot-format") {
            if (i + 1 >= argc ||
                !snapshot_format_of(std::string("x.") + argv[i + 1], session.snapshot_format)) {
                std::fprintf(stderr, "marrowgleam: --snapshot-format needs sna, z80 or szx\n");
                return 2;
            }
            i++;
        } else if (arg == "--ay") {
            hardware.ay_on_48 = true;
        } else if (arg == "--stereo") {
            if (i + 1 >= argc || !parse_stereo(argv[i + 1], hardware.stereo)) {
                std::fprintf(stderr, "marrowgleam: --stereo needs abc, acb or mono\n");
                return 2;
            }
            i++;
        } else if (arg == "--joystick") {
            if (i + 1 >= argc || !parse_joystick_map(argv[i + 1], hardware.joystick)) {
                std::fprintf(stderr,
                             "marrowgleam: --joystick needs kempston, sinclair or cursor\n");
                return 2;
            }
            i++;
        } else if (arg == "--tape-sound") {
            session.tape_sound = true;
        } else if (arg == "--no-tape-trap") {
            session.machine.tape_traps = 0;
        } else if (arg == "--cpu") {
            if (i + 1 >= argc || !cpu_model_named(argv[++i], cpu_model)) {
                std::fprintf(stderr, "marrowgleam: --cpu needs standard or zilog\n");
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "marrowgleam: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        } else if (file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "marrowgleam: only one file can be loaded (see --help)\n");
            return 2;
        }
    }
    session.machine.cpu_model = cpu_model;
    std::string error;
    if (!session.load_data_files(argc > 0 ? argv[0] : "", error)) {
        std::fprintf(stderr, "marrowgleam: %s\n", error.c_str());
        return 1;
    }

    // The SDL 1.2 compatibility layer would draw into a framebuffer object of its own and
    // copy it to the window at every swap, a pass over the whole screen that only scaling to
    // another size needs; the mode here is the desktop's own size. (A user's setting wins;
    // a genuine SDL 1.2 ignores the variable.)
    setenv("SDL12COMPAT_OPENGL_SCALING", "0", 0);

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
    startup_audio(session);
    gamepad_open(session);

    SDL_Surface* screen = open_screen();
    if (!screen) {
        std::fprintf(stderr, "marrowgleam: cannot set a full-screen OpenGL mode: %s\n",
                     SDL_GetError());
        return 1;
    }
    set_icon_and_caption();

    // No switch of the display to 60 Hz: the buffer swap is held to 1/60 s by the clock
    // instead, whatever the display's refresh.
    session.set_screen_size(static_cast<uint32_t>(screen->w), static_cast<uint32_t>(screen->h));

    glViewport(0, 0, screen->w, screen->h);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    create_textures();

    int count = 0;
    const uint8_t* states = SDL_GetKeyState(&count);
    session.keyboard_attach(states, count);

    cursor = SDL_CreateCursor(blank_cursor, blank_cursor, 8, 8, 0, 0);
    if (cursor) SDL_SetCursor(cursor);

    session.start_machine();
    session.apply_hardware_options(hardware);
    if (!file.empty() && !session.load_command_line_file(file)) std::exit(1);

    session.machine.rasterize_ULA(session.ULA_surface[0], session.screen_mode, true);
    swap_first_frame();
    session.read_keyboard();

    if (run_stats::enabled()) run_stats::begin();
    session.main_loop();
    if (run_stats::enabled()) run_stats::report(session);

    shutdown();
    return 0;
}

int main(int argc, char** argv) { return SDL_main(argc, argv); }

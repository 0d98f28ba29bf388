// The session: everything of the interface around one machine. The view (fit, zoom,
// rotation, pan, colour mode, grille), the text layer with its messages and the title, the
// file requester, pause and single step, the keyboard's edges, the audio ring the host
// plays, and the picture surfaces the host composes. The control keys and the requester
// act on it; the hosts show it.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "spectrum/machine.h"

// The text layer's pixel buffer: 512 x 256 pixels, 4 bytes each (blue, green, red, alpha).
constexpr int TXT_SURFACE_W = 512;
constexpr int TXT_SURFACE_H = 256;

// The character set: a 192 x 160 image of one byte a pixel (1 foreground), a 16 x 16 grid
// of 12 x 10 glyphs; code n at column 12 (n mod 16), row 10 (n div 16).
constexpr int CHR_ROW_BYTES = 192;
constexpr int CHR_SIZE = 30720;

// The text screen: 40 x 24 cells of 12 x 10 pixels, cell (c, r) at pixel (8 + 12c, 8 + 10r)
// of TXT_surface. Messages go on row 23.
constexpr int TEXT_COLUMNS = 40;
constexpr int TEXT_ROWS = 24;
constexpr int TEXT_CELL_W = 12;
constexpr int TEXT_CELL_H = 10;
constexpr int TEXT_LEFT = 8;
constexpr int TEXT_TOP = 8;
constexpr int MESSAGE_ROW = 23;
constexpr int MESSAGE_FRAMES = 200; // logical frames a message stays up (4 s)

// The audio ring: five slots of one logical frame's samples.
constexpr int AUDBUF_SIZE = 5 * SAMPLES_PER_FRAME;

// Blend weights (previous, current) by IFBCLK: six physical frames last as long as five
// logical ones, so the displayed position advances by 1.0 once and by 0.8 five times.
extern const float IFBCOE[6][2];

// The address of pixel (x, y) of a surface `width` pixels wide.
inline uint8_t* surface_pixel(uint8_t* surface, int width, int x, int y) {
    return surface + (static_cast<size_t>(y) * width + x) * 4;
}
inline const uint8_t* surface_pixel(const uint8_t* surface, int width, int x, int y) {
    return surface + (static_cast<size_t>(y) * width + x) * 4;
}

struct ListedEntry {
    std::string name; // the bare name, within the listed directory
    bool directory;
};

class Session {
  public:
    Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The machine the session shows and drives.
    Spectrum machine;

    // --- Picture surfaces ---------------------------------------------------------------
    // Three picture surfaces, created opaque black; the text layer, transparent black.
    uint8_t ULA_surface[3][ULA_SURFACE_W * ULA_SURFACE_H * 4];
    uint8_t TXT_surface[TXT_SURFACE_W * TXT_SURFACE_H * 4];
    // Sets every pixel of the four surfaces to its creation value.
    void surfaces_defaults();

    // --- Text layer ---------------------------------------------------------------------
    uint8_t CHR[CHR_SIZE] = {};
    uint8_t TXTINK = 0x0C;  // colour byte: high nibble background (0 transparent), low ink
    uint8_t TXTDUP = 0;     // double height
    char TXTLNBUF[48] = {}; // where messages with a number are formatted
    // Overlay state: 0 hidden, 1 over the picture, 2 alone.
    int32_t overlay = 0;
    int32_t overlay_old = 0;
    int32_t overlay_timeout = 0;
    uint8_t splashing = 1;

    // Reads the character set file (a short file leaves the rest zero). False if it cannot
    // be opened.
    bool load_charset(const char* path);
    // Paints one cell: colour's high nibble the background (0 transparent), low nibble the
    // ink; dbl stretches the glyph over this row and the next. Anything that would fall
    // outside TXT_surface is dropped.
    void TXTPUT(uint8_t code, int column, int row, uint8_t colour, int dbl);
    // Control codes: 0x00 end; 0x10 n set TXTINK; 0x11 n double height on (n != 0) or off.
    void TXTSTR(int column, int row, const char* text);
    void TXTCLS();
    void TXTCLSLN(int first, int count);
    // Posts a message on row 23: clear the row, draw `text` at column 0, remember the
    // overlay state if no message is running (only when `remember` is set: the held keys
    // remember in the frame of the press only) and restart the 200-frame timer.
    void post_message(const char* text, bool remember = true);
    // The expiry step of every logical frame end.
    void overlay_tick();
    // The start-up title.
    void splash();

    // --- View ---------------------------------------------------------------------------
    float scale = 1.0f;                     // zoom of the picture, 1.0 = as fitted
    float rotate = 0.0f;                    // degrees, clockwise on screen
    float translate_x = 0, translate_y = 0; // pan, in picture pixels before zoom
    int32_t fit_mode = 1;                   // 0 FIT, 1 FILL, 2 GAME, 3 FULL
    float fit_x = 344.0f, fit_y = 258.0f;   // the rectangle FIT and GAME fit to the screen
    uint8_t graticule = 1;                  // the aperture grille is drawn
    int32_t screen_mode = SCREEN_COLOUR;    // 0 colour, 1 MELBOURNE, 2 INVERSE INK
    float aspect = 16.0f / 9.0f;            // VIDDIMX / VIDDIMY
    uint32_t VIDDIMX = 1280, VIDDIMY = 720; // the host screen in pixels
    float ULA_ortho_x = 0, ULA_ortho_y = 0; // half-extents of the picture projection
    float TXT_ortho_x = 0, TXT_ortho_y = 0; // half-extents of the text projection
    // Recomputes the four extents from `aspect` and `fit_mode`.
    void update_ortho();
    // Sets the screen size (and aspect) the host has, then update_ortho().
    void set_screen_size(uint32_t width, uint32_t height);

    // --- Keyboard -----------------------------------------------------------------------
    // The host's key-state array, one byte per key code (1 = down), refreshed only when the
    // host pumps its events; the host owns it.
    const uint8_t* keystate = nullptr;
    int numkeys = 0;
    std::vector<uint8_t> keystate_last; // the states just before the most recent pump
    std::vector<uint8_t> keystate_make; // 1 for each key that went down in the most recent pump
    // 1 for each key whose press the host's event queue gave in the most recent pump, even
    // if it was let go again before the pump ended (a tap between two reads).
    std::vector<uint8_t> keystate_tapped;
    // 1 for each key let go in the most recent pump: it still counts as held for this read,
    // so that Windows+P pressed and let go across two pumps is still Windows+P.
    std::vector<uint8_t> keystate_released;
    // Keys that closed the requester: they count as up until they are released.
    std::vector<uint8_t> keystate_swallowed;
    void keyboard_attach(const uint8_t* states, int count);
    // Samples the keyboard: remember the states, pump the host's events, compute the edges,
    // and give the machine its key rows.
    void read_keyboard();
    // A key is held for a read when it is down, or went down or up since the last read.
    bool key_held(int k) const {
        return k >= 0 && k < numkeys &&
               (keystate[k] || keystate_tapped[k] || keystate_released[k]) &&
               !keystate_swallowed[k];
    }
    bool key_pressed(int k) const { return key_held(k) && keystate_make[k]; }
    // A Windows key, whichever name the host gives it (SUPER, or META without the keyboard
    // layout mapping of the compat library).
    bool win_held() const;
    // The machine's key rows from the held keys and the tap being played; none while a
    // Windows key is held (the emulator's own keys use it).
    void update_key_rows();
    // One key event from the host's queue, in order, during host_pump_events: the key code,
    // down or up, and the character a press types (0 if none or unknown).
    void key_event(int key, bool down, uint32_t character);
    // Typing by character: a host character that the Spectrum types with SYMBOL SHIFT
    // presses that combination instead of the key in its place.
    bool type_chars = false;
    // Presses of Spectrum keys, played one after another, each for one logical frame (the
    // ROM's scan at the interrupt sees it) and no sooner than the ROM can take it.
    struct KeyTap {
        int key = 0;           // the host key whose press it is
        std::vector<int> keys; // host keys, as the key rows map them
        bool symbol = false;   // a character typed with SYMBOL SHIFT: no CAPS SHIFT with it
    };
    std::deque<KeyTap> tap_queue;
    KeyTap tap_playing; // the tap in the key rows now, or none
    std::vector<int> last_tap_keys;
    uint64_t tap_started = 0; // machine_time() when the last one began
    // T-states run since the start (logical frames ended times their length, plus tstates).
    uint64_t machine_time() const;

    // --- Run state ----------------------------------------------------------------------
    uint8_t exit_request = 0;
    // still_frame and file_requester_mode are also read by the audio callback's thread.
    std::atomic<uint8_t> still_frame{0};
    uint8_t still_frame_old = 0;
    std::atomic<uint8_t> file_requester_mode{0};
    uint64_t logical_frames = 0; // frames ended since start (statistics, tests)
    uint64_t physical_frames = 0;
    uint64_t logical_tstates = 0; // the T-states of the logical frames ended since start
    int last_picture = 0;         // the picture surface the last logical frame painted
    // The executable's directory with its trailing '/', or empty: data and channel files.
    std::string application_path;

    // --- Audio ring ---------------------------------------------------------------------
    // Shared with the audio thread: the writer publishes with release, the callback reads
    // with acquire, so it never sees a write end before the samples behind it.
    uint8_t AUDBUF[AUDBUF_SIZE] = {};
    std::atomic<int32_t> AUDPOSW{0}; // end of the slot filled last: 960..4800, 0 after a reset
    std::atomic<int32_t> AUDPOSR{0}; // next sample the callback plays
    std::atomic<uint8_t> AUDDAT{0};  // the level at the end of the last converted frame
    int32_t enable_audio = 0;
    // The audio callback's body: fills `length` bytes of unsigned 8-bit mono at 48 kHz from
    // the ring at AUDPOSR (4800 reads as 0). Plays 0x00 while the machine is paused or the
    // requester is open, still moving AUDPOSR; on reaching the write end it plays AUDDAT for
    // the rest.
    void audio_fill(uint8_t* stream, int length);

    // --- Frames and the main loop -------------------------------------------------------
    // Ends a logical frame: beeper samples, message timer, picture, pulldown, flashctr.
    void render_logical_frame();
    // Ends a physical frame: the pause loop (F7, F8, Escape), composition and swap, audio
    // start, keyboard, control keys, IFBCLK, tstatesh, IFB_buffer.
    void render_physical_frame();
    // Resets the CPU and the frame and audio state (not memory).
    void reset_logical_system();
    // The audio's part of it: the device paused until two physical frames have passed, the
    // ring emptied.
    void reset_audio();
    // Runs the main loop until exit_request ends it at a physical frame boundary.
    void main_loop();
    // The main loop, returning also as soon as logical_frames reaches `logical_frame_limit`
    // (right after that frame end; calling it again continues exactly where it stopped).
    // False once exit_request has ended the run.
    bool run_machine(uint64_t logical_frame_limit);

    // --- Start-up -----------------------------------------------------------------------
    // application_path from the executable's path (argv[0], or where the kernel says the
    // program is when argv[0] names no directory), then "1982.rom" and "teletext" from
    // there. False, with a message in `error`, when either file cannot be opened.
    bool load_data_files(const char* argv0, std::string& error);
    // Once the host is up: the title on the text layer for 200 logical frames, the reset.
    void start_machine();

    // --- Files --------------------------------------------------------------------------
    // Loads a snapshot or attaches a tape (see load_speccy) and resets the frame and audio
    // state with the machine. `why` as LoadResult gives it.
    bool load_file(const std::string& path, std::string* why = nullptr);
    // Loads the file named on the command line. When it cannot be loaded, prints one line
    // naming the file on standard error and returns false: the program then ends with
    // status 1.
    bool load_command_line_file(const std::string& path);
    // Channels 0 to 9: the whole machine state in "CH<n>" beside the executable. Saving
    // never destroys the previous save; a file that is not a channel is not loaded. Both say
    // so on row 23.
    std::string channel_name(int n) const; // application_path + "CH" + n
    void save_channel(int n);
    void load_channel(int n);

    // --- Display mode and screenshots ---------------------------------------------------
    // The display mode the user asks for: a window, or full screen. The full-screen host
    // follows it at its next pump of events (Alt+Enter switches it).
    bool windowed = false;
    // Windows+P: the picture last painted, as PNG, into pictures_directory() under a name
    // with the date and time, shown on row 23. The path written, or empty on a failure.
    std::string save_screenshot();

    // --- Control keys and the requester -------------------------------------------------
    void handle_control_keys();
    int DIRCUR = 0; // the cursor's index in the listing
    int DIROFF = 0; // the index of the entry on the first list row
    // The directory the requester shows, by its full path; the working directory when the
    // requester first opens.
    std::filesystem::path requester_dir;
    // F10: opens or closes the requester page.
    void do_file_requester();
    // One frame of the open requester, after the keyboard was read.
    void handle_file_requester();
    // The navigation keys of one frame (Home, End, Page Up, Page Down, Up, Down) on DIRCUR
    // and DIROFF for a listing of k entries. Keeps 0 <= DIRCUR - DIROFF <= 19.
    void requester_navigate(int k);

  private:
    // Per key held in typing by character: the Spectrum keys its character presses (empty:
    // the key in its place).
    std::vector<std::vector<int>> key_symbols;
    std::vector<int> key_pending; // per key, its presses still waiting in tap_queue
    // Modifiers as the events so far leave them.
    bool event_shift = false, event_ctrl = false, event_alt = false, event_win = false;
    void play_taps();
    void present();
    void channel_keys();
    void pan_keys();
    void zoom_and_rotate_keys();
    void grille_and_colour_keys();
    void feature_keys();
    void home_key();
    void draw_requester_text(int column, int row, const std::string& text, uint8_t colour);
    void choose(const std::filesystem::path& selection);
};

// True when the requester lists this entry: a directory, or a name whose type is "SNA" or
// "TAP". A name of 4 characters or fewer has no type (".sna" is not listed); no dot is
// needed ("gamesna" is a snapshot).
bool requester_lists(const std::string& name, bool directory);

// The listed entries of `directory` in the order the file system enumerates them
// (unsorted, directories and files mixed, "." and ".." left out). Empty when the directory
// cannot be read.
std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory);

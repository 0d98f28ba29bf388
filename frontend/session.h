// The session: everything of the interface around one machine. The view (fit, zoom,
// rotation, pan, colour mode, grille), the text layer with its messages and the title, the
// file requester, pause and single step, the keyboard's edges, the audio ring the host
// plays, and the picture surfaces the host composes. The control keys and the requester
// act on it; the hosts show it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/snapshots.h"
#include "frontend/sound_mix.h"
#include "frontend/typing.h"
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

// The audio ring: eight slots of one logical frame's samples (160 ms).
constexpr int AUDBUF_SIZE = 8 * SAMPLES_PER_FRAME;
// What the ring holds before the device starts after a reset: three frames (60 ms). The
// emulation thread may then stall for about 30 ms (a slow buffer swap) without the device
// running dry. Each underrun adds a frame to the lead the device resumes with, up to six
// (120 ms): a computer whose stalls are longer gets a longer delay rather than more gaps.
constexpr int AUDIO_LEAD = 3 * SAMPLES_PER_FRAME;
constexpr int AUDIO_LEAD_MOST = 6 * SAMPLES_PER_FRAME;
// An underrun holds the last level for one frame's samples, then fades towards silence (0,
// which a stopped machine plays) by AUDIO_FADE a sample: a time constant
// of 10 ms, slow enough to be heard as no click. Playback after a faded gap starts from where
// the fade had got to and glides back to the ring's own level the same way.
constexpr int AUDIO_HOLD = SAMPLES_PER_FRAME;
constexpr float AUDIO_FADE = 0.997919f; // exp(-1 / 480)

// A sample packed into one word (left in the low half), for an atomic.
constexpr uint32_t pack_sample(StereoSample s) {
    return static_cast<uint16_t>(s.left) | static_cast<uint32_t>(static_cast<uint16_t>(s.right))
                                               << 16;
}
constexpr StereoSample unpack_sample(uint32_t w) {
    return {static_cast<int16_t>(w & 0xFFFF), static_cast<int16_t>(w >> 16)};
}

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
    // What the main loop last painted each picture surface from (see PaintedFrom).
    PaintedFrom ULA_painted[3];
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
    // Windows key is held (the emulator's own keys use it). Then the joystick.
    void update_key_rows();
    // One key event from the host's queue, in order, during host_pump_events: the key code,
    // down or up, and the character a press types (0 if none or unknown).
    void key_event(int key, bool down, uint32_t character);
    // Typing by character: a host character that the Spectrum types with SYMBOL SHIFT
    // presses that combination instead of the key in its place.
    bool type_chars = false;
    // Presses of Spectrum keys, played one after another, each for a few logical frames
    // (the ROM's scan at the interrupt sees it) and no sooner than the ROM can take it.
    struct KeyTap {
        int key = -1;          // the host key whose press it is (-1: typed by a script)
        std::vector<int> keys; // host keys, as the key rows map them
        bool symbol = false;   // a character typed with SYMBOL SHIFT: no CAPS SHIFT with it
        int hold = 2;          // logical frames down at least
        int gap = 6;           // logical frames from its start to the next one's, at least,
                               // when the ROM's keyboard routine is not in charge
    };
    std::deque<KeyTap> tap_queue;
    KeyTap tap_playing; // the tap in the key rows now, or none
    std::vector<int> last_tap_keys;
    uint64_t tap_started = 0; // machine_time() when the last one began
    TapHandshake tap_rom;     // what the ROM has made of the last one (frontend/typing.h)
    // Text typed by the headless runner's script: each combination a tap held `hold` frames,
    // queued behind the taps still waiting.
    void type_taps(const std::vector<std::vector<int>>& combinations, int hold);
    // T-states run since the start (logical frames ended times their length, plus tstates).
    uint64_t machine_time() const;

    // --- Joystick -----------------------------------------------------------------------
    // The joystick is read from the host's first gamepad (`gamepad`, set by the host), from
    // the gamepad keys of a host that has them (key::JOY_*), and, with joystick_keys on
    // (Windows+J), from the arrows and Tab (fire). joystick_map says where the machine sees
    // it: the Kempston port 0x1F, or the keys 6-0 (Sinclair) or 5-8 and 0 (cursor).
    enum class JoystickMap : uint8_t { KEMPSTON, SINCLAIR, CURSOR };
    JoystickMap joystick_map = JoystickMap::KEMPSTON;
    bool joystick_keys = false;
    uint8_t gamepad = 0; // Kempston bits: 0 right, 1 left, 2 down, 3 up, 4 fire
    // The joystick's state now, in Kempston bits.
    uint8_t joystick_bits() const;
    // Gives the machine the joystick: the port's bits, or the mapped keys added to its rows.
    void apply_joystick();
    // Windows+J: the arrows and Tab become the joystick, or the cursor keys again.
    void joystick_keys_key();
    // The sound chip and joystick as the command line chose them.
    struct HardwareOptions {
        bool ay_on_48 = false;
        AyStereo stereo = AyStereo::ABC;
        JoystickMap joystick = JoystickMap::KEMPSTON;
    };
    void apply_hardware_options(const HardwareOptions& options);

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
    // Display frames during which the machine stood still (paused, or the requester open):
    // each is a pass of the main loop of its own, so a host that never waits (the headless
    // runner) goes on counting frames and reading its script.
    uint64_t held_frames = 0;
    // The executable's directory as an absolute path with its trailing '/', fixed at start:
    // data and channel files. The working directory is never changed.
    std::string application_path;

    // --- Audio ring ---------------------------------------------------------------------
    // A single-producer, single-consumer ring shared with the audio thread. The emulation
    // thread writes a slot, then publishes its end in AUDPOSW (release); the callback
    // acquires AUDPOSW, plays up to it and publishes how far it got in AUDPOSR (release);
    // the emulation thread acquires AUDPOSR and writes only a slot the callback cannot be
    // reading. The callback never moves past the write end.
    StereoSample AUDBUF[AUDBUF_SIZE] = {};
    std::atomic<int32_t> AUDPOSW{0}; // end of the slot filled last: 960..7680, 0 after a reset
    std::atomic<int32_t> AUDPOSR{0}; // next sample the callback plays
    std::atomic<uint32_t> AUDDAT{pack_sample(SILENCE)}; // the last frame's last sample
    int32_t enable_audio = 0;
    // The last logical frame's 960 samples, whether or not the ring took them (the
    // emulation thread's own; the headless runner writes its WAV from here).
    StereoSample FRAME_SAMPLES[SAMPLES_PER_FRAME] = {};
    // Whether the slot at `base` may be written: it follows on from the write end, and the
    // callback's unread span and it fit in the ring together with room to spare (seven
    // slots unread at most).
    bool audio_slot_free(int32_t base) const;
    // The audio callback's body: fills `count` samples (16-bit stereo at 48 kHz) from the
    // ring at AUDPOSR (AUDBUF_SIZE reads as 0). Plays silence while the machine is
    // paused or the requester is open, leaving AUDPOSR where it is; on reaching the write
    // end (an underrun) it plays AUDDAT for the rest, fading after AUDIO_HOLD samples.
    void audio_fill(StereoSample* stream, int count);
    // The machine's sound of the frame just ended into FRAME_SAMPLES: the beeper's levels
    // and the sound chip's output, mixed by sound_mix.
    void mix_frame_sound();
    SoundMix sound_mix;
    // The sound's level at the frame's end, which an underrun holds (set by mix_frame_sound).
    StereoSample frame_end_sample = SILENCE;
    // Samples written to the ring and not yet played.
    int32_t audio_unread() const;
    // Underruns since the program started: the callback reached the write end while the
    // machine ran, counted once for each gap (the callback writes it; statistics, tests).
    std::atomic<uint64_t> audio_underruns{0};
    // The callback's own state across an underrun (only the callback touches it, and
    // reset_audio with the device locked out).
    struct AudioGap {
        int32_t length = 0;                   // samples of the current gap played; 0 while playing
        int32_t lead = AUDIO_LEAD;            // what the ring must hold for playing to resume
        float held[2] = {};                   // the level the gap began at (AUDDAT then)
        float level[2] = {};                  // the gap's output now: held, then fading
        float offset[2] = {};                 // added to the ring's samples after a faded gap
        StereoSample next();                  // the gap's next sample
        StereoSample play(StereoSample ring); // a ring sample, past a gap
    };
    AudioGap audio_gap;

    // --- Frames and the main loop -------------------------------------------------------
    // Ends a logical frame: beeper samples, message timer, picture, pulldown, flashctr.
    void render_logical_frame();
    // One display refresh at a physical frame end: F7, composition and swap, audio start,
    // keyboard, Escape. False while paused (no F8): the frame is held and the main loop
    // calls again at its next pass. Otherwise the control keys, IFBCLK, tstatesh and
    // IFB_buffer, and true.
    bool render_physical_frame();
    // Resets the CPU and the frame and audio state (not memory).
    void reset_logical_system();
    // The audio's part of it: the device paused until two physical frames have passed and
    // the ring holds AUDIO_LEAD samples, the ring emptied.
    void reset_audio();
    // Runs the main loop until exit_request ends it at a physical frame boundary.
    void main_loop();
    // The main loop, returning also as soon as frame_clock() reaches `frame_limit` (right
    // after that logical frame end or held display frame; calling it again continues
    // exactly where it stopped). False once exit_request has ended the run.
    bool run_machine(uint64_t frame_limit);
    // Logical frames ended plus display frames held still (pause, requester): the clock of
    // run_machine's limit and of the headless runner's script.
    uint64_t frame_clock() const { return logical_frames + held_frames; }

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
    // Channels 0 to 9: the whole machine state in "CH<n>", beside the executable while its
    // directory is writable, else in the user's data directory (user_data_dir()). Saving
    // never destroys the previous save; a file that is not a channel is not loaded. Both say
    // so on row 23, and name the data directory when they use it.
    std::string channel_dir() const;       // with its trailing '/'
    std::string channel_name(int n) const; // channel_dir() + "CH" + n
    void save_channel(int n);
    void load_channel(int n);
    // Whether the program may create files in a directory; access(W_OK) unless a test puts
    // its own answer here.
    std::function<bool(const std::string&)> directory_writable;

    // Windows+S: the running machine as a new snapshot, named by the date and time, in the
    // user's data directory, in `snapshot_format`. Row 23 names the file, or says it failed.
    SnapshotFormat snapshot_format = SnapshotFormat::SZX;
    void save_snapshot_key();
    // The file save_snapshot_key() writes at `when`: "YYYYMMDD-HHMMSS.ext" in `directory`,
    // with "-2", "-3", ... before the extension while a file of that name exists.
    std::string new_snapshot_name(const std::string& directory, const std::tm& when) const;

    // --- Tape ---------------------------------------------------------------------------
    // With tape_sound, a tape playing as a signal keeps the normal pace and is heard (mixed
    // into the beeper); without it, the machine runs as fast as the host allows while the
    // tape plays, showing a frame every FAST_LOAD_SHOW_PERIOD of real time, the sound muted.
    bool tape_sound = false;
    static constexpr std::chrono::milliseconds FAST_LOAD_SHOW_PERIOD{100};
    std::chrono::steady_clock::time_point fast_shown{};
    // The attached tape's file when it is a TAP image; SAVE appends to it. Otherwise the
    // first SAVE makes a new file in the data directory, and later ones append there.
    std::string save_tape_path;
    // Whether save_tape_path is the attached tape itself: the deck then gets the saved
    // blocks too, after the ones it holds, as a recorder would have them on the tape.
    bool saves_to_deck = false;
    // The length save_tape_path had when it was attached or last written, -1 when not known
    // (its length then is taken as it finds it): an append to a file of another length is
    // refused.
    int64_t save_tape_length = -1;
    // The last SAVE that failed, in words ("tape.tap: No space left on device"), for a host
    // that reports it; the host clears it.
    std::string tape_save_failure;
    bool tape_fast() const { return machine.tape_deck.playing && !tape_sound; }
    // F11: the tape plays or stops.
    void tape_key();
    // Plays (true) or stops the tape, as F11 does when it is stopped or playing.
    void tape_key_play(bool play) {
        if (play != machine.tape_deck.playing) tape_key();
    }
    // The deck's events as messages; the blocks the ROM saved written out.
    void tape_frame();
    // Appends the saved blocks to the save file (made when there is none, or when the one
    // there is read-only), with a message.
    void write_saved_blocks();
    // Writes `bytes` to a new file in the data directory; its path, or "" with `why`.
    std::string new_tape_file(const std::vector<uint8_t>& bytes, std::string& why);
    // " SAVE FAILED " on row 23, and why for the host.
    void tape_save_failed(const std::string& path, const std::string& why);

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
    // The listed entries of requester_dir, read when the page opens or a directory is
    // entered (never every frame).
    std::vector<ListedEntry> requester_entries;
    // Display frames the note on row 23 (a directory that could not be read) stays up.
    int requester_note_frames = 0;
    // Reads `directory` and makes it the one shown. When it cannot be read, the page stays
    // where it was and row 23 says why ("CANNOT READ: Permission denied"); false.
    bool requester_read(const std::filesystem::path& directory);
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
    void choose(const std::filesystem::path& selection, bool directory);
};

// The CPU models by the names the command line gives them (--cpu): "standard" (the default)
// and "zilog". False for any other name.
bool cpu_model_named(const std::string& name, CpuModel& model);

// The user's data directory with its trailing '/': $XDG_DATA_HOME/marrowgleam/ when that
// variable holds an absolute path, else $HOME/.local/share/marrowgleam/; "" when neither is
// set. It is created (with its parents) when missing.
std::string user_data_dir();

// True when the requester lists this entry: a directory, or a name whose type is "SNA",
// "TAP", "TZX", "Z80" or "SZX". A name of 4 characters or fewer has no type (".sna" is not
// listed); no dot is needed ("gamesna" is a snapshot).
bool requester_lists(const std::string& name, bool directory);

// The listed entries of `directory`: ".." (the parent, but at the root), then the
// directories, then the files, each sorted by name regardless of case ("." left out).
// Empty when the directory cannot be read.
std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory);
// The same, with the reason in `ec` when the directory cannot be read.
std::vector<ListedEntry> requester_listing(const std::filesystem::path& directory,
                                           std::error_code& ec);

// Command-line words: "abc", "acb", "mono"; "kempston", "sinclair", "cursor" (any case).
// False for any other word.
bool parse_stereo(const std::string& word, AyStereo& stereo);
bool parse_joystick_map(const std::string& word, Session::JoystickMap& map);

// A row-23 message: `head` and then `reason`, cut at a space to fit the 40 columns.
std::string message_with_reason(const std::string& head, const std::string& reason);

// The session: one machine and the parts of the interface around it, each with a job of its
// own: the view, the text layer and its messages, keys and typing, the sound ring, the file
// requester and the user's files. The session owns the picture surfaces the host composes
// and runs the main loop with its 5:6 frame schedule, pause and single step; the control
// keys act on its parts. The host it is given shows it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <functional>
#include <string>
#include <vector>

#include "frontend/debugger.h"
#include "frontend/host.h"
#include "frontend/keyboard.h"
#include "frontend/monitor.h"
#include "frontend/requester.h"
#include "frontend/rewind.h"
#include "frontend/roms.h"
#include "frontend/sound_ring.h"
#include "frontend/symbols.h"
#include "frontend/text_layer.h"
#include "frontend/user_files.h"
#include "frontend/view.h"
#include "spectrum/machine.h"

// Blend weights (previous, current) by IFBCLK: six physical frames last as long as five
// logical ones, so the displayed position advances by 1.0 once and by 0.8 five times.
extern const float IFBCOE[6][2];

class Session {
  public:
    // The host the session is shown by; it must outlive the session.
    explicit Session(Host& host);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The machine the session shows and drives.
    Spectrum machine;
    Host& host;

    // --- The parts ----------------------------------------------------------------------
    View view;
    TextLayer text;
    Keyboard keyboard;
    SoundRing sound;
    Requester requester;
    UserFiles files;
    // Breakpoints and watchpoints (none: the machine runs its own step), and the names of
    // addresses from --symbols.
    Debugger debugger;
    Symbols symbols;
    Monitor monitor; // Windows+D (monitor.cpp)

    // --- Picture surfaces ---------------------------------------------------------------
    // Three picture surfaces, created opaque black.
    uint8_t ULA_surface[3][ULA_SURFACE_W * ULA_SURFACE_H * 4];
    // What the main loop last painted each picture surface from (see PaintedFrom).
    PaintedFrom ULA_painted[3];
    // Sets every pixel of the picture surfaces and the text layer to its creation value.
    void surfaces_defaults();

    // --- Keyboard -----------------------------------------------------------------------
    // Samples the keyboard: remember the states, pump the host's events, compute the edges,
    // play the taps and give the machine its key rows.
    void read_keyboard();
    // One key event from the host's queue, in order, while the host pumps its events.
    void key_event(int key, bool down, uint32_t character) {
        keyboard.key_event(key, down, character, file_requester_mode != 0);
    }
    // T-states run since the start (logical frames ended times their length, plus tstates).
    uint64_t machine_time() const;
    // The sound chip and joystick as the command line chose them.
    using JoystickMap = Keyboard::JoystickMap;
    struct HardwareOptions {
        bool ay_on_48 = false;
        AyStereo stereo = AyStereo::ABC;
        JoystickMap joystick = JoystickMap::KEMPSTON;
    };
    void apply_hardware_options(const HardwareOptions& options);
    // Windows+J: the arrows and Tab become the joystick, or the cursor keys again.
    void joystick_keys_key();

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

    // --- Sound --------------------------------------------------------------------------
    // The host's audio callback: the ring's samples, or silence while the machine stands
    // still (paused, or the requester open).
    void audio_fill(StereoSample* stream, int count) {
        sound.audio_fill(stream, count,
                         file_requester_mode.load(std::memory_order_acquire) ||
                             still_frame.load(std::memory_order_acquire) ||
                             rewinding.load(std::memory_order_acquire));
    }

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
    // exactly where it stopped). False once exit_request has ended the run. A breakpoint or
    // watchpoint ends it too, with debugger.reason set (true); it goes on from there.
    bool run_machine(uint64_t frame_limit);
    // Logical frames ended plus display frames held still (pause, requester): the clock of
    // run_machine's limit and of the headless runner's script.
    uint64_t frame_clock() const { return logical_frames + held_frames; }

    // --- Start-up -----------------------------------------------------------------------
    // The application path from the executable's path (argv[0], or where the kernel says
    // the program is when argv[0] names no directory), then "1982.rom" and "teletext" from
    // there. False, with a message in `error`, when either file cannot be opened.
    bool load_data_files(const char* argv0, std::string& error);
    // The machine that runs and the one the user chose (a snapshot may bring another), the
    // ROM files given for the machine chosen at start, where ROM sets are looked for (set by
    // load_data_files) and the name of the set in use.
    MachineKind machine_kind = MachineKind::m48;
    MachineKind machine_chosen = MachineKind::m48;
    GivenRoms given_roms;
    MachineKind given_roms_for = MachineKind::m48;
    RomPlaces rom_places;
    std::string rom_set_name;
    // Powers the machine on as `kind` with its ROM set (the files given count only for the
    // machine chosen at start). False with `error` naming the file when the set cannot be
    // had; the machine is then as it was.
    bool choose_machine(MachineKind kind, std::string& error);
    // Windows+M: the next machine whose ROMs are there (48K, 128K, +2), reset.
    void machine_key();
    // A message for row 23 once the title has gone (a damaged settings file).
    std::string after_title_message;
    // Run after the control keys of every physical frame that ran (the settings kept).
    std::function<void()> after_control_keys;
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

    // --- Tape ---------------------------------------------------------------------------
    // With tape_sound, a tape playing as a signal keeps the normal pace and is heard (mixed
    // into the beeper); without it, the machine runs as fast as the host allows while the
    // tape plays, showing a frame every FAST_LOAD_SHOW_PERIOD of real time, the sound muted.
    bool tape_sound = false;
    static constexpr std::chrono::milliseconds FAST_LOAD_SHOW_PERIOD{100};
    std::chrono::steady_clock::time_point fast_shown{};
    bool tape_fast() const { return machine.tape_deck.playing && !tape_sound; }
    // F11: the tape plays or stops.
    void tape_key();
    // Plays (true) or stops the tape, as F11 does when it is stopped or playing.
    void tape_key_play(bool play) {
        if (play != machine.tape_deck.playing) tape_key();
    }
    // The deck's events as messages; the blocks the ROM saved written out.
    void tape_frame();

    // --- Rewind and run-ahead -----------------------------------------------------------
    // The machine's states of the last seconds (--rewind-seconds), one pushed at every
    // logical frame end. Cleared when another machine is loaded.
    RewindRing rewind_ring;
    // Windows+R held: the machine goes back while the display frames pass, silent (also read
    // by the audio callback's thread).
    std::atomic<uint8_t> rewinding{0};
    // Logical frames the shown picture runs ahead of the machine (--run-ahead), and the copy
    // of the machine that runs them.
    static constexpr int MOST_RUN_AHEAD = 2;
    int run_ahead_frames = 0;
    std::unique_ptr<Spectrum> ahead;
    // Takes the machine `frames` logical frames back at the end of the logical frame now
    // running (a script's rewind event); the newer states are dropped.
    void request_rewind(int frames) { rewind_requested += frames; }
    int rewind_requested = 0;

    // --- Control keys and the requester -------------------------------------------------
    void handle_control_keys();
    // The monitor: opened with `why` on row 23; drawn; its keys (true while it holds the
    // machine still, and in the display frame that closes it); the logical frame ends a run
    // from it has reached.
    void open_monitor(const std::string& why);
    // Closes it, the text layer back as the user had it.
    void close_monitor();
    void draw_monitor();
    bool monitor_keys();
    void monitor_frame_ends();
    // The text layer as the user chose it (0 hidden, 1 over the picture, 2 alone): not the
    // state a running message, the requester or the monitor put it in for the moment.
    int32_t chosen_text_layer() const;
    // F10: opens or closes the requester page.
    void do_file_requester();
    // One frame of the open requester, after the keyboard was read.
    void handle_file_requester();

  private:
    void present();
    // Windows+R: whether it is held, a display frame of rewinding, one step back.
    bool rewind_key_held() const;
    void rewind_frame();
    void rewind_step(int frames, bool first);
    void show_restored_frame();
    // The logical frame just ended: its state into the ring, a requested rewind, the frames
    // ahead painted into picture surface `slot` instead of the machine's own.
    void after_logical_frame(int slot, bool painted_ahead, bool paint_border);
    int rewind_phase = 0;
    void snapshot_machine();
    void channel_keys();
    void pan_keys();
    void zoom_and_rotate_keys();
    void grille_and_colour_keys();
    void feature_keys();
    void home_key();
    void choose(const std::filesystem::path& selection, bool directory);
};

// The CPU models by the names the command line gives them (--cpu): "standard" (the default)
// and "zilog". False for any other name.
bool cpu_model_named(const std::string& name, CpuModel& model);

// Command-line words: "abc", "acb", "mono"; "kempston", "sinclair", "cursor" (any case).
// False for any other word.
bool parse_stereo(const std::string& word, AyStereo& stereo);
bool parse_joystick_map(const std::string& word, Session::JoystickMap& map);

// Where the program beside `argv0` looks for ROM sets: the user's ROM directory, beside the
// program (or PREFIX/share/marrowgleam, installed) and the system's.
RomPlaces rom_places_for(const char* argv0);

// The fit modes as Home steps through them: FIT, FILL, GAME, FULL.
void set_fit_mode(View& view, int mode);

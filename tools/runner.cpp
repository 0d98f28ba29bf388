// marrowgleam-run: the emulator without a window. Boots the ROM, optionally loads a program,
// runs a number of logical frames as fast as the host allows while a script presses keys,
// and writes the last picture as PNG, the sound as WAV and the screen as text.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <memory>

#include "formats/snapshots.h"
#include "frontend/options.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "tools/keyscript.h"
#include "tools/media_files.h"
#include "tools/screen_text.h"

namespace {
const char* const USAGE_HEAD = R"(usage: marrowgleam-run [options] [FILE]

Runs the Marrowgleam ZX Spectrum emulator without a window, as fast as the computer
allows: boots the ROM ("1982.rom" beside this program), loads FILE if given (a snapshot
ending in SNA, Z80 or SZX, or a tape image ending in TAP or TZX, any case; start a tape
with LOAD "" typed by a script), runs the given number of logical frames (50 a second of
emulated time) and writes what you ask for. With a tape attached it reports the tape's
block and state at the end.

options:
  --frames N        frames to run (default 250: five emulated seconds): logical frames,
                    and while the machine stands still (paused with F7, or in the file
                    requester opened with F10) each display frame counts as one
  --keys SCRIPT     keys to press, as events "FRAME:ACTION" separated by ';':
                      50:type 10 PRINT 2+2<enter>   type text from frame 50 on
                      120:press f7 / 125:release f7 hold and let go of keys
                      200:tape play / 300:tape stop start and stop the tape
                    key names: a-z 0-9 space enter shift symbol backspace up down left
                    right escape home end pageup pagedown f1-f12 kp0-kp9 win tab; the
                    joystick: joy_up joy_down joy_left joy_right joy_fire; in typed
                    text capitals add CAPS SHIFT, symbols add SYMBOL SHIFT, <semicolon>
                    types ';', <name> is any Spectrum key
  --keys-file FILE  the same script read from a file (events also one per line)
  --key-frames N    logical frames each typed key is held at least (default 3)
  --png FILE        write the picture of the last frame (352 x 288, with border) as PNG
  --wav FILE        write the sound of the whole run as WAV (48 kHz, 16-bit stereo: the
                    beeper and the sound chip), as it runs; without it no sound is kept
  --text            print the Spectrum's screen as text at the end
  --dump ADDR:LEN:FILE
                    write LEN bytes of memory as the CPU sees it, from ADDR on (wrapping at
                    0xFFFF), to FILE at the end; numbers decimal or 0x hex; may be repeated
  --save FILE       save the machine as a snapshot at the end of the run, its format by the
                    name's ending: .sna, .z80 (version 3) or .szx (any case); a failed save
                    leaves an old FILE as it was
)";
const char* const USAGE_TAIL = R"(  --quiet           do not print the speed figures
  --help            show this text

The program ends early, with status 0, if the script presses Escape. A file that
cannot be loaded ends it with status 1 and a line saying why: it cannot be opened (the
system's reason, e.g. "No such file or directory"), it is not a regular file (a
directory, a named pipe, a device: never opened), its name ends in none of SNA, Z80, SZX,
TAP and TZX, or it is a snapshot too short or malformed. A failed --save also ends it with
status 1, and so does a SAVE typed in BASIC that could not be written (the tape file or the
data directory not writable, a full disk, a block too long for a TAP file): each is
reported on standard error with the reason.
)";

bool parse_count(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end && *end == '\0' && value >= 0;
}

struct MemoryDump {
    long addr, length;
    std::string path;
};

// "ADDR:LEN:FILE"; the file name may itself hold ':'.
bool parse_dump(const std::string& text, MemoryDump& dump) {
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos || second + 1 == text.size()) return false;
    auto number = [](const std::string& digits, long& value) {
        char* end = nullptr;
        value = std::strtol(digits.c_str(), &end, 0);
        return !digits.empty() && end && *end == '\0';
    };
    dump.path = text.substr(second + 1);
    return number(text.substr(0, first), dump.addr) &&
           number(text.substr(first + 1, second - first - 1), dump.length) && dump.addr >= 0 &&
           dump.addr <= 0xFFFF && dump.length >= 0 && dump.length <= 0x10000;
}

// "tape: block 3 of 5 (ID 10 at offset 1234), stopped": the block the deck is at.
std::string tape_report(const TapeDeck& deck) {
    char text[128];
    const char* state = deck.playing ? "playing" : deck.at_end() ? "at its end" : "stopped";
    if (deck.at_end()) {
        std::snprintf(text, sizeof text, "tape: block %zu of %zu, %s", deck.blocks.size(),
                      deck.blocks.size(), state);
    } else {
        const TapeBlock& b = deck.blocks[deck.index];
        std::snprintf(text, sizeof text, "tape: block %zu of %zu (ID %02X at offset %zu), %s",
                      deck.index + 1, deck.blocks.size(), b.id, b.file_offset, state);
    }
    return text;
}

bool write_dump(const Spectrum& m, const MemoryDump& dump) {
    std::vector<char> bytes(static_cast<size_t>(dump.length));
    for (long i = 0; i < dump.length; i++)
        bytes[static_cast<size_t>(i)] =
            static_cast<char>(m.readbyte_internal(static_cast<uint16_t>(dump.addr + i)));
    std::ofstream out(dump.path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}
} // namespace

int main(int argc, char** argv) {
    // A file-size limit is a failed write (EFBIG) to report, not a kill half-way through a save.
    std::signal(SIGXFSZ, SIG_IGN);
    long frames = 250, key_frames = 3;
    std::string script, png_path, wav_path, file, save_path;
    SnapshotFormat save_format = SnapshotFormat::SZX;
    bool print_text = false, quiet = false;
    MachineOptions machine;
    std::string error;
    std::vector<MemoryDump> dumps;

    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "marrowgleam-run: %s needs %s\n", arg.c_str(), what);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs((USAGE_HEAD + machine_options_usage(20) + USAGE_TAIL).c_str(), stdout);
            return 0;
        } else if (arg == "--frames") {
            if (!parse_count(value("a number"), frames)) {
                std::fprintf(stderr, "marrowgleam-run: --frames needs a number\n");
                return 2;
            }
        } else if (arg == "--key-frames") {
            if (!parse_count(value("a number"), key_frames) || key_frames < 1) {
                std::fprintf(stderr, "marrowgleam-run: --key-frames needs a number from 1\n");
                return 2;
            }
        } else if (arg == "--keys") {
            script += std::string(value("a script")) + ";";
        } else if (arg == "--keys-file") {
            std::ifstream in(value("a file name"));
            if (!in) {
                std::fprintf(stderr, "marrowgleam-run: cannot read %s\n", argv[i]);
                return 2;
            }
            std::stringstream text;
            text << in.rdbuf();
            script += text.str() + "\n";
        } else if (arg == "--png") {
            png_path = value("a file name");
        } else if (arg == "--wav") {
            wav_path = value("a file name");
        } else if (arg == "--text") {
            print_text = true;
        } else if (arg == "--dump") {
            MemoryDump dump;
            if (!parse_dump(value("ADDR:LEN:FILE"), dump)) {
                std::fprintf(stderr, "marrowgleam-run: --dump needs ADDR:LEN:FILE, "
                                     "ADDR 0-0xFFFF and LEN 0-0x10000\n");
                return 2;
            }
            dumps.push_back(dump);
        } else if (arg == "--save") {
            save_path = value("a file name");
            if (!snapshot_format_of(save_path, save_format)) {
                std::fprintf(stderr, "marrowgleam-run: --save needs a name ending in .sna, .z80 "
                                     "or .szx\n");
                return 2;
            }
        } else if (const int taken = parse_machine_option(argc, argv, i, machine, error)) {
            if (taken < 0) {
                std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
                return 2;
            }
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "marrowgleam-run: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        } else if (file.empty()) {
            file = arg;
        } else {
            std::fprintf(stderr, "marrowgleam-run: only one file can be loaded (see --help)\n");
            return 2;
        }
    }

    std::vector<KeyEvent> events;
    if (!parse_key_script(script, static_cast<int>(key_frames), events, error)) {
        std::fprintf(stderr, "marrowgleam-run: key script: %s\n", error.c_str());
        return 2;
    }

    HeadlessHost host;
    const auto owner = std::make_unique<Session>(host); // large: the picture surfaces
    Session& session = *owner;
    const Spectrum& m = session.machine;
    if (!session.load_data_files(argv[0], error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        return 1;
    }
    host.attach_keyboard(session);
    size_t next_event = 0;
    // The script's clock counts logical frames, and the display frames during which the
    // machine stands still (paused, or in the requester), so that a script goes on there.
    host.on_pump = [&] {
        const size_t from = next_event;
        next_event =
            apply_key_events(events, next_event, session.frame_clock(), host.keys, &session);
        for (size_t i = from; i < next_event; i++) {
            if (events[i].tape == TapeAction::PLAY) session.tape_key_play(true);
            if (events[i].tape == TapeAction::STOP) session.tape_key_play(false);
        }
    };
    session.start_machine();
    machine.apply(session);
    if (!file.empty() && !session.load_command_line_file(file)) return 1;
    session.machine.rasterize_ULA(session.ULA_surface[0], session.view.screen_mode, true);
    session.read_keyboard();

    // The sound goes to the file frame by frame, only when it is asked for.
    WavWriter wav;
    if (!wav_path.empty() && !wav.open(wav_path, error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    bool save_failed = false;
    auto report_save_failure = [&] {
        if (session.files.tape_save_failure.empty()) return;
        std::fprintf(stderr, "marrowgleam-run: SAVE failed: %s\n",
                     session.files.tape_save_failure.c_str());
        session.files.tape_save_failure.clear();
        save_failed = true;
    };
    while (session.frame_clock() < static_cast<uint64_t>(frames)) {
        const uint64_t logical = session.logical_frames;
        const bool went_on = session.run_machine(session.frame_clock() + 1);
        report_save_failure();
        if (!went_on) break; // Escape
        if (wav.is_open() && session.logical_frames != logical)
            wav.write(session.sound.FRAME_SAMPLES, SAMPLES_PER_FRAME);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    int status = save_failed ? 1 : 0;
    if (!png_path.empty() &&
        !write_picture_png(png_path, session.ULA_surface[m.IFB_buffer], error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        status = 1;
    }
    if (wav.is_open() && !wav.finish(error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        status = 1;
    }
    for (const MemoryDump& dump : dumps) {
        if (!write_dump(m, dump)) {
            std::fprintf(stderr, "marrowgleam-run: cannot write %s\n", dump.path.c_str());
            status = 1;
        }
    }
    if (!save_path.empty()) {
        const std::string why = save_snapshot(m, save_path, save_format);
        if (!why.empty()) {
            std::fprintf(stderr, "marrowgleam-run: snapshot %s not saved: %s\n", save_path.c_str(),
                         why.c_str());
            status = 1;
        }
    }
    if (print_text) std::fputs(screen_text_joined(m).c_str(), stdout);
    if (m.tape_deck.attached()) std::fprintf(stderr, "%s\n", tape_report(m.tape_deck).c_str());
    if (!quiet) {
        const double emulated = session.logical_frames / 50.0;
        std::fprintf(stderr,
                     "%llu logical frames (%.2f emulated s) in %.3f s: %.1f times real time\n",
                     static_cast<unsigned long long>(session.logical_frames), emulated, seconds,
                     seconds > 0 ? emulated / seconds : 0.0);
    }
    return status;
}

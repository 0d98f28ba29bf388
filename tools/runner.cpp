// marrowgleam-run: the emulator without a window. Boots the ROM, optionally loads a program,
// runs a number of logical frames as fast as the host allows while a script presses keys,
// and writes the last picture as PNG, the sound as WAV and the screen as text.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <memory>
#include <optional>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/keys.h"
#include "frontend/options.h"
#include "frontend/session.h"
#include "frontend/watch_spec.h"
#include "host/headless/headless.h"
#include "tools/keyscript.h"
#include "tools/media_files.h"
#include "tools/screen_text.h"
#include "tools/text_pattern.h"
#include "z80/disasm.h"

namespace {
const char* const USAGE_HEAD = R"(usage: marrowgleam-run [options] [FILE]

Runs the Marrowgleam ZX Spectrum emulator without a window, as fast as the computer
allows: boots the machine (--machine) with its ROM set (listed at the end), loads
FILE if given (a snapshot ending in SNA, Z80 or SZX, or a tape image ending in TAP or TZX,
any case; start a tape with LOAD "" typed by a script), runs the given number of logical
frames (50 a second of emulated time) and writes what you ask for. With a tape attached it
reports the tape's block and state at the end. It never reads the full-screen program's
settings file, so a run goes the same on every computer.

options:
)";
const char* const USAGE_TAIL = R"(
The program ends early, with status 0, if the script presses Escape. A file that
cannot be loaded ends it with status 1 and a line saying why: it cannot be opened (the
system's reason, e.g. "No such file or directory"), it is not a regular file (a
directory, a named pipe, a device: never opened), its name ends in none of SNA, Z80, SZX,
TAP and TZX, or it is a snapshot too short or malformed. A failed --save also ends it with
status 1, and so does a SAVE typed in BASIC that could not be written (the tape file or the
data directory not writable, a full disk, a block too long for a TAP file): each is
reported on standard error with the reason.

Run as a test: --break and --until-pc stop before the instruction at an address,
--watch-read, --watch-write, --watch-in and --watch-out after the instruction that made
such an access, --until-text when the screen's text matches. At the stop the machine's
state (registers, frame, T-state, the beam's line and column) is printed on standard
output and every output above is taken there. The status is then 0, or with
--exit-code-from the byte there; a run that reaches --timeout-frames without a stop ends
with status 3.

Without --rewind-seconds a run keeps no states for going back (keeping them costs host
time every frame) unless its script rewinds or holds a Windows key (Windows+R): then it
keeps 60 seconds, as the full-screen program does.
)";

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
// Everything the command line asks of a run.
struct RunOptions {
    long frames = 250;
    long key_frames = 3;
    std::string script; // the key script, --keys and --keys-file joined
    std::string png_path, wav_path, save_path, file;
    SnapshotFormat save_format = SnapshotFormat::SZX;
    bool print_text = false, quiet = false, help = false;
    std::vector<MemoryDump> dumps;
    MachineOptions machine;
    // Breakpoints and watchpoints, as typed (an address may be a symbol from a --symbols
    // given after it).
    std::vector<std::pair<Breakpoint::Kind, std::string>> stop_at;
    std::string until_text, exit_code_from, trace_path, trace_from, trace_to;
    bool timeout = false; // --timeout-frames: the run's end without a stop is status 3
};

// When a trace starts or ends: at a frame's start (from) or end (to), or at an address.
struct TracePoint {
    bool set = false, at_pc = false;
    long frame = 0;
    uint16_t pc = 0;
};

bool parse_trace_point(const std::string& text, const Symbols& symbols, TracePoint& point) {
    if (text.empty()) return true;
    point.set = true;
    if (text.rfind("pc=", 0) == 0) {
        point.at_pc = true;
        return symbols.address(text.substr(3), point.pc);
    }
    char* end = nullptr;
    point.frame = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && point.frame >= 0;
}

// "AF=0044 BC=..." and the rest of the CPU's state.
std::string registers_line(const Z80& z) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "AF=%04X BC=%04X DE=%04X HL=%04X IX=%04X IY=%04X SP=%04X AF'=%04X BC'=%04X "
                  "DE'=%04X HL'=%04X I=%02X R=%02X IM=%d IFF1=%d IFF2=%d",
                  z.AF, z.BC, z.DE, z.HL, z.IX, z.IY, z.SP, z.AF_, z.BC_, z.DE_, z.HL_, z.I,
                  (z.R & 0x7F) | (z.R7 & 0x80), z.IM, z.IFF1, z.IFF2);
    return text;
}

std::function<bool(const std::string&, std::string&)> text(std::string& target) {
    return [&target](const std::string& value, std::string&) { return target = value, true; };
}

std::vector<CommandOption> option_table(RunOptions& o) {
    std::vector<CommandOption> table = {
        {.name = "--frames",
         .value = "N",
         .needs = "a number",
         .help = {"frames to run (default 250: five emulated seconds): logical frames,",
                  "and while the machine stands still (paused with F7, or in the file",
                  "requester opened with F10) each display frame counts as one"},
         .take = number_into(o.frames, 0)},
        {.name = "--keys",
         .value = "SCRIPT",
         .needs = "a script",
         .help = {"keys to press, as events \"FRAME:ACTION\" separated by ';':",
                  "  50:type 10 PRINT 2+2<enter>   type text from frame 50 on",
                  "  120:press f7 / 125:release f7 hold and let go of keys",
                  "  200:tape play / 300:tape stop start and stop the tape",
                  "  500:rewind 5               the machine 5 s back (see the README)",
                  "key names: a-z 0-9 space enter shift symbol backspace up down left",
                  "right escape home end pageup pagedown f1-f12 kp0-kp9 win tab; the",
                  "joystick: joy_up joy_down joy_left joy_right joy_fire; in typed",
                  "text capitals add CAPS SHIFT, symbols add SYMBOL SHIFT, <semicolon>",
                  "types ';', <name> is any Spectrum key"},
         .take =
             [&o](const std::string& value, std::string&) {
                 o.script += value + ";";
                 return true;
             }},
        {.name = "--keys-file",
         .value = "FILE",
         .needs = "a file name",
         .help = {"the same script read from a file (events also one per line)"},
         .take =
             [&o](const std::string& path, std::string& error) {
                 std::string content;
                 if (!read_text_file(path, size_t{16} << 20, content, error)) return false;
                 o.script += content + "\n";
                 return true;
             }},
        {.name = "--key-frames",
         .value = "N",
         .needs = "a number from 1",
         .help = {"logical frames each typed key is held at least (default 3)"},
         .take = number_into(o.key_frames, 1)},
        {.name = "--png",
         .value = "FILE",
         .needs = "a file name",
         .help = {"write the picture of the last frame (352 x 288, with border) as PNG"},
         .take = text(o.png_path)},
        {.name = "--wav",
         .value = "FILE",
         .needs = "a file name",
         .help = {"write the sound of the whole run as WAV (48 kHz, 16-bit stereo: the",
                  "beeper and the sound chip), as it runs; without it no sound is kept"},
         .take = text(o.wav_path)},
        {.name = "--text",
         .help = {"print the Spectrum's screen as text at the end"},
         .take = [&o](const std::string&, std::string&) { return o.print_text = true; }},
        {.name = "--dump",
         .value = "ADDR:LEN:FILE",
         .needs = "ADDR:LEN:FILE, ADDR 0-0xFFFF and LEN 0-0x10000",
         .help = {"write LEN bytes of memory as the CPU sees it, from ADDR on (wrapping at",
                  "0xFFFF), to FILE at the end; numbers decimal or 0x hex; may be repeated"},
         .take =
             [&o](const std::string& value, std::string&) {
                 MemoryDump dump;
                 if (!parse_dump(value, dump)) return false;
                 o.dumps.push_back(dump);
                 return true;
             }},
        {.name = "--save",
         .value = "FILE",
         .needs = "a name ending in .sna, .z80 or .szx",
         .help = {"save the machine as a snapshot at the end of the run, its format by the",
                  "name's ending: .sna, .z80 (version 3) or .szx (any case); a failed save",
                  "leaves an old FILE as it was"},
         .take =
             [&o](const std::string& value, std::string&) {
                 o.save_path = value;
                 return snapshot_format_of(value, o.save_format);
             }},
    };
    using Kind = Breakpoint::Kind;
    const auto stop = [&o](Kind kind) {
        return [&o, kind](const std::string& value, std::string&) {
            o.stop_at.emplace_back(kind, value);
            return true;
        };
    };
    const std::vector<CommandOption> stops = {
        {.name = "--break",
         .value = "ADDR",
         .needs = "an address",
         .help = {"stop before the instruction at ADDR (a number as --symbols takes it, or",
                  "a symbol's name); may be repeated. Each stop option may end in",
                  "\",REG=VALUE\": it stops only while the register holds VALUE (A F B C D",
                  "E H L I R AF BC DE HL IX IY SP PC), e.g. --break 0x8000,A=3"},
         .take = stop(Kind::execute)},
        {.name = "--until-pc",
         .value = "ADDR",
         .needs = "an address",
         .help = {"the same as --break"},
         .take = stop(Kind::execute)},
        {.name = "--watch-read",
         .value = "RANGE",
         .needs = "an address or ADDR-ADDR",
         .help = {"stop after an instruction reads memory in RANGE (ADDR, or ADDR-ADDR",
                  "with both ends in it); may be repeated"},
         .take = stop(Kind::read)},
        {.name = "--watch-write",
         .value = "RANGE",
         .needs = "an address or ADDR-ADDR",
         .help = {"stop after an instruction writes memory in RANGE"},
         .take = stop(Kind::write)},
        {.name = "--watch-in",
         .value = "PORT[/MASK]",
         .needs = "a port, or PORT/MASK",
         .help = {"stop after an instruction reads a port that matches PORT in the bits",
                  "of MASK (default 0xFFFF: the whole port), e.g. 0xFE/0xFF"},
         .take = stop(Kind::port_in)},
        {.name = "--watch-out",
         .value = "PORT[/MASK]",
         .needs = "a port, or PORT/MASK",
         .help = {"stop after an instruction writes such a port"},
         .take = stop(Kind::port_out)},
        {.name = "--until-text",
         .value = "REGEX",
         .needs = "a regular expression",
         .help = {"stop when the screen's text (as --text prints it, rows joined by line",
                  "ends) matches REGEX (ECMAScript), looked at each frame end"},
         .take =
             [&o](const std::string& value, std::string&) {
                 if (!TextPattern::compile(value)) return false;
                 o.until_text = value;
                 return true;
             }},
        {.name = "--timeout-frames",
         .value = "N",
         .needs = "a number from 1",
         .help = {"run N frames at most (in place of --frames); ending there without a",
                  "stop is exit status 3"},
         .take =
             [&o](const std::string& value, std::string& error) {
                 o.timeout = true;
                 return number_into(o.frames, 1)(value, error);
             }},
        {.name = "--exit-code-from",
         .value = "ADDR",
         .needs = "an address",
         .help = {"the byte at ADDR at the end of the run is the exit status"},
         .take = text(o.exit_code_from)},
        {.name = "--trace",
         .value = "FILE",
         .needs = "a file name",
         .help = {"write every instruction run to FILE, a line each: the frame, the",
                  "T-state in it, PC, the bytes, the instruction, the registers"},
         .take = text(o.trace_path)},
        {.name = "--trace-from",
         .value = "WHEN",
         .needs = "a frame number or pc=ADDR",
         .help = {"start the trace at the start of frame WHEN (counted from 0) or, as",
                  "pc=ADDR, at the first instruction at ADDR (default: at once)"},
         .take = text(o.trace_from)},
        {.name = "--trace-to",
         .value = "WHEN",
         .needs = "a frame number or pc=ADDR",
         .help = {"end the trace after frame WHEN or, as pc=ADDR, after the first",
                  "instruction at ADDR traced (default: the run's end)"},
         .take = text(o.trace_to)},
    };
    for (const CommandOption& option : stops) table.push_back(option);
    for (CommandOption& option : machine_option_table(o.machine)) table.push_back(option);
    table.push_back({.name = "--quiet",
                     .help = {"do not print the speed figures"},
                     .take = [&o](const std::string&, std::string&) { return o.quiet = true; }});
    table.push_back({.name = "--help",
                     .help = {"show this text"},
                     .take = [&o](const std::string&, std::string&) { return o.help = true; }});
    return table;
}

bool parse_run_options(int argc, const char* const* argv, RunOptions& options, std::string& error) {
    return parse_command_line(argc, argv, option_table(options), one_file(options.file), error);
}

// The machine booted with the options and the file loaded, the script's keys hooked to the
// host's pump. False with the reason told when the data files or the file cannot be had.
bool set_up(Session& session, HeadlessHost& host, const char* argv0, const RunOptions& options,
            const std::vector<KeyEvent>& events, size_t& next_event) {
    std::string error;
    options.machine.apply(session);
    if (!session.load_data_files(argv0, error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        return false;
    }
    host.attach_keyboard(session);
    // The script's clock counts logical frames, and the display frames during which the
    // machine stands still (paused, or in the requester), so that a script goes on there.
    host.on_pump = [&session, &host, &events, &next_event] {
        const size_t from = next_event;
        next_event =
            apply_key_events(events, next_event, session.frame_clock(), host.keys, &session);
        for (size_t i = from; i < next_event; i++) {
            if (events[i].tape == TapeAction::PLAY) session.tape_key_play(true);
            if (events[i].tape == TapeAction::STOP) session.tape_key_play(false);
        }
    };
    session.start_machine();
    if (!options.file.empty() && !session.load_command_line_file(options.file)) return false;
    session.machine.rasterize_ULA(session.ULA_surface[0], session.view.screen_mode, true);
    session.read_keyboard();
    return true;
}

// The --trace file, written as the checking path runs each instruction.
struct Trace {
    FILE* file = nullptr;
    TracePoint from, to;
    bool on = false, done = false;

    void step(const Session& session, const Spectrum& m) {
        const long frame = static_cast<long>(session.logical_frames);
        if (done) return;
        if (!on) on = !from.set || (from.at_pc ? m.z80.PC == from.pc : frame >= from.frame);
        if (!on) return;
        if (to.set && !to.at_pc && frame > to.frame) {
            done = true;
            return;
        }
        uint8_t bytes[4];
        for (int i = 0; i < 4; i++)
            bytes[i] = m.readbyte_internal(static_cast<uint16_t>(m.z80.PC + i));
        const z80::Disassembly d = z80::disassemble(
            bytes, m.z80.PC, [&session](uint16_t a) { return session.symbols.name_at(a); });
        char hex[12] = "";
        for (int i = 0; i < d.length; i++)
            std::snprintf(hex + 2 * i, sizeof hex - 2 * static_cast<size_t>(i), "%02X", bytes[i]);
        std::fprintf(file, "%ld %d %04X %-8s %-24s %s\n", frame, m.tstates, m.z80.PC, hex,
                     d.text.c_str(), registers_line(m.z80).c_str());
        if (to.set && to.at_pc && m.z80.PC == to.pc) done = true;
    }
};

// Runs the frames (or until Escape, or a stop), the sound into `wav` when it is open. False
// when a SAVE typed in BASIC could not be written (each told as it happens). `stop` says
// what stopped the run, empty when it ran to its end.
bool run_frames(Session& session, const RunOptions& options, WavWriter& wav, std::string& stop) {
    bool saves_written = true;
    const bool by_text = !options.until_text.empty();
    const std::optional<TextPattern> until =
        by_text ? TextPattern::compile(options.until_text) : std::nullopt;
    while (session.frame_clock() < static_cast<uint64_t>(options.frames)) {
        const uint64_t logical = session.logical_frames;
        const bool went_on = session.run_machine(session.frame_clock() + 1);
        if (!session.files.tape_save_failure.empty()) {
            std::fprintf(stderr, "marrowgleam-run: SAVE failed: %s\n",
                         session.files.tape_save_failure.c_str());
            session.files.tape_save_failure.clear();
            saves_written = false;
        }
        if (!went_on) break; // Escape
        if (wav.is_open() && session.logical_frames != logical)
            wav.write(session.sound.FRAME_SAMPLES, SAMPLES_PER_FRAME);
        if (session.debugger.stopped()) {
            stop = session.debugger.reason;
            break;
        }
        if (until && session.logical_frames != logical &&
            until->found_in(screen_text_joined(session.machine))) {
            stop = "TEXT MATCHED";
            break;
        }
    }
    return saves_written;
}

// The machine's state at a stop, on standard output.
void report_stop(const Session& session, const std::string& stop) {
    const Spectrum& m = session.machine;
    const int32_t line = m.timing().line;
    std::printf("stop: %s\nframe %llu T-state %d line %d column %d\nPC=%04X %s%s\n", stop.c_str(),
                static_cast<unsigned long long>(session.logical_frames), m.tstates,
                m.tstates / line, m.tstates % line, m.z80.PC, registers_line(m.z80).c_str(),
                m.z80.halted ? " HALT" : "");
}

// What the run was asked to leave behind: 0, or 1 when any of it could not be written.
int write_outputs(const Session& session, const RunOptions& options, WavWriter& wav) {
    const Spectrum& m = session.machine;
    std::string error;
    int status = 0;
    if (!options.png_path.empty() &&
        !write_picture_png(options.png_path, session.ULA_surface[session.last_picture], error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        status = 1;
    }
    if (wav.is_open() && !wav.finish(error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        status = 1;
    }
    for (const MemoryDump& dump : options.dumps) {
        if (!write_dump(m, dump)) {
            std::fprintf(stderr, "marrowgleam-run: cannot write %s\n", dump.path.c_str());
            status = 1;
        }
    }
    if (!options.save_path.empty()) {
        const std::string why = save_snapshot(m, options.save_path, options.save_format);
        if (!why.empty()) {
            std::fprintf(stderr, "marrowgleam-run: snapshot %s not saved: %s\n",
                         options.save_path.c_str(), why.c_str());
            status = 1;
        }
    }
    if (options.print_text) std::fputs(screen_text_joined(m).c_str(), stdout);
    if (m.tape_deck.attached()) std::fprintf(stderr, "%s\n", tape_report(m.tape_deck).c_str());
    return status;
}
} // namespace

int main(int argc, char** argv) {
    // A file-size limit is a failed write (EFBIG) to report, not a kill half-way through a save.
    std::signal(SIGXFSZ, SIG_IGN);
    RunOptions options;
    options.machine.rewind_seconds = -1; // not given: see below
    std::string error;
    if (!parse_run_options(argc, argv, options, error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        RunOptions unused;
        std::fputs((USAGE_HEAD + options_usage(option_table(unused), USAGE_COLUMN) + USAGE_TAIL +
                    "\nThe ROM set each machine would use on this computer:\n" +
                    rom_sets_usage(options.machine.roms, rom_places_for(argv[0])))
                       .c_str(),
                   stdout);
        return 0;
    }
    std::vector<KeyEvent> events;
    if (!parse_key_script(options.script, static_cast<int>(options.key_frames), events, error)) {
        std::fprintf(stderr, "marrowgleam-run: key script: %s\n", error.c_str());
        return 2;
    }
    // Keeping the states costs host time every frame: a run keeps them by default only when
    // its script can go back (a rewind event, or a Windows key held, as for Windows+R).
    bool rewinds = false, win_held = false;
    for (const KeyEvent& e : events) {
        rewinds = rewinds || e.rewind_frames > 0;
        for (const int k : e.keys) win_held = win_held || (e.down && k == key::LSUPER);
    }
    if (options.machine.rewind_seconds < 0)
        options.machine.rewind_seconds = rewinds || win_held ? RewindRing::DEFAULT_SECONDS : 0;
    if (rewinds && options.machine.rewind_seconds == 0) {
        std::fprintf(stderr, "marrowgleam-run: key script: rewind with --rewind-seconds 0\n");
        return 2;
    }

    HeadlessHost host;
    const auto owner = std::make_unique<Session>(host); // large: the picture surfaces
    Session& session = *owner;
    size_t next_event = 0;
    if (!set_up(session, host, argv[0], options, events, next_event)) return 1;
    // The sound goes to the file frame by frame, only when it is asked for.
    WavWriter wav;
    if (!options.wav_path.empty() && !wav.open(options.wav_path, error)) {
        std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
        return 1;
    }
    // The stops: breakpoints and watchpoints (symbols known only now), the trace.
    for (const auto& [kind, text] : options.stop_at) {
        Breakpoint point;
        if (!parse_watch_spec(kind, text, session.symbols, point, error)) {
            std::fprintf(stderr, "marrowgleam-run: %s\n", error.c_str());
            return 2;
        }
        session.debugger.points.push_back(point);
    }
    uint16_t exit_code_from = 0;
    if (!options.exit_code_from.empty() &&
        !session.symbols.address(options.exit_code_from, exit_code_from)) {
        std::fprintf(stderr, "marrowgleam-run: %s is no address nor symbol\n",
                     options.exit_code_from.c_str());
        return 2;
    }
    Trace trace;
    if (!parse_trace_point(options.trace_from, session.symbols, trace.from) ||
        !parse_trace_point(options.trace_to, session.symbols, trace.to)) {
        std::fprintf(stderr, "marrowgleam-run: --trace-from and --trace-to take a frame number "
                             "or pc=ADDR\n");
        return 2;
    }
    const std::unique_ptr<FILE, int (*)(FILE*)> trace_file(
        options.trace_path.empty() ? nullptr : std::fopen(options.trace_path.c_str(), "w"),
        [](FILE* f) { return f ? std::fclose(f) : 0; });
    if (!options.trace_path.empty()) {
        if (!trace_file) {
            std::fprintf(stderr, "marrowgleam-run: cannot write %s\n", options.trace_path.c_str());
            return 1;
        }
        trace.file = trace_file.get();
        session.debugger.before_step = [&trace, &session](const Spectrum& m) {
            trace.step(session, m);
        };
    }
    const auto start = std::chrono::steady_clock::now();
    std::string stop;
    const bool saves_written = run_frames(session, options, wav, stop);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const bool testing = !options.stop_at.empty() || !options.until_text.empty() ||
                         options.timeout || !options.exit_code_from.empty();
    if (testing) report_stop(session, stop.empty() ? "END OF RUN" : stop);
    int status = write_outputs(session, options, wav) != 0 || !saves_written ? 1 : 0;
    if (trace.file && std::fflush(trace.file) != 0) {
        std::fprintf(stderr, "marrowgleam-run: cannot write %s\n", options.trace_path.c_str());
        status = 1;
    }
    if (status == 0 && options.timeout && stop.empty()) status = 3;
    else if (status == 0 && !options.exit_code_from.empty())
        status = session.machine.readbyte_internal(exit_code_from);
    if (!options.quiet) {
        const double emulated = session.logical_frames / 50.0;
        std::fprintf(stderr,
                     "%llu logical frames (%.2f emulated s) in %.3f s: %.1f times real time\n",
                     static_cast<unsigned long long>(session.logical_frames), emulated, seconds,
                     seconds > 0 ? emulated / seconds : 0.0);
    }
    return status;
}

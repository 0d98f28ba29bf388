#include "frontend/options.h"

#include <cstdio>
#include <cstdlib>

const char* const PROGRAM_USAGE = R"(usage: marrowgleam [options] [FILE]

The Marrowgleam ZX Spectrum 48K emulator, full screen. FILE is a snapshot (.sna) or a tape
image (.tap) to load at start; a tape is started with LOAD "" as on the real machine.

options:
  --window[=WxH]   run in a resizable window (800x600 unless given, e.g. --window=1024x768);
                   Alt+Enter switches between window and full screen at any time
  --type-chars     typing by character: a PC character that the Spectrum types with
                   SYMBOL SHIFT (" : ; + - = < > ( ) * / , . ? $ _ ! @ # % & ' ^) presses
                   that combination (Windows+T switches it at any time)
  --exact-border   draw the border from every change of its colour, where the beam was
                   (Windows+B switches it at any time)
  --help           show this text

Keys: F1-F12, Escape, Home, keypad and Windows+keys as the README's key table lists them.
)";

namespace {
// "WxH" with both at least 64 and at most 16384.
bool parse_size(const std::string& text, int& w, int& h) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    char* end = nullptr;
    const long width = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() + x) return false;
    const long height = std::strtol(text.c_str() + x + 1, &end, 10);
    if (*end != '\0' || width < 64 || height < 64 || width > 16384 || height > 16384) return false;
    w = static_cast<int>(width);
    h = static_cast<int>(height);
    return true;
}
} // namespace

bool parse_program_options(int argc, const char* const* argv, ProgramOptions& options,
                           std::string& error) {
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--window") {
            options.window = true;
        } else if (arg.rfind("--window=", 0) == 0) {
            options.window = true;
            if (!parse_size(arg.substr(9), options.window_w, options.window_h)) {
                error = "--window= needs a size WIDTHxHEIGHT, e.g. 800x600 (64 to 16384)";
                return false;
            }
        } else if (arg == "--type-chars") {
            options.type_chars = true;
        } else if (arg == "--exact-border") {
            options.exact_border = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg + " (see --help)";
            return false;
        } else if (options.file.empty()) {
            options.file = arg;
        } else {
            error = "only one file can be loaded (see --help)";
            return false;
        }
    }
    return true;
}

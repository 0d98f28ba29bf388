// The monitor of the full-screen program (Windows+D): the machine stands still while it is
// open and its page fills the text layer: registers and flags, the beam, the code around
// the cursor, the stack and a page of memory. Its keys step the machine and move about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/debugger.h"
#include "frontend/symbols.h"
#include "spectrum/machine.h"

class Monitor {
  public:
    bool open = false;
    uint16_t code = 0;     // the listing's first instruction
    uint16_t cursor = 0;   // the instruction the cursor is on (B sets a breakpoint there)
    uint16_t memory = 0;   // the memory page's first byte (W watches writes to it)
    bool entering = false; // G: an address being typed on row 23
    std::string entry;
    std::string message;        // row 23: why the machine stopped, or what a key did
    int32_t overlay_before = 0; // the text layer as the user had it, put back on closing

    // Opens on the instruction at PC, with `why` on row 23.
    void open_at(uint16_t pc, const std::string& why);
    // Moves the cursor one instruction on or back (back: the longest instruction that ends
    // where the cursor is), keeping it in the listing.
    void cursor_down(const Spectrum& m);
    void cursor_up(const Spectrum& m);
    // The page, 24 rows of at most 40 characters.
    std::vector<std::string> page(const Spectrum& m, const Debugger& d, const Symbols& s);

    static constexpr int CODE_ROWS = 11;
    // Each word's capital is its key.
    static constexpr const char* HELP = "Step Over Frame Run Break Watch Go";
    // The breakpoints and watchpoints set, beside the listing's first rows.
    static constexpr int POINT_ROWS = 7, POINT_COLUMN = 29;
};

// Breakpoints and watchpoints as the user types them on the command line, and the short
// label the monitor lists them by.
//
//   execute    ADDR              --break 8000
//   read/write ADDR or ADDR-ADDR --watch-write 0x4000-0x57FF
//   in/out     PORT or PORT/MASK --watch-out 0xFE/0xFF (a port matches when port & MASK
//                                is PORT & MASK)
//
// Any of them may end in ",REG=VALUE": the stop counts only while the register holds the
// value (--break start,A=3). Addresses, ports and values are numbers as --symbols takes
// them, or symbols' names.
#pragma once

#include <string>
#include <vector>

#include "frontend/debugger.h"
#include "frontend/symbols.h"

// `text` read as a stop of `kind` into `point`; false with the reason in `error`.
bool parse_watch_spec(Breakpoint::Kind kind, const std::string& text, const Symbols& symbols,
                      Breakpoint& point, std::string& error);

// "B 8000", "W 4000-57FF", "O FE/FF", "R 5C00,A=3F": the kind's letter (B R W I O), then
// the place and any condition in hex, as the monitor shows numbers.
std::string watch_label(const Breakpoint& point);

// Adds `point`, or removes it when one of the same kind, place and condition is set; true
// when it is now set.
bool toggle_point(std::vector<Breakpoint>& points, const Breakpoint& point);

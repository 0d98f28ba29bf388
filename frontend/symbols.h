// Names for addresses, read from an assembler's symbol file: pasmo's --equ and --public
// output ("NAME EQU 08000H") and the "NAME: EQU VALUE" and "NAME = VALUE" forms. A value is
// decimal, $hex, #hex, 0xhex or hex with an 'h' after it (a leading digit, as "0C000h").
#pragma once

#include <cstdint>
#include <map>
#include <string>

class Symbols {
  public:
    // Reads `text`, adding its symbols; false with the first bad line in `error` (the
    // symbols of the lines before it are kept). Blank lines and ';' comments are skipped.
    bool parse(const std::string& text, std::string& error);
    bool load(const std::string& path, std::string& error);

    // The name of `address` ("" for none: the first name given it, when it has several).
    std::string name_at(uint16_t address) const;
    // An address typed by the user: a number in any of the forms above, or a symbol's name
    // (any case for the name). False when it is neither, or out of 0-0xFFFF.
    bool address(const std::string& text, uint16_t& value) const;
    bool empty() const { return by_name.empty(); }

  private:
    std::map<std::string, uint16_t> by_name; // names upper-cased
    std::map<uint16_t, std::string> by_value;
};

// A number in any of the forms above; false for anything else (or past 0xFFFF).
bool parse_address_number(const std::string& text, uint16_t& value);

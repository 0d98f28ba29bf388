// Turns the readable glyph source (teletext.txt) into the "teletext" character-set file:
// a 192 x 160 image, one byte a pixel (1 foreground, 0 background), rows top to bottom, the
// glyph of code n at column 12 (n mod 16), row 10 (n div 16). 30,720 bytes, no header.
//
//   mkteletext <source> <output>
//
// The source is checked before anything is written: every glyph is exactly 10 rows of 12
// characters of '#' and '.', no code appears twice, and code 32 is empty (clearing the text
// screen draws it). Any fault is reported as file:line and ends with status 1, so that a
// broken source fails the build instead of producing a damaged character set.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {
constexpr int GLYPH_W = 12;
constexpr int GLYPH_H = 10;
constexpr int IMAGE_W = 16 * GLYPH_W; // 192
constexpr int IMAGE_H = 16 * GLYPH_H; // 160
constexpr int CODES = 256;

std::array<uint8_t, IMAGE_W * IMAGE_H> image{};
std::array<bool, CODES> defined{};

std::string source_name;
int line_number = 0;

bool fail(const std::string& message) {
    std::cerr << source_name << ":" << line_number << ": " << message << "\n";
    return false;
}

bool is_skipped(const std::string& line) { return line.empty() || line[0] == ';'; }

// "code N" followed by an optional name: returns N, or -1 if the line is not a header.
int parse_header(const std::string& line) {
    if (line.compare(0, 5, "code ") != 0) return -1;
    size_t pos = 5;
    int code = 0, digits = 0;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9' && digits < 4) {
        code = code * 10 + (line[pos++] - '0');
        digits++;
    }
    if (digits == 0 || (pos < line.size() && line[pos] != ' ')) return -1;
    return code;
}

bool read_glyph(std::istream& in, int code) {
    const int left = GLYPH_W * (code % 16);
    const int top = GLYPH_H * (code / 16);
    std::string row;
    for (int i = 0; i < GLYPH_H; i++) {
        if (!std::getline(in, row)) return fail("glyph " + std::to_string(code) + " ends early");
        line_number++;
        if (!row.empty() && row.back() == '\r') row.pop_back();
        if (static_cast<int>(row.size()) != GLYPH_W)
            return fail("row " + std::to_string(i) + " of glyph " + std::to_string(code) + " is " +
                        std::to_string(row.size()) + " characters, not 12");
        for (int j = 0; j < GLYPH_W; j++) {
            if (row[j] != '#' && row[j] != '.')
                return fail("glyph " + std::to_string(code) + " has '" + row[j] +
                            "'; only '#' and '.' draw");
            image[(top + i) * IMAGE_W + left + j] = row[j] == '#' ? 1 : 0;
        }
    }
    return true;
}

bool glyph_is_empty(int code) {
    const int left = GLYPH_W * (code % 16);
    const int top = GLYPH_H * (code / 16);
    for (int i = 0; i < GLYPH_H; i++)
        for (int j = 0; j < GLYPH_W; j++)
            if (image[(top + i) * IMAGE_W + left + j]) return false;
    return true;
}

bool parse(std::istream& in) {
    std::string line;
    while (std::getline(in, line)) {
        line_number++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (is_skipped(line)) continue;
        const int code = parse_header(line);
        if (code < 0) return fail("expected \"code N\", found \"" + line + "\"");
        if (code >= CODES) return fail("code " + std::to_string(code) + " is beyond 255");
        if (defined[code]) return fail("code " + std::to_string(code) + " is defined twice");
        defined[code] = true;
        if (!read_glyph(in, code)) return false;
    }
    if (!glyph_is_empty(' ')) return fail("code 32 must be empty");
    return true;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: mkteletext <source> <output>\n";
        return 1;
    }
    source_name = argv[1];
    std::ifstream in(argv[1]);
    if (!in) {
        std::cerr << "cannot read " << argv[1] << "\n";
        return 1;
    }
    if (!parse(in)) return 1;

    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), image.size());
    out.close();
    if (!out) {
        std::cerr << "cannot write " << argv[2] << "\n";
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}

// The "teletext" file the build generates from data/teletext.txt, and the generator's
// refusal of a broken source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "frontend/session.h"
#include "tests/support/support.h"

namespace {

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> glyph(const std::vector<uint8_t>& set, int code) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 12; j++)
            pixels.push_back(set[1920 * (code / 16) + 12 * (code % 16) + 192 * i + j]);
    return pixels;
}

bool empty(const std::vector<uint8_t>& pixels) {
    for (uint8_t p : pixels)
        if (p) return false;
    return true;
}

const std::string kCharsetPath = MARROWGLEAM_BINARY_DIR "/teletext";

TEST(CharsetFile, HasTheGlyphsTheProgramDraws) {
    const std::vector<uint8_t> set = read_file(kCharsetPath);
    ASSERT_EQ(set.size(), 30720u) << kCharsetPath;
    for (uint8_t byte : set) ASSERT_LE(byte, 1);

    std::set<std::vector<uint8_t>> shapes;
    for (int code = 0; code < 256; code++) {
        const bool drawn = code == 1 || code == 2 || (code >= 33 && code <= 126);
        const std::vector<uint8_t> pixels = glyph(set, code);
        EXPECT_EQ(!empty(pixels), drawn) << "code " << code;
        // Two printable characters with one shape would be a copying slip in the source.
        if (drawn) {
            EXPECT_TRUE(shapes.insert(pixels).second) << "code " << code << " repeats a glyph";
        }
    }
}

TEST(CharsetFile, LoadsWhole) {
    const std::vector<uint8_t> set = read_file(kCharsetPath);
    ASSERT_EQ(set.size(), 30720u);
    Session& s = fresh_session();
    ASSERT_TRUE(s.text.load_charset(kCharsetPath.c_str()));
    EXPECT_TRUE(std::equal(set.begin(), set.end(), s.text.CHR));
}

// Runs the generator on `source`; true if it succeeded.
bool generate(const std::string& source, const std::string& output) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string source_path = (dir / "marrowgleam_glyphs.txt").string();
    std::ofstream(source_path) << source;
    const std::string command = std::string(MARROWGLEAM_BINARY_DIR "/mkteletext ") + source_path +
                                " " + output + " 2>/dev/null";
    const int status = std::system(command.c_str());
    std::filesystem::remove(source_path);
    return status == 0;
}

TEST(CharsetGenerator, RefusesABrokenSource) {
    const std::string output =
        (std::filesystem::temp_directory_path() / "marrowgleam_teletext_out").string();
    std::string good_rows;
    for (int i = 0; i < 10; i++) good_rows += (i == 4 ? "....####....\n" : "............\n");

    std::filesystem::remove(output);
    ASSERT_TRUE(generate("; a comment\ncode 65 A\n" + good_rows, output));
    const std::vector<uint8_t> set = read_file(output);
    ASSERT_EQ(set.size(), 30720u);
    EXPECT_EQ(set[1920 * 4 + 12 * 1 + 192 * 4 + 4], 1); // 'A' row 4, column 4
    EXPECT_EQ(set[1920 * 4 + 12 * 1 + 192 * 4 + 3], 0);

    std::string short_glyph = good_rows;
    short_glyph.erase(0, 13); // nine rows
    std::string narrow_row = good_rows;
    narrow_row.replace(0, 13, "...........\n");
    std::string bad_char = good_rows;
    bad_char[2] = 'x';
    const std::string sources[] = {
        "code 65\n" + short_glyph,
        "code 65\n" + narrow_row,
        "code 65\n" + bad_char,
        "code 65\n" + good_rows + "code 65\n" + good_rows, // defined twice
        "code 256\n" + good_rows,
        "code 32\n" + std::string("############\n") + good_rows.substr(13), // a space with ink
        "stray line\n",
    };
    for (const std::string& source : sources) {
        std::filesystem::remove(output);
        EXPECT_FALSE(generate(source, output)) << source;
        EXPECT_FALSE(std::filesystem::exists(output)) << source;
    }
}

} // namespace

// Where a machine's ROMs are found: the order of the places, the sizes checked, the set's
// name; every directory a temporary one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frontend/roms.h"

namespace fs = std::filesystem;

namespace {
// A ROM image whose bytes are all `fill`, `size` long.
void put_rom(const fs::path& path, uint8_t fill, size_t size = 16384) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(size, static_cast<char>(fill));
}

struct Case {
    const char* what;
    MachineKind kind;
    std::vector<std::pair<const char*, int>> files; // under the temporary root: fill, or -size
    GivenRoms given;                                // relative to the root
    std::string name;                               // the set's name, "" when refused
    std::vector<uint8_t> fills;                     // each ROM's fill byte
    std::string error_names;                        // the file the error names
};
} // namespace

TEST(Roms, FoundInOrderAndCheckedBySize) {
    const Case cases[] = {
        {"system 48K",
         MachineKind::m48,
         {{"sys/opense.rom", 1}},
         {},
         "OPENSE BASIC (FREE)",
         {1},
         ""},
        {"system 128K pair: stub then BASIC",
         MachineKind::m128,
         {{"sys/opense.rom", 1}, {"sys/opense-stub.rom", 2}},
         {},
         "OPENSE BASIC (FREE)",
         {2, 1},
         ""},
        {"1982.rom beside the program before the system's",
         MachineKind::m48,
         {{"sys/opense.rom", 1}, {"prog/1982.rom", 3}},
         {},
         "1982.ROM",
         {3},
         ""},
        {"1982.rom is no 128K ROM",
         MachineKind::m128,
         {{"sys/opense.rom", 1}, {"sys/opense-stub.rom", 2}, {"prog/1982.rom", 3}},
         {},
         "OPENSE BASIC (FREE)",
         {2, 1},
         ""},
        {"the user's 48K before 1982.rom",
         MachineKind::m48,
         {{"prog/1982.rom", 3}, {"user/48.rom", 4}},
         {},
         "YOUR 48K ROM",
         {4},
         ""},
        {"the user's +2 pair, not the 128K's",
         MachineKind::plus2,
         {{"user/128-0.rom", 5},
          {"user/128-1.rom", 6},
          {"user/plus2-0.rom", 7},
          {"user/plus2-1.rom", 8}},
         {},
         "YOUR +2 ROMS",
         {7, 8},
         ""},
        {"given files before all",
         MachineKind::m128,
         {{"user/128-0.rom", 5}, {"user/128-1.rom", 6}, {"a.rom", 9}, {"b.rom", 10}},
         {"", "a.rom", "b.rom"},
         "GIVEN 128K ROMS",
         {9, 10},
         ""},
        {"half a user's pair",
         MachineKind::m128,
         {{"user/128-0.rom", 5}, {"sys/opense.rom", 1}},
         {},
         "",
         {},
         "128-1.rom"},
        {"a short image",
         MachineKind::m48,
         {{"user/48.rom", -16383}, {"sys/opense.rom", 1}},
         {},
         "",
         {},
         "48.rom"},
        {"a given file missing",
         MachineKind::m48,
         {{"sys/opense.rom", 1}},
         {"gone.rom", "", ""},
         "",
         {},
         "gone.rom"},
        {"no ROM anywhere", MachineKind::plus2, {}, {}, "", {}, "opense-stub.rom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path root =
            fs::temp_directory_path() / ("marrowgleam-roms-" + std::to_string(getpid()));
        fs::remove_all(root);
        for (const auto& [file, fill] : c.files)
            put_rom(root / file, static_cast<uint8_t>(fill > 0 ? fill : 0),
                    fill > 0 ? 16384 : static_cast<size_t>(-fill));
        auto rooted = [&](const std::string& f) { return f.empty() ? f : (root / f).string(); };
        const GivenRoms given{rooted(c.given.rom), rooted(c.given.rom0), rooted(c.given.rom1)};
        const RomPlaces places{(root / "user").string(), (root / "prog").string(),
                               (root / "sys").string()};
        RomSet set;
        std::string error;
        const bool found = find_roms(c.kind, given, places, set, error);
        EXPECT_EQ(found, !c.name.empty()) << error;
        if (found) {
            EXPECT_EQ(set.name, c.name);
            ASSERT_EQ(set.images.size(), 16384 * c.fills.size());
            for (size_t i = 0; i < c.fills.size(); i++)
                EXPECT_EQ(set.images[16384 * i + 100], c.fills[i]) << "ROM " << i;
        } else {
            EXPECT_NE(error.find(c.error_names), std::string::npos) << error;
        }
        fs::remove_all(root);
    }
}

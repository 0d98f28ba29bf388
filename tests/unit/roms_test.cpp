// Where a machine's ROMs are found: the order of the places, the sizes checked, the set's
// name; every directory a temporary one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "frontend/roms.h"

namespace fs = std::filesystem;

TEST(Roms, FoundInOrderAndCheckedBySize) {
    // files: "path=fill" (16384 bytes of it; "path=-n": n bytes); given: rom, rom0, rom1;
    // want: "NAME=fill,fill" or, refused, "!a file the error names".
    const struct {
        MachineKind kind;
        const char* files;
        GivenRoms given;
        const char* want;
    } cases[] = {
        {MachineKind::m48, "sys/opense.rom=1", {}, "OPENSE BASIC (FREE)=1"},
        {MachineKind::m128,
         "sys/opense.rom=1 sys/opense-stub.rom=2",
         {},
         "OPENSE BASIC (FREE)=2,1"},
        {MachineKind::m48, "sys/opense.rom=1 prog/1982.rom=3", {}, "1982.ROM=3"},
        {MachineKind::plus2,
         "sys/opense.rom=1 sys/opense-stub.rom=2 prog/1982.rom=3",
         {},
         "OPENSE BASIC (FREE)=2,1"},
        {MachineKind::m48, "prog/1982.rom=3 user/48.rom=4", {}, "YOUR 48K ROM=4"},
        {MachineKind::plus2,
         "user/128-0.rom=5 user/128-1.rom=6 user/plus2-0.rom=7 user/plus2-1.rom=8",
         {},
         "YOUR +2 ROMS=7,8"},
        {MachineKind::m128,
         "user/128-0.rom=5 user/128-1.rom=6 a.rom=9 b.rom=10",
         {"", "a.rom", "b.rom"},
         "GIVEN 128K ROMS=9,10"},
        {MachineKind::m128, "user/128-0.rom=5 sys/opense.rom=1", {}, "!128-1.rom"},
        {MachineKind::m48, "user/48.rom=-16383 sys/opense.rom=1", {}, "!48.rom"},
        {MachineKind::m48, "sys/opense.rom=1", {"gone.rom", "", ""}, "!gone.rom"},
        {MachineKind::plus2, "", {}, "!opense-stub.rom"},
    };
    const fs::path root =
        fs::temp_directory_path() / ("marrowgleam-roms-" + std::to_string(getpid()));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.files) + " -> " + c.want);
        fs::remove_all(root);
        std::istringstream files(c.files);
        for (std::string entry; files >> entry;) {
            const fs::path path = root / entry.substr(0, entry.find('='));
            const int fill = std::stoi(entry.substr(entry.find('=') + 1));
            fs::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary)
                << std::string(fill > 0 ? 16384 : -fill, static_cast<char>(fill > 0 ? fill : 0));
        }
        auto rooted = [&](const std::string& f) { return f.empty() ? f : (root / f).string(); };
        RomSet set;
        std::string error, got;
        if (find_roms(c.kind, {rooted(c.given.rom), rooted(c.given.rom0), rooted(c.given.rom1)},
                      {rooted("user"), rooted("prog"), rooted("sys")}, set, error)) {
            got = set.name + "=";
            for (size_t i = 100; i < set.images.size(); i += 16384)
                got += std::to_string(set.images[i]) + (i + 16384 < set.images.size() ? "," : "");
            EXPECT_EQ(set.images.size() % 16384, 0u);
            EXPECT_EQ(got, c.want);
        } else {
            EXPECT_EQ(c.want[0], '!') << error;
            EXPECT_NE(error.find(c.want + 1), std::string::npos) << error;
        }
    }
    fs::remove_all(root);
}

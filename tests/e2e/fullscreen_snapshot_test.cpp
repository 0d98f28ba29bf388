// The full-screen program saves the running machine with Windows+S: a new snapshot in the
// data directory ($XDG_DATA_HOME/marrowgleam), in the format --snapshot-format names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "formats/snapshots.h"
#include "spectrum/machine.h"
#include "tests/e2e/fullscreen_fixture.h"
#include "tests/support/files_images.h"

namespace fullscreen {
namespace {
using namespace std::chrono_literals;

std::vector<std::filesystem::path> files_in(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        files.push_back(it->path());
    return files;
}

TEST_F(FullScreen, WindowsSSavesASnapshotInTheChosenFormat) {
    const auto data = std::filesystem::temp_directory_path() /
                      ("marrowgleam-e2e-data-" + std::to_string(getpid()));
    std::filesystem::remove_all(data);
    launch({"XDG_DATA_HOME=" + data.string()}, {"--snapshot-format", "z80"});
    wait_for_white_paper();
    x_.key_down("super");
    x_.key("s");
    x_.key_up("super");
    const auto snapshots = data / "marrowgleam";
    for (int i = 0; i < 100 && files_in(snapshots).empty(); i++) std::this_thread::sleep_for(100ms);
    quit_with_escape();

    const std::vector<std::filesystem::path> files = files_in(snapshots);
    ASSERT_EQ(files.size(), 1u) << "one snapshot in " << snapshots;
    EXPECT_EQ(files[0].extension(), ".z80");
    const auto m = std::make_unique<Spectrum>();
    const LoadResult loaded = load_z80_snapshot(*m, read_file(files[0]));
    EXPECT_TRUE(loaded) << loaded.why;
    EXPECT_EQ(m->model, 48);
    std::filesystem::remove_all(data);
}

TEST_F(FullScreen, UnknownSnapshotFormatIsRefusedAtStart) {
    launch({}, {"--snapshot-format", "tap"});
    ASSERT_TRUE(program_.wait(20s));
    EXPECT_EQ(program_.status(), 2);
    EXPECT_EQ(program_.standard_error(), "marrowgleam: --snapshot-format needs sna, z80 or szx\n");
}
} // namespace
} // namespace fullscreen

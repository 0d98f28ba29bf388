// Saving the user's files: each writer's file of its own until the rename, names of new
// snapshots never taken from another file, nothing left behind by a killed writer, and the
// system's reason when a file cannot be written.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>

#include "formats/formats.h"
#include "formats/snapshots.h"
#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/files_images.h"
#include "tests/support/support.h"

namespace {
std::set<std::string> listing(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.insert(entry.path().filename().string());
    return names;
}

const std::vector<uint8_t> NEW_BYTES(100000, 0x5A);
} // namespace

// A second instance saving the same name at the same moment has its own temporary file
// there ("NAME.tmp" stands for it): the save neither takes nor removes it, and the file
// gets the mode any new file would.
TEST(FileSaving, AnotherWritersFileIsNotTouchedAndTheModeIsANewFilesOne) {
    TempDir dir;
    for (mode_t mask : {022, 077}) {
        const mode_t old_mask = ::umask(mask);
        dir.file("CH1.tmp", {9, 9});
        const bool written = write_file_atomic("CH1", NEW_BYTES);
        ::umask(old_mask);
        ASSERT_TRUE(written) << "umask " << mask;
        EXPECT_EQ(read_file("CH1"), NEW_BYTES);
        EXPECT_EQ(read_file("CH1.tmp"), (std::vector<uint8_t>{9, 9})) << "umask " << mask;
        EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"CH1", "CH1.tmp"}));
        EXPECT_EQ(std::filesystem::status("CH1").permissions(),
                  static_cast<std::filesystem::perms>(0666 & ~mask))
            << "umask " << mask;
        std::filesystem::remove("CH1");
    }
}

// Windows+S claims its name with the file: a name something already has (another
// instance's snapshot of the same second, here a link to nowhere, which a test of the name
// alone does not see) is never replaced; the save goes on to the next suffix.
TEST(FileSaving, SnapshotKeyNeverReplacesWhatHasItsName) {
    TempDir dir;
    const std::string old = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    const auto data = dir.path() / "marrowgleam";
    std::filesystem::create_directories(data);
    std::set<std::string> names; // this second's and the next's, taken
    for (std::time_t t : {std::time(nullptr), std::time(nullptr) + 1}) {
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S.szx", std::localtime(&t));
        std::filesystem::create_symlink("elsewhere/nothing", data / stamp);
        names.insert(stamp);
    }
    for (int save = 0; save < 2; save++) {
        Session& session = fresh_session();
        session.files.save_snapshot(session.machine, session.text);
    }
    old.empty() ? unsetenv("XDG_DATA_HOME") : setenv("XDG_DATA_HOME", old.c_str(), 1);

    for (const std::string& name : names) EXPECT_TRUE(std::filesystem::is_symlink(data / name));
    const std::set<std::string> all = listing(data);
    ASSERT_EQ(all.size(), 4u) << "both saves kept";
    for (const std::string& name : all) {
        Spectrum loaded;
        EXPECT_TRUE(names.count(name) || load_speccy(loaded, (data / name).string())) << name;
    }
}

// A writer killed in the middle of its file (here by the file size limit's signal) leaves
// nothing beside the old file; a named temporary file of a writer that is gone (left where
// the file system has no unnamed files) is removed by the next save there, one of a writer
// still running is not.
TEST(FileSaving, AKilledWriterLeavesNoTemporaryFile) {
    TempDir dir;
    dir.file("CH2", {1, 2, 3});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit no_core{0, 0}, small{65536, 65536};
        ::setrlimit(RLIMIT_CORE, &no_core);
        ::setrlimit(RLIMIT_FSIZE, &small);
        std::signal(SIGXFSZ, SIG_DFL);
        write_file_atomic("CH2", NEW_BYTES);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "status " << status;
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"CH2"}));
    EXPECT_EQ(read_file("CH2"), (std::vector<uint8_t>{1, 2, 3}));

    const std::string gone = ".CH2.mgtmp-" + std::to_string(child) + "-Ab12Cd";
    const std::string running = ".CH2.mgtmp-" + std::to_string(::getpid()) + "-Ef34Gh";
    dir.file(gone, {7});
    dir.file(running, {8});
    ASSERT_TRUE(write_file_atomic("CH2", NEW_BYTES));
    EXPECT_EQ(listing(dir.path()), (std::set<std::string>{"CH2", running}));
}

// "cannot write PATH" says why.
TEST(FileSaving, ASnapshotThatCannotBeWrittenSaysWhy) {
    TempDir dir;
    dir.directory("taken.szx/inside");
    const Spectrum m;
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {(dir.path() / "missing" / "game.szx").string(), "No such file or directory"},
        {(dir.path() / "taken.szx").string(), "Is a directory"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(save_snapshot(m, c.path, SnapshotFormat::SZX),
                  "cannot write " + c.path + ": " + c.reason);
}

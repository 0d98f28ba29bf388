// The settings file: what it keeps, what it makes of damaged lines, and the command line
// over it; and the data files of an installed program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "frontend/keys.h"
#include "frontend/options.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "frontend/settings.h"
#include "tests/support/files_images.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"

namespace {
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::vector<uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

bool read_options(std::vector<const char*> args, ProgramOptions& o, std::string& error) {
    args.insert(args.begin(), "marrowgleam");
    return read_program_options(static_cast<int>(args.size()), args.data(), o, error);
}
} // namespace

TEST(Settings, EveryFieldSurvivesTheFile) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
    Settings changed;
    changed.fit_mode = 3;
    changed.colour_mode = 2;
    changed.grille = false;
    changed.text_layer = 1;
    changed.cpu_model = CpuModel::zilog;
    changed.machine = MachineSetting::PLUS2;
    changed.joystick_map = 2;
    changed.joystick_keys = true;
    changed.stereo = AyStereo::MONO;
    changed.volume = 37;
    changed.windowed = true;
    changed.window_w = 1024;
    changed.window_h = 700;
    changed.type_chars = true;
    changed.exact_border = true;
    changed.snapshot_format = SnapshotFormat::Z80;
    std::string why;
    ASSERT_EQ(settings_path(), (dir.path() / "config/marrowgleam/marrowgleam.conf").string());
    ASSERT_TRUE(write_settings_file(settings_path(), changed, why)) << why;
    Settings read;
    std::vector<std::string> problems;
    read_settings_file(settings_path(), read, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(read, changed) << settings_text(read);
}

// A line that cannot be taken is told with its number and changes nothing; the lines around
// it still count.
TEST(Settings, DamagedLinesAreToldAndSkipped) {
    const struct {
        const char* line;
        const char* problem;
    } cases[] = {
        {"zoom = 2", "line 2: unknown key \"zoom\""},
        {"volume = 101", "line 2: volume takes 0 to 100, not \"101\""},
        {"volume = -5", "line 2: volume takes 0 to 100"},
        {"fit = wide", "line 2: fit takes fit, fill, game or full, not \"wide\""},
        {"window_size = 800x10", "line 2: window_size takes WIDTHxHEIGHT"},
        {"window_size = 800", "line 2: window_size takes WIDTHxHEIGHT"},
        {"grille", "line 2: no '=' in \"grille\""},
    };
    for (const auto& c : cases) {
        Settings s;
        std::vector<std::string> problems;
        parse_settings("stereo = ACB  # the chip's B on the right\n" + std::string(c.line) +
                           "\n\n   # a comment\ncpu = zilog\n",
                       s, problems);
        ASSERT_EQ(problems.size(), 1u) << c.line;
        EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
        Settings expected;
        expected.stereo = AyStereo::ACB;
        expected.cpu_model = CpuModel::zilog;
        EXPECT_EQ(s, expected) << c.line;
    }
}

// The file sets the start, an option given wins for the run, --no-config leaves the file
// alone, and a file that cannot be read is told but never stops the program.
TEST(Settings, TheCommandLineWinsOverTheFile) {
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().c_str());
    dir.directory("marrowgleam");
    dir.file("marrowgleam/marrowgleam.conf",
             bytes("cpu = zilog\nvolume = 40\ndisplay = window\nwindow_size = 900x700\n"
                   "typing = character\ncolour = melbourne\ngrille = off\nspeed = 2\n"));
    ProgramOptions o;
    std::string error;
    ASSERT_TRUE(read_options({"--cpu", "standard", "--window=1000x800", "a.sna"}, o, error));
    EXPECT_EQ(o.machine.cpu_model, CpuModel::standard);
    EXPECT_EQ(o.machine.volume, 40);
    EXPECT_TRUE(o.window && o.type_chars);
    EXPECT_EQ(o.window_w, 1000);
    EXPECT_EQ(o.window_h, 800);
    EXPECT_EQ(o.file, "a.sna");
    ASSERT_EQ(o.settings_problems.size(), 1u);
    EXPECT_EQ(o.settings_problems[0], "line 8: unknown key \"speed\"");
    Session& session = fresh_session();
    o.apply(session);
    EXPECT_EQ(session.view.screen_mode, 1);
    EXPECT_EQ(session.view.graticule, 0);

    ProgramOptions plain;
    ASSERT_TRUE(read_options({"--window", "--no-config"}, plain, error));
    EXPECT_EQ(plain.machine.volume, 100);
    EXPECT_EQ(plain.window_w, 0) << "the default size";
    EXPECT_TRUE(plain.settings_problems.empty());

    ProgramOptions full;
    ASSERT_TRUE(read_options({"--full-screen"}, full, error));
    EXPECT_FALSE(full.window);
    EXPECT_EQ(full.window_w, 900) << "the remembered size for Alt+Enter";

    std::filesystem::remove(dir.path() / "marrowgleam/marrowgleam.conf");
    dir.directory("marrowgleam/marrowgleam.conf");
    ProgramOptions unreadable;
    ASSERT_TRUE(read_options({}, unreadable, error)) << error;
    ASSERT_EQ(unreadable.settings_problems.size(), 1u);
    EXPECT_EQ(unreadable.settings_problems[0].rfind("cannot read it: ", 0), 0u);
}

// Installed, the program finds the character set in PREFIX/share/marrowgleam and the ROM
// where Debian's opense-basic puts it.
TEST(Settings, AnInstalledProgramFindsItsDataUnderShare) {
    const char* const system_rom = "/usr/share/spectrum-roms/opense.rom";
    if (!file_exists(system_rom)) GTEST_SKIP() << system_rom << " is not installed";
    TempDir dir;
    dir.directory("bin");
    dir.directory("share");
    dir.directory("share/marrowgleam");
    std::filesystem::copy_file(binary_path("teletext"), dir.path() / "share/marrowgleam/teletext");
    Session& session = fresh_session();
    std::string error;
    EXPECT_TRUE(session.load_data_files((dir.path() / "bin/marrowgleam").c_str(), error)) << error;
    std::filesystem::remove(dir.path() / "share/marrowgleam/teletext");
    EXPECT_FALSE(session.load_data_files((dir.path() / "bin/marrowgleam").c_str(), error));
    EXPECT_EQ(error,
              "Cannot open " + (dir.path() / "bin/teletext").string() + " (the character set)");
}

namespace {
// The full-screen program's start over the tests' session: the options read, applied, the
// machine chosen with the system's ROMs, the title up and the settings kept.
Session& started(std::vector<const char*> args, ProgramOptions& o) {
    std::string error;
    EXPECT_TRUE(read_options(std::move(args), o, error)) << error;
    Session& s = fresh_session();
    use_code_charset();
    o.apply(s);
    s.rom_places = RomPlaces{};
    EXPECT_TRUE(s.choose_machine(s.machine_kind, error)) << error;
    s.start_machine();
    keep_settings(s, o);
    return s;
}

// Logical frames with `key` held down from the first (pressed once).
void run_with_key(Session& s, int key, uint64_t frames) {
    test_host().on_pump = [key] { test_host().keys[key] = 1; };
    s.run_machine(s.frame_clock() + frames);
    test_host().on_pump = nullptr;
    test_host().keys[key] = 0;
}
} // namespace

// A key's choice goes to the file at once and comes back at the next start; a choice made
// only by an option for this run stays out of the file; the machine, fit mode and text layer
// remembered are the ones the next start has.
TEST(Settings, AKeysChoiceIsWrittenAndComesBackAtTheNextStart) {
    if (!file_exists("/usr/share/spectrum-roms/opense-stub.rom")) GTEST_SKIP() << "no free ROMs";
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
    const std::string path = settings_path();
    Settings earlier;
    earlier.machine = MachineSetting::ZX128;
    earlier.fit_mode = 2;
    earlier.text_layer = 1;
    std::string why;
    ASSERT_TRUE(write_settings_file(path, earlier, why)) << why;

    ProgramOptions first;
    Session& s = started({"--cpu", "zilog"}, first);
    EXPECT_EQ(s.machine.model, 128);
    EXPECT_EQ(s.view.fit_mode, 2);
    run_with_key(s, key::F5, 2); // the grille off
    Settings kept;
    std::vector<std::string> problems;
    read_settings_file(path, kept, problems);
    EXPECT_FALSE(kept.grille);
    EXPECT_EQ(kept.cpu_model, CpuModel::standard) << "an option for this run is not kept";

    ProgramOptions second;
    Session& again = started({}, second);
    EXPECT_EQ(again.view.graticule, 0);
    EXPECT_EQ(again.machine_kind, MachineKind::m128);
    EXPECT_EQ(settings_of(again, second).text_layer, 1);
    EXPECT_EQ(again.machine.cpu_model, CpuModel::standard);
}

// A damaged file: the defaults, its message on row 23 once the title has gone, no fault.
TEST(Settings, ADamagedFileIsToldOnRow23AfterTheTitle) {
    if (!file_exists("/usr/share/spectrum-roms/opense.rom")) GTEST_SKIP() << "no free ROM";
    TempDir dir;
    ScopedEnv xdg("XDG_CONFIG_HOME", (dir.path() / "config").c_str());
    dir.directory("config");
    dir.directory("config/marrowgleam");
    dir.file("config/marrowgleam/marrowgleam.conf", bytes("machine = 1024\n"));
    ProgramOptions o;
    Session& s = started({}, o);
    EXPECT_EQ(s.machine_kind, MachineKind::m48);
    s.run_machine(s.frame_clock() + 201);
    EXPECT_NE(text_row(MESSAGE_ROW).find("SETTINGS FILE DAMAGED: line 1"), std::string::npos)
        << text_row(MESSAGE_ROW);
}

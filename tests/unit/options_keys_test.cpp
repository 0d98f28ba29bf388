// The full-screen program's command line, and the control keys of the modes it sets:
// Windows+T, Windows+B and Alt+Enter, each with its message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/keys.h"
#include "frontend/options.h"
#include "frontend/session.h"
#include "host/headless/headless.h"
#include "tests/support/files_screen.h"
#include "tests/support/support.h"

namespace {
bool parse(std::vector<const char*> args, ProgramOptions& o, std::string& error) {
    args.insert(args.begin(), "marrowgleam");
    return parse_program_options(static_cast<int>(args.size()), args.data(), o, error);
}

std::string message() {
    std::string row = text_row(MESSAGE_ROW);
    row.erase(row.find_last_not_of(' ') + 1);
    return row;
}
} // namespace

TEST(ProgramOptions, ReadsTheModesTheSizeAndTheFile) {
    ProgramOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--window", "--type-chars", "--exact-border", "game.sna"}, o, error));
    EXPECT_TRUE(o.window && o.type_chars && o.exact_border);
    EXPECT_EQ(o.window_w, 0);
    EXPECT_EQ(o.file, "game.sna");

    ProgramOptions sized;
    ASSERT_TRUE(parse({"--window=1024x700"}, sized, error));
    EXPECT_TRUE(sized.window);
    EXPECT_EQ(sized.window_w, 1024);
    EXPECT_EQ(sized.window_h, 700);
    EXPECT_FALSE(sized.type_chars || sized.exact_border);

    for (const char* bad : {"--window=800", "--window=x600", "--window=10x10", "--window=80x60x",
                            "--no-such", "-w"}) {
        ProgramOptions b;
        EXPECT_FALSE(parse({bad}, b, error)) << bad;
    }
    ProgramOptions two;
    EXPECT_FALSE(parse({"a.sna", "b.sna"}, two, error));
    ProgramOptions help;
    ASSERT_TRUE(parse({"--help"}, help, error));
    EXPECT_TRUE(help.help);
    for (const char* option : {"--window", "--type-chars", "--exact-border", "--help"})
        EXPECT_NE(program_usage().find(option), std::string::npos) << option;
}

// The machine's options, which the runner reads through the same function: each value is
// checked, and a fault names the choices.
TEST(ProgramOptions, ReadsTheMachinesOptionsWithTheirValues) {
    ProgramOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--ay", "--stereo", "ACB", "--joystick", "cursor", "--cpu", "zilog",
                       "--tape-sound", "--no-tape-trap", "t.tzx"},
                      o, error))
        << error;
    EXPECT_TRUE(o.machine.hardware.ay_on_48 && o.machine.tape_sound && !o.machine.tape_trap);
    EXPECT_EQ(o.machine.hardware.stereo, AyStereo::ACB);
    EXPECT_EQ(o.machine.hardware.joystick, Session::JoystickMap::CURSOR);
    EXPECT_EQ(o.machine.cpu_model, CpuModel::zilog);
    EXPECT_EQ(o.file, "t.tzx");

    const std::pair<std::vector<const char*>, const char*> faults[] = {
        {{"--stereo"}, "--stereo needs abc, acb or mono"},
        {{"--stereo", "left"}, "--stereo needs abc, acb or mono"},
        {{"--joystick", "mouse"}, "--joystick needs kempston, sinclair or cursor"},
        {{"--cpu", "cmos"}, "--cpu needs standard or zilog"},
        {{"--snapshot-format"}, "--snapshot-format needs sna, z80 or szx"},
    };
    for (const auto& [args, message] : faults) {
        ProgramOptions b;
        EXPECT_FALSE(parse(args, b, error)) << args[0];
        EXPECT_EQ(error, message);
    }
    // Listed once, in both programs' --help, each description at its program's column.
    const std::string usage = machine_options_usage(20);
    for (const char* option : {"--tape-sound", "--no-tape-trap", "--ay", "--stereo MODE",
                               "--joystick MAP", "--cpu MODEL"}) {
        EXPECT_NE(program_usage().find(option), std::string::npos) << option;
        EXPECT_NE(usage.find(std::string("  ") + option), std::string::npos) << option;
    }
    EXPECT_NE(usage.find("\n  --ay              fit the 48K"), std::string::npos) << usage;
}

// The machine and its ROM files; the file a desktop passes, a space and non-ASCII letters in
// its name, taken whole.
TEST(ProgramOptions, ReadsTheMachineAndItsRoms) {
    ProgramOptions o;
    std::string error;
    ASSERT_TRUE(parse({"--machine", "plus2", "--rom0=a b.rom", "--rom1", "ü.rom",
                       "/home/zoë/Mes jeux/Ça marche.tzx"},
                      o, error))
        << error;
    EXPECT_EQ(o.machine.kind, MachineKind::plus2);
    EXPECT_EQ(o.machine.roms.rom0, "a b.rom");
    EXPECT_EQ(o.machine.roms.rom1, "ü.rom");
    EXPECT_EQ(o.file, "/home/zoë/Mes jeux/Ça marche.tzx");
    EXPECT_FALSE(parse({"--machine", "16"}, o, error));
    EXPECT_EQ(error, "--machine needs 48, 128 or plus2");
}

// Every option with a value takes it as the next word or after '='; a flag takes none, and
// after "--" every word is a file.
TEST(ProgramOptions, ValuesFollowAsTheNextWordOrAfterEquals) {
    const std::vector<const char*> forms[][2] = {
        {{"--stereo", "acb"}, {"--stereo=acb"}},
        {{"--volume", "35"}, {"--volume=35"}},
        {{"--cpu", "zilog"}, {"--cpu=zilog"}},
        {{"--joystick", "sinclair"}, {"--joystick=sinclair"}},
        {{"--snapshot-format", "z80"}, {"--snapshot-format=z80"}},
    };
    for (const auto& [apart, joined] : forms) {
        ProgramOptions a, b;
        std::string error;
        ASSERT_TRUE(parse(apart, a, error)) << error;
        ASSERT_TRUE(parse(joined, b, error)) << joined[0] << ": " << error;
        EXPECT_EQ(b.machine.hardware.stereo, a.machine.hardware.stereo);
        EXPECT_EQ(b.machine.volume, a.machine.volume);
        EXPECT_EQ(b.machine.cpu_model, a.machine.cpu_model);
        EXPECT_EQ(b.machine.hardware.joystick, a.machine.hardware.joystick);
        EXPECT_EQ(b.snapshot_format, a.snapshot_format);
    }
    ProgramOptions o;
    std::string error;
    EXPECT_FALSE(parse({"--ay=1"}, o, error));
    EXPECT_EQ(error, "--ay takes no value");
    EXPECT_FALSE(parse({"--volume="}, o, error));
    EXPECT_EQ(error, "--volume needs a percentage from 0 to 100");
    ProgramOptions dashed;
    ASSERT_TRUE(parse({"--", "-odd name.tap"}, dashed, error)) << error;
    EXPECT_EQ(dashed.file, "-odd name.tap");
}

namespace {
class ModeKeys : public testing::Test {
  protected:
    Session& s = fresh_session();
    void SetUp() override { use_code_charset(); }
    void TearDown() override { test_host().on_pump = nullptr; }
    // One physical frame with exactly `keys` down.
    void frame(const std::vector<int>& keys) {
        test_host().on_pump = [keys] {
            std::fill(std::begin(test_host().keys), std::end(test_host().keys), 0);
            for (int k : keys) test_host().keys[k] = 1;
        };
        s.read_keyboard();
        s.handle_control_keys();
    }
};
} // namespace

TEST_F(ModeKeys, WindowsTAndWindowsBSwitchTheirModesOncePerPress) {
    const int win = key::LSUPER;
    frame({win, key::letter('t')});
    EXPECT_TRUE(s.keyboard.type_chars);
    EXPECT_EQ(message(), " TYPE BY CHARACTER");
    frame({win, key::letter('t')}); // still held: no second switch
    EXPECT_TRUE(s.keyboard.type_chars);
    frame({});
    frame({win, key::letter('t')});
    EXPECT_FALSE(s.keyboard.type_chars);
    EXPECT_EQ(message(), " TYPE BY POSITION");
    frame({key::letter('t')});
    EXPECT_FALSE(s.keyboard.type_chars) << "T alone is the Spectrum's";

    frame({win, key::letter('b')});
    EXPECT_EQ(s.machine.exact_border, 1);
    EXPECT_EQ(message(), " EXACT BORDER ON");
    frame({});
    frame({key::RMETA, key::letter('b')});
    EXPECT_EQ(s.machine.exact_border, 0);
    EXPECT_EQ(message(), " EXACT BORDER OFF");
}

TEST_F(ModeKeys, AltEnterSwitchesTheDisplayModeAndTypesNoEnter) {
    frame({key::LALT, key::RETURN});
    EXPECT_TRUE(s.view.windowed);
    EXPECT_EQ(message(), " WINDOW");
    EXPECT_EQ(s.machine.key_rows[6] & 1, 0) << "no ENTER for the Spectrum";
    frame({});
    frame({key::RALT, key::RETURN});
    EXPECT_FALSE(s.view.windowed);
    EXPECT_EQ(message(), " FULL SCREEN");
    frame({key::RETURN});
    EXPECT_FALSE(s.view.windowed);
    EXPECT_EQ(s.machine.key_rows[6] & 1, 1) << "Enter alone is ENTER";
}

// Windows+M steps 48K, 128K, +2 and back, powering each on with its ROMs; a machine whose
// ROMs are missing is skipped, and so said.
TEST_F(ModeKeys, WindowsMSwitchesTheMachine) {
    if (!file_exists("/usr/share/spectrum-roms/opense-stub.rom")) GTEST_SKIP() << "no free ROMs";
    std::string error;
    ASSERT_TRUE(s.choose_machine(MachineKind::m48, error)) << error;
    const std::vector<uint8_t> tape = {2, 0, 0xFF, 0xFF}; // one block: flag and checksum
    s.machine.attach_tape(tape);
    const struct {
        MachineKind kind;
        int model;
        const char* message;
    } STEPS[] = {{MachineKind::m128, 128, " 128K: OPENSE BASIC (FREE)"},
                 {MachineKind::plus2, 128, " +2: OPENSE BASIC (FREE)"},
                 {MachineKind::m48, 48, " 48K: OPENSE BASIC (FREE)"}};
    for (const auto& step : STEPS) {
        frame({});
        frame({key::LSUPER, key::letter('m')});
        EXPECT_EQ(s.machine_kind, step.kind);
        EXPECT_EQ(s.machine.model, step.model);
        EXPECT_EQ(s.machine.rom_count(), step.model == 48 ? 1 : 2);
        EXPECT_EQ(message(), step.message);
        EXPECT_TRUE(s.machine.is_tape) << "the tape stays in the deck";
        EXPECT_EQ(s.machine.tape.get(), tape);
        EXPECT_EQ(s.machine.tape_deck.blocks.get().size(), 1u);
    }
    s.rom_places.system_dir = "/nonexistent";
    frame({});
    frame({key::LSUPER, key::letter('m')});
    EXPECT_EQ(s.machine_kind, MachineKind::m48);
    EXPECT_EQ(message(), " NO ROMS FOR 128K, +2");
}

// The monitor and the requester take the text layer for their pages only for the moment:
// the user's own choice comes back when they close, and is the one the settings keep
// meanwhile.
TEST_F(ModeKeys, PagesGiveTheTextLayerBackAndLeaveItsSettingAlone) {
    s.text.overlay = 1;
    ProgramOptions o;
    const auto monitor_frame = [&](const std::vector<int>& keys) {
        frame(keys);
        s.monitor_keys();
    };
    monitor_frame({key::LSUPER, key::letter('d')});
    ASSERT_TRUE(s.monitor.open);
    EXPECT_EQ(s.text.overlay, 2);
    EXPECT_EQ(settings_of(s, o).text_layer, 1);
    monitor_frame({});
    monitor_frame({key::LSUPER, key::letter('d')});
    EXPECT_FALSE(s.monitor.open);
    EXPECT_EQ(s.text.overlay, 1) << "the page gone, the layer as it was";
    s.do_file_requester();
    EXPECT_EQ(settings_of(s, o).text_layer, 1);
    s.do_file_requester();
    EXPECT_EQ(s.text.overlay, 1);
}

// The headless runner as a user runs it: it boots the ROM beside it, types BASIC through its
// key script, and writes the beeper's sound as a WAV file.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files_images.h"
#include "tests/support/support.h"
#include "tests/support/tape_runner.h"

namespace {
// The rows of the Spectrum's screen that hold anything.
std::vector<std::string> written_rows(const RunnerResult& run) {
    std::vector<std::string> rows;
    for (const std::string& row : run.rows)
        if (!row.empty()) rows.push_back(row);
    return rows;
}

class RunnerMachine : public testing::Test {
  protected:
    void SetUp() override {
        if (!file_exists(binary_path("marrowgleam-run")) || !file_exists(binary_path("1982.rom")))
            GTEST_SKIP() << "marrowgleam-run or its ROM is not built";
    }
};
} // namespace

// The ROM is OpenSE BASIC, whose start-up screen is one line at the bottom (0x7F is its
// copyright sign).
TEST_F(RunnerMachine, BootsToTheRomsStartUpMessage) {
    const RunnerResult run = run_runner({"--frames", "100", "--text", "--quiet"});
    ASSERT_EQ(run.status, 0);
    ASSERT_EQ(run.rows.size(), 24u);
    EXPECT_EQ(written_rows(run), std::vector<std::string>{" \x7f 1981 Nine Tiles Networks Ltd"});
    EXPECT_EQ(run.rows[23], " \x7f 1981 Nine Tiles Networks Ltd");
}

// A program typed key by key (keywords letter by letter, symbols with SYMBOL SHIFT, doubled
// characters), listed, then run: the RUN typed in the same breath as the line, at full
// speed (one frame a key too), waits until the ROM has entered the line.
TEST_F(RunnerMachine, TypesAndRunsABasicProgram) {
    const std::string line = "100:type 10 PRINT 2+2,11*11<enter>";
    const RunnerResult listed =
        run_runner({"--frames", "350", "--keys", line, "--text", "--quiet"});
    ASSERT_EQ(listed.status, 0);
    const std::vector<std::string> rows = written_rows(listed);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "   10 PRINT 2+2,11*11");

    for (const char* key_frames : {"3", "1"}) {
        const RunnerResult ran = run_runner({"--frames", "400", "--keys", line + "RUN<enter>",
                                             "--key-frames", key_frames, "--text", "--quiet"});
        ASSERT_EQ(ran.status, 0);
        EXPECT_EQ(written_rows(ran), (std::vector<std::string>{"4               121", "OK, 10:1"}))
            << "--key-frames " << key_frames;
    }
}

namespace {
// A 48K snapshot whose program toggles the speaker every 1748 T-states, interrupts off:
//   8000 DI / XOR A
//   8002 loop: XOR 10h (7) / OUT (FEh),A (11) / LD B,132 (7) / DJNZ $ (131 x 13 + 8) /
//              JR loop (12)
// The code and its stack lie above 0x8000, out of the contended slot; only the OUT's own
// I/O cycle can meet the ULA's contention, a few T-states at most.
constexpr int TOGGLE_TSTATES = 7 + 11 + 7 + 131 * 13 + 8 + 12;

std::vector<uint8_t> toggling_snapshot() {
    std::vector<uint8_t> sna(27 + 49152, 0);
    sna[23] = 0x00; // SP 0xFF00, holding PC 0x8000
    sna[24] = 0xFF;
    sna[25] = 1; // IM 1
    sna[26] = 7; // white border
    const uint8_t code[] = {0xF3, 0xAF, 0xEE, 0x10, 0xD3, 0xFE, 0x06, 132, 0x10, 0xFE, 0x18, 0xF6};
    auto at = [&](uint16_t address) -> uint8_t& { return sna[27 + address - 0x4000]; };
    for (size_t i = 0; i < sizeof code; i++) at(static_cast<uint16_t>(0x8000 + i)) = code[i];
    at(0xFF00) = 0x00;
    at(0xFF01) = 0x80;
    return sna;
}

uint32_t le(const std::vector<uint8_t>& b, size_t offset, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; i--) value = value << 8 | b[offset + i];
    return value;
}
} // namespace

// The emulated clock runs 3,494,400 T-states a second (50 frames of 69888), so a speaker
// toggled every 1748 T-states sounds at 3494400 / 3496 = 999.54 Hz.
TEST_F(RunnerMachine, SpeakerToggledAtAKnownRateSoundsAtThatFrequency) {
    TempDir dir;
    write_file(dir.path() / "tone.sna", toggling_snapshot());
    const std::string wav_path = (dir.path() / "tone.wav").string();
    const int frames = 150;
    const RunnerResult run = run_runner({"--frames", std::to_string(frames), "--wav", wav_path,
                                         "--quiet", (dir.path() / "tone.sna").string()});
    ASSERT_EQ(run.status, 0);

    const std::vector<uint8_t> wav = read_file(wav_path);
    ASSERT_GE(wav.size(), 44u);
    ASSERT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    ASSERT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le(wav, 20, 2), 1u);      // PCM
    EXPECT_EQ(le(wav, 22, 2), 2u);      // stereo
    EXPECT_EQ(le(wav, 24, 4), 48000u);  // samples a second
    EXPECT_EQ(le(wav, 28, 4), 192000u); // bytes a second
    EXPECT_EQ(le(wav, 32, 2), 4u);      // bytes a sample pair
    EXPECT_EQ(le(wav, 34, 2), 16u);     // bits a sample
    ASSERT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    ASSERT_EQ(wav.size() - 44, static_cast<size_t>(frames) * 960 * 4);
    ASSERT_EQ(le(wav, 40, 4), wav.size() - 44);
    // The beeper alone (a 48K has no sound chip), on both sides. Each change is a step of the
    // beeper's whole swing, 255 half-steps (from -32768 to 32512 until the sound was centred
    // on 0); between changes the output coupling lets the level sink back towards 0 by 15
    // a sample at most.
    std::vector<int> samples;
    for (size_t i = 44; i + 3 < wav.size(); i += 4) {
        const auto left = static_cast<int16_t>(le(wav, i, 2));
        const auto right = static_cast<int16_t>(le(wav, i + 2, 2));
        ASSERT_EQ(left, right) << "sample " << (i - 44) / 4;
        samples.push_back(left);
    }

    const int swing = 255 * 2 * 43;
    std::vector<size_t> changes;
    for (size_t i = 1; i < samples.size(); i++) {
        const int step = std::abs(samples[i] - samples[i - 1]);
        if (step <= 15) continue;
        ASSERT_NEAR(step, swing, 30) << "sample " << i;
        changes.push_back(i);
    }
    ASSERT_GT(changes.size(), 100u);
    // Every half period is 1748 / 72.8 = 24.01 samples long.
    for (size_t i = 1; i < changes.size(); i++) {
        const size_t length = changes[i] - changes[i - 1];
        ASSERT_TRUE(length >= 23 && length <= 25) << "half period " << i << ": " << length;
    }
    const double seconds = static_cast<double>(changes.back() - changes.front()) / 48000;
    const double measured = static_cast<double>(changes.size() - 1) / 2 / seconds;
    const double expected = 3494400.0 / (2 * TOGGLE_TSTATES);
    EXPECT_NEAR(measured, expected, expected * 0.005);
}

// --save: a typed program saved in each format at the end of a run comes back when the file
// is loaded (the format by the name's ending, any case); a save that cannot be written is a
// failure on standard error with status 1.
TEST_F(RunnerMachine, SavesTheMachineAtTheEndAndLoadsItBack) {
    TempDir dir;
    const std::string line = "100:type 10 PRINT 6*7<enter>";
    for (const char* name : {"typed.szx", "typed.Z80", "typed.sna"}) {
        SCOPED_TRACE(name);
        const RunnerResult saved =
            run_runner({"--frames", "300", "--keys", line, "--save", name, "--quiet"});
        ASSERT_EQ(saved.status, 0) << saved.err;
        ASSERT_TRUE(std::filesystem::exists(dir.path() / name));
        const RunnerResult loaded = run_runner(
            {name, "--frames", "100", "--keys", "20:type RUN<enter>", "--text", "--quiet"});
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        EXPECT_EQ(written_rows(loaded), (std::vector<std::string>{"42", "OK, 10:1"}));
    }
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "typed.sna"), 49179u);

    const RunnerResult failed =
        run_runner({"--frames", "10", "--save", "missing/out.szx", "--quiet"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("missing/out.szx not saved"), std::string::npos) << failed.err;

    const RunnerResult wrong = run_runner({"--frames", "10", "--save", "out.png", "--quiet"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find(".sna, .z80 or .szx"), std::string::npos) << wrong.err;
}

// Without --wav no sound is kept: the runner's peak memory does not grow with the run (it
// grew by 960 bytes a frame, some 5 MB over these 5000 frames). With --wav the sound goes to
// the file as the run goes.
TEST_F(RunnerMachine, MemoryDoesNotGrowWithTheRun) {
    TempDir dir;
    const auto peak_kib = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_maxrss; // the largest child so far
    };
    ASSERT_EQ(run_runner({"--frames", "10", "--quiet"}).status, 0);
    const long short_run = peak_kib();
    ASSERT_EQ(run_runner({"--frames", "5000", "--quiet"}).status, 0);
    EXPECT_LT(peak_kib() - short_run, 1024) << "KiB more for 5000 frames than for 10";
    ASSERT_EQ(run_runner({"--frames", "5000", "--quiet", "--wav", "run.wav"}).status, 0);
    EXPECT_LT(peak_kib() - short_run, 1024) << "KiB more for 5000 frames written as WAV";
    EXPECT_EQ(std::filesystem::file_size("run.wav"), 44u + 5000u * 960u * 4u);
}

namespace {
// A 48K snapshot that loads F = 0x28 through POP AF (which writes no flags), runs SCF with
// A = 0 and stores the F it gives at 0x9000, then loops with interrupts off:
//   8000 DI / LD BC,0028h / PUSH BC / POP AF / SCF / PUSH AF / POP BC / LD A,C /
//        LD (9000h),A / JR $
std::vector<uint8_t> scf_snapshot() {
    std::vector<uint8_t> sna(27 + 49152, 0);
    sna[23] = 0x00; // SP 0xFF00, holding PC 0x8000
    sna[24] = 0xFF;
    sna[25] = 1;
    const uint8_t code[] = {0xF3, 0x01, 0x28, 0x00, 0xC5, 0xF1, 0x37, 0xF5,
                            0xC1, 0x79, 0x32, 0x00, 0x90, 0x18, 0xFE};
    auto at = [&](uint16_t address) -> uint8_t& { return sna[27 + address - 0x4000]; };
    for (size_t i = 0; i < sizeof code; i++) at(static_cast<uint16_t>(0x8000 + i)) = code[i];
    at(0xFF00) = 0x00;
    at(0xFF01) = 0x80;
    return sna;
}
} // namespace

// --cpu picks the model: the standard one takes SCF's bits 3 and 5 from A (F = 0x01), the
// Zilog one from A OR F, the flags no instruction just wrote (F = 0x29).
TEST_F(RunnerMachine, CpuOptionChoosesTheModel) {
    TempDir dir;
    const std::string sna = (dir.path() / "scf.sna").string();
    write_file(sna, scf_snapshot());
    struct Case {
        std::vector<std::string> option;
        uint8_t f;
    };
    const Case cases[] = {{{}, 0x01},
                          {{"--cpu", "standard"}, 0x01},
                          {{"--cpu", "zilog"}, 0x29},
                          {{"--cpu=zilog"}, 0x29}};
    for (const Case& c : cases) {
        const std::string dump = (dir.path() / "f.bin").string();
        std::vector<std::string> args = {"--frames", "2", "--quiet", "--dump", "0x9000:1:" + dump};
        args.insert(args.end(), c.option.begin(), c.option.end());
        args.push_back(sna);
        const RunnerResult run = run_runner(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<uint8_t> f = read_file(dump);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(f[0], c.f) << (c.option.empty() ? "default" : c.option.back());
    }
    EXPECT_EQ(run_runner({"--cpu", "nec", "--frames", "1", "--quiet"}).status, 2);
}

// Each machine boots to its ROM's start-up line and runs as its hardware model (the 128K's
// snapshot holds all eight banks); the snapshot, named with a space and non-ASCII letters as
// a desktop passes such a file, loads back.
TEST_F(RunnerMachine, MachineOptionBootsEachMachine) {
    TempDir dir;
    const struct {
        const char* machine;
        uintmax_t snapshot_bytes;
    } CASES[] = {{"48", 49179u}, {"128", 131103u}, {"plus2", 131103u}};
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.machine);
        if (c.snapshot_bytes > 49179u && !file_exists("/usr/share/spectrum-roms/opense-stub.rom"))
            continue; // the free 128K pair is not installed
        const std::string name = std::string("boot ") + c.machine + " señal.sna";
        const RunnerResult run = run_runner(
            {"--machine", c.machine, "--frames", "150", "--text", "--save", name, "--quiet"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(written_rows(run),
                  std::vector<std::string>{" \x7f 1981 Nine Tiles Networks Ltd"});
        EXPECT_EQ(std::filesystem::file_size(dir.path() / name), c.snapshot_bytes);
        const RunnerResult loaded = run_runner({name, "--frames", "10", "--text", "--quiet"});
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        EXPECT_EQ(written_rows(loaded), written_rows(run));
    }
    const RunnerResult missing = run_runner({"--rom", "no such.rom", "--frames", "1", "--quiet"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such.rom"), std::string::npos) << missing.err;
}

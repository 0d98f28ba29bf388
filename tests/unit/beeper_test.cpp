// The beeper: a frame's speaker changes turned into 960 samples of the ring, and the audio
// callback's body that plays the ring.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
// The ring holds 16-bit stereo; the beeper's two levels 0x00 and 0xFF are -10965 and 10965
// on both sides before the output coupling (these levels were -32768 and 32512 until the
// sound was centred on 0). st() makes a sample of a level, lv() reads one back (-1 when the
// two sides differ).
StereoSample st(uint8_t level) { return beeper_sample(level); }
int lv(StereoSample x) { return x.left == x.right ? (x.left / BEEPER_HALF_STEP + 255) / 2 : -1; }

// These tests look for the beeper's levels where its changes put them: the coupling, which
// lets each level sink back to 0, is left out.
Session& beeper_session() {
    Session& s = fresh_session();
    s.sound.mix.coupling = false;
    return s;
}

struct Samples {  // a run of equal samples
    int from, to; // samples of the slot, inclusive
    uint8_t level;
};

struct ConversionCase {
    std::string name;
    int32_t tpf;
    std::vector<int32_t> changes;
    std::vector<Samples> samples;
    uint8_t level_after;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.name; }

// Ends the tests' machine's logical frame as the main loop does, through the session: the
// beeper fills the ring's slot of pulldown and publishes it (which advances pulldown).
void frame_end() {
    Session& s = test_session();
    s.machine.tstates = s.machine.tpf;
    s.render_logical_frame();
}

class BeeperConversion : public testing::TestWithParam<ConversionCase> {};

// Starting from level 0x00, in every slot of the ring.
TEST_P(BeeperConversion, FillsItsSlotOnly) {
    const ConversionCase& c = GetParam();
    for (int32_t slot = 0; slot < 5; slot++) {
        Session& s = beeper_session();
        Spectrum& m = s.machine;
        m.tpf = c.tpf;
        std::fill(std::begin(s.sound.AUDBUF), std::end(s.sound.AUDBUF), st(0x55));
        for (int32_t t : c.changes) m.OUTSTK.push(t);
        // As the main loop leaves them: the write end at pulldown's slot, everything played.
        m.pulldown = slot;
        s.sound.AUDPOSW = s.sound.AUDPOSR = slot * 960;
        frame_end();

        const int base = slot * 960;
        for (const Samples& run : c.samples)
            for (int k = run.from; k <= run.to; k++)
                ASSERT_EQ(lv(s.sound.AUDBUF[base + k]), run.level)
                    << "sample " << k << ", slot " << slot;
        for (int k = 0; k < AUDBUF_SIZE; k++) {
            if (k >= base && k < base + 960) continue;
            ASSERT_EQ(lv(s.sound.AUDBUF[k]), 0x55) << "outside the slot, " << k;
        }
        EXPECT_EQ(m.OUTAGE, c.level_after);
        EXPECT_EQ(lv(unpack_sample(s.sound.AUDDAT.load())), c.level_after);
        EXPECT_EQ(s.sound.AUDPOSW.load(), base + 960);
        EXPECT_EQ(m.OUTSTK.size(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BeeperConversion,
    testing::Values(
        ConversionCase{"no change", TPF_48, {}, {{0, 959, 0x00}}, 0x00},
        ConversionCase{"change at 0", TPF_48, {0}, {{0, 959, 0xFF}}, 0xFF},
        // Both at sample 13: a pulse shorter than a sample vanishes.
        ConversionCase{"cancelling pair", TPF_48, {1000, 1010}, {{0, 959, 0x00}}, 0x00},
        ConversionCase{"half a frame, then at tpf",
                       TPF_48,
                       {34944, 69888},
                       {{0, 479, 0x00}, {480, 959, 0xFF}},
                       0x00},
        // 72 * 960 / 69888 truncates to 0, 73 gives 1.
        ConversionCase{"one-sample pulse", TPF_48, {72, 73}, {{0, 0, 0xFF}, {1, 959, 0x00}}, 0x00},
        ConversionCase{"three changes",
                       TPF_48,
                       {7280, 14560, 69887},
                       {{0, 99, 0x00}, {100, 199, 0xFF}, {200, 958, 0x00}, {959, 959, 0xFF}},
                       0xFF},
        // Stamped by the instruction that crossed the frame end: only the next frame's level.
        ConversionCase{"past tpf", TPF_48, {69900}, {{0, 959, 0x00}}, 0xFF},
        // After a long tape block tstates can be millions of T-states on; such a change still
        // only sets the next frame's level.
        ConversionCase{"far past tpf", TPF_48, {3000000}, {{0, 959, 0x00}}, 0xFF},
        ConversionCase{"128K frame", TPF_128, {35454}, {{0, 479, 0x00}, {480, 959, 0xFF}}, 0xFF}));

TEST(Beeper, TheLevelCarriesIntoTheNextFrame) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    m.OUTSTK.push(34944);
    frame_end();
    m.pulldown = 1;
    frame_end(); // no change: the whole slot at the level the first frame ended with
    for (int k = 960; k < 1920; k++) ASSERT_EQ(lv(s.sound.AUDBUF[k]), 0xFF) << k;
    EXPECT_EQ(lv(unpack_sample(s.sound.AUDDAT.load())), 0xFF);
}

// The port writer's time stamps drive the conversion: the change is stamped after the first
// T-state of the OUT.
TEST(Beeper, SpeakerWritesBecomeSamples) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    m.tstates = 34943;
    m.writeport(0x00FE, 0x10);
    m.tstates = 69000;
    m.writeport(0x00FE, 0x10); // no change of bit 4
    ASSERT_EQ(m.OUTSTK.size(), 1);
    frame_end();
    EXPECT_EQ(lv(s.sound.AUDBUF[479]), 0x00);
    EXPECT_EQ(lv(s.sound.AUDBUF[480]), 0xFF);
    EXPECT_EQ(lv(s.sound.AUDBUF[959]), 0xFF);
}

TEST(Beeper, TheLastSlotEndsTheRingAndTheCallbackWrapsToIt) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    constexpr int32_t SLOTS = AUDBUF_SIZE / 960;
    for (int32_t slot = 0; slot < SLOTS; slot++) {
        s.sound.AUDPOSR = slot * 960; // the callback keeps up
        m.pulldown = slot;
        m.OUTSTK.push(0); // each frame inverts the level
        frame_end();
        EXPECT_EQ(s.sound.AUDPOSW.load(), (slot + 1) * 960);
    }
    // An even number of slots: the last one holds the level the first one started from.
    EXPECT_EQ(lv(s.sound.AUDBUF[AUDBUF_SIZE - 960]), 0x00);
    EXPECT_EQ(lv(s.sound.AUDBUF[AUDBUF_SIZE - 1]), 0x00);
    EXPECT_EQ(lv(s.sound.AUDBUF[AUDBUF_SIZE - 1920]), 0xFF);
    EXPECT_EQ(lv(unpack_sample(s.sound.AUDDAT.load())), 0x00);

    // The reader has played the whole ring: its end is the write end, met at 0.
    s.sound.AUDPOSR = AUDBUF_SIZE;
    StereoSample out[64];
    std::fill(std::begin(out), std::end(out), st(0x55));
    s.audio_fill(out, static_cast<int>(std::size(out)));
    for (StereoSample b : out) ASSERT_EQ(lv(b), 0x00);
    EXPECT_EQ(s.sound.AUDPOSR.load(), 0);
}

TEST(Beeper, CallbackPlaysTheRingThenHoldsTheLastLevel) {
    Session& s = beeper_session();
    for (int k = 0; k < AUDBUF_SIZE; k++) s.sound.AUDBUF[k] = st(static_cast<uint8_t>(k * 7));
    s.sound.AUDPOSW = 960;
    s.sound.AUDDAT = pack_sample(st(0xAB));
    s.sound.AUDPOSR = 0;
    StereoSample out[512];
    s.audio_fill(out, 512);
    for (int n = 0; n < 512; n++) ASSERT_EQ(lv(out[n]), static_cast<uint8_t>(n * 7)) << n;
    EXPECT_EQ(s.sound.AUDPOSR.load(), 512);
    // 448 samples are left before the write end; then the underrun holds AUDDAT.
    s.audio_fill(out, 512);
    for (int n = 0; n < 448; n++) ASSERT_EQ(lv(out[n]), static_cast<uint8_t>((512 + n) * 7)) << n;
    for (int n = 448; n < 512; n++) ASSERT_EQ(lv(out[n]), 0xAB) << n;
    EXPECT_EQ(s.sound.AUDPOSR.load(), 960);
    // Still waiting at the write end: all of the next request is the held level.
    s.audio_fill(out, 512);
    for (StereoSample b : out) ASSERT_EQ(lv(b), 0xAB);
    EXPECT_EQ(s.sound.AUDPOSR.load(), 960);
    // The next slot arrives, but playback resumes only once the ring holds the lead, now a
    // frame longer than at the start; then with the first sample after the gap.
    s.sound.AUDPOSW = 1920;
    s.audio_fill(out, 1);
    EXPECT_EQ(lv(out[0]), 0xAB);
    EXPECT_EQ(s.sound.AUDPOSR.load(), 960);
    s.sound.AUDPOSW = 960 + AUDIO_LEAD + 960;
    s.audio_fill(out, 1);
    EXPECT_EQ(lv(out[0]), static_cast<uint8_t>(960 * 7));
    // One gap, one underrun, however many calls it lasted.
    EXPECT_EQ(s.sound.audio_underruns.load(), 1u);
}

// An underrun that lasts: the last level is held for a frame's samples, then glides towards
// silence (0; the beeper's low level until the sound was centred) with no step bigger than the
// fade's own; when slots come again, playback starts from where the glide got to and returns to the
// ring's samples, which it then plays exactly. Each gap is one underrun.
TEST(Beeper, ALongUnderrunFadesAndPlaybackGlidesBack) {
    Session& s = beeper_session();
    std::fill(std::begin(s.sound.AUDBUF), std::end(s.sound.AUDBUF), st(0xFF));
    s.sound.AUDDAT = pack_sample(st(0xFF));
    s.sound.AUDPOSW = 960;
    s.sound.AUDPOSR = 0;
    std::vector<StereoSample> out;
    auto play = [&](int count) {
        for (int done = 0; done < count; done += 512) {
            StereoSample chunk[512];
            const int n = std::min(512, count - done);
            s.audio_fill(chunk, n);
            out.insert(out.end(), chunk, chunk + n);
        }
    };
    const int high = st(0xFF).left, low = SILENCE.left;
    // The biggest step of the glide: the whole swing times (1 - AUDIO_FADE), and a rounding.
    const double step = (high - low) * (1 - AUDIO_FADE) + 1;
    auto check_glide = [&](size_t from, size_t to, int direction) {
        for (size_t i = from + 1; i < to; i++) {
            ASSERT_EQ(out[i].left, out[i].right) << i;
            const int d = out[i].left - out[i - 1].left;
            ASSERT_GE(d * direction, 0) << "sample " << i << " turns back";
            ASSERT_LE(std::abs(d), step) << "sample " << i << " clicks";
        }
    };

    play(960 + 9600); // the slot, then 200 ms of nothing
    for (int i = 0; i < 960 + AUDIO_HOLD; i++) ASSERT_EQ(out[i].left, high) << i;
    EXPECT_LT(out[960 + AUDIO_HOLD].left, high) << "the fade begins after the hold";
    check_glide(960 + AUDIO_HOLD, out.size(), -1);
    EXPECT_NEAR(out.back().left, low, 2) << "200 ms later, silence";
    EXPECT_EQ(s.sound.audio_underruns.load(), 1u);
    EXPECT_EQ(s.sound.AUDPOSR.load(), 960);

    // Four slots at once (the lead after an underrun), then more: the glide back up takes
    // about 100 ms.
    const size_t resumed = out.size();
    s.sound.AUDPOSW = 960 + 3840;
    play(3840);
    EXPECT_NEAR(out[resumed].left, out[resumed - 1].left, step);
    check_glide(resumed - 1, out.size(), +1);
    s.sound.AUDPOSW = (4800 + 3840) % AUDBUF_SIZE; // wrapping round the ring's end
    play(3840);
    check_glide(resumed - 1, out.size(), +1);
    for (size_t i = out.size() - 1000; i < out.size(); i++) ASSERT_EQ(out[i].left, high) << i;
    EXPECT_EQ(s.sound.audio_underruns.load(), 1u);
    // Dry again: a second gap.
    play(512);
    EXPECT_EQ(s.sound.audio_underruns.load(), 2u);
}

TEST(Beeper, CallbackWrapsAroundTheRing) {
    Session& s = beeper_session();
    for (int k = 0; k < AUDBUF_SIZE; k++) s.sound.AUDBUF[k] = st(static_cast<uint8_t>(k));
    s.sound.AUDPOSW = 960;
    s.sound.AUDPOSR = AUDBUF_SIZE - 10;
    StereoSample out[20];
    s.audio_fill(out, 20);
    for (int n = 0; n < 10; n++) EXPECT_EQ(lv(out[n]), static_cast<uint8_t>(AUDBUF_SIZE - 10 + n));
    for (int n = 10; n < 20; n++) EXPECT_EQ(lv(out[n]), static_cast<uint8_t>(n - 10));
    EXPECT_EQ(s.sound.AUDPOSR.load(), 10);
}

// Paused or with the requester open: silence (0 on both sides; the beeper's low level until
// the sound was centred), and the read position stays where it is, so it never passes the
// write end; playing resumes from there.
TEST(Beeper, StoppedMachineIsSilentAndTheReadPositionHolds) {
    for (int flag = 0; flag < 2; flag++) {
        Session& s = beeper_session();
        for (int k = 0; k < AUDBUF_SIZE; k++) s.sound.AUDBUF[k] = st(static_cast<uint8_t>(k * 3));
        s.sound.AUDDAT = pack_sample(st(0xFF));
        s.sound.AUDPOSW = 4790;
        s.sound.AUDPOSR = 4700;
        (flag ? s.still_frame : s.file_requester_mode) = 1;
        StereoSample out[512];
        for (int call = 0; call < 20; call++) {
            std::fill(std::begin(out), std::end(out), st(0x55));
            s.audio_fill(out, 512);
            for (StereoSample b : out) ASSERT_EQ(b, SILENCE);
            ASSERT_EQ(s.sound.AUDPOSR.load(), 4700) << "call " << call;
        }
        (flag ? s.still_frame : s.file_requester_mode) = 0;
        s.audio_fill(out, 100);
        for (int n = 0; n < 90; n++)
            ASSERT_EQ(lv(out[n]), static_cast<uint8_t>((4700 + n) * 3)) << n;
        for (int n = 90; n < 100; n++) ASSERT_EQ(lv(out[n]), 0xFF) << n;
        EXPECT_EQ(s.sound.AUDPOSR.load(), 4790);
    }
}

// The writer fills the slot after the write end only when the callback's unread samples
// and it fit in the ring: a callback four frames behind keeps what it has not played, the
// write end stays, and that frame is not heard (its samples are still kept for the runner).
TEST(Beeper, TheWriterLeavesTheSamplesTheCallbackHasNotPlayed) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    std::fill(std::begin(s.sound.AUDBUF), std::end(s.sound.AUDBUF), st(0x55));
    s.sound.AUDPOSW = 1920;
    s.sound.AUDPOSR = 1920 + 100; // all but 100 samples unread, from slot 2 round to slot 1
    for (int frame = 0; frame < 2; frame++) {
        m.OUTSTK.push(0);
        frame_end();
        EXPECT_EQ(s.sound.AUDPOSW.load(), 1920) << "frame " << frame;
        for (int k = 0; k < AUDBUF_SIZE; k++) ASSERT_EQ(lv(s.sound.AUDBUF[k]), 0x55) << k;
    }
    for (StereoSample b : s.sound.FRAME_SAMPLES)
        ASSERT_EQ(lv(b), 0x00) << "the second frame's level";

    // Played into slot 3: slot 2 fits again (all but 1060 unread before it, all but 100
    // after)...
    s.sound.AUDPOSR = 2880 + 100;
    m.OUTSTK.push(0);
    frame_end();
    EXPECT_EQ(s.sound.AUDPOSW.load(), 2880);
    for (int k = 1920; k < 2880; k++) ASSERT_EQ(lv(s.sound.AUDBUF[k]), 0xFF) << k;
    // ... slot 3 not: it holds the sample the callback plays next.
    frame_end();
    EXPECT_EQ(s.sound.AUDPOSW.load(), 2880);
    EXPECT_EQ(lv(s.sound.AUDBUF[2880]), 0x55);
}

// All slots but one unread: one more would fill the ring to its last sample and put the
// write end on the read position, where the callback would see an empty ring and skip them
// all. The frame is not written, and the callback plays what the ring holds.
TEST(Beeper, TheWriterNeverFillsTheRingToTheReadPosition) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    std::fill(std::begin(s.sound.AUDBUF), std::end(s.sound.AUDBUF), st(0x55));
    s.sound.AUDPOSR = 960;
    s.sound.AUDPOSW = AUDBUF_SIZE;
    m.OUTSTK.push(0);
    frame_end();
    EXPECT_EQ(s.sound.AUDPOSW.load(), AUDBUF_SIZE);
    StereoSample out[512];
    for (int call = 0; call < 7; call++) s.audio_fill(out, 512);
    EXPECT_EQ(s.sound.AUDPOSR.load(), 4544);
    EXPECT_EQ(s.sound.audio_underruns.load(), 0u);
}

// The emulation thread and the audio callback at once, the machine paused and resumed in
// between: the callback never plays a sample no frame wrote (the ring starts with a sample
// whose sides differ, which neither the beeper nor an underrun's fade ever makes), and while
// paused its read position stays. The two threads agree
// on nothing but the ring (the test's own counters are relaxed, which orders nothing), so a
// ThreadSanitizer build (CI) sees any access to the ring the ring's design leaves unordered.
TEST(BeeperThreads, TheCallbackNeverPassesTheWriter) {
    Session& s = beeper_session();
    Spectrum& m = s.machine;
    const StereoSample unwritten_sample{0x1234, -0x1234};
    std::fill(std::begin(s.sound.AUDBUF), std::end(s.sound.AUDBUF), unwritten_sample);
    constexpr auto relaxed = std::memory_order_relaxed;
    std::atomic<bool> done{false};
    std::atomic<int> calls{0};
    int unwritten = 0; // the callback's own, read after the join
    long played = 0;
    std::thread callback([&] {
        StereoSample out[256];
        while (!done.load(relaxed)) {
            const bool stopped = s.still_frame.load() != 0;
            s.audio_fill(out, static_cast<int>(std::size(out)));
            for (StereoSample b : out) {
                if (b == unwritten_sample) unwritten++;
                if (!stopped && lv(b) == 0xFF) played++;
            }
            calls.fetch_add(1, relaxed);
            std::this_thread::yield();
        }
    });
    const auto wait_for_calls = [&](int n) {
        const int target = calls.load(relaxed) + n;
        while (calls.load(relaxed) < target) std::this_thread::yield();
    };
    std::vector<int32_t> held_positions;
    for (int frame = 0; frame < 200; frame++) {
        // Paused after two frames, with three slots never written: a callback that moved on
        // while paused would be past the write end when play resumes.
        if (frame == 2 || frame == 100) {
            s.still_frame = 1;
            wait_for_calls(2); // a call begun before the pause has ended
            held_positions.push_back(s.sound.AUDPOSR.load(relaxed));
            wait_for_calls(40);
            held_positions.push_back(s.sound.AUDPOSR.load(relaxed));
            s.still_frame = 0;
        }
        m.OUTSTK.push(0); // a frame of 0xFF, then one of 0x00
        frame_end();
        if (frame % 4 == 0) wait_for_calls(2);
    }
    wait_for_calls(40);
    done = true;
    callback.join();
    EXPECT_EQ(unwritten, 0);
    EXPECT_GT(played, 0);
    ASSERT_EQ(held_positions.size(), 4u);
    EXPECT_EQ(held_positions[1], held_positions[0]) << "moved while paused";
    EXPECT_EQ(held_positions[3], held_positions[2]) << "moved while paused";
}
} // namespace

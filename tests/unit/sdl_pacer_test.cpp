// The full-screen host's frame clock: deadlines on a fixed 1/60 s grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "host/sdl/pacer.h"

namespace {
using clock = FramePacer::clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

const clock::time_point T0 = clock::time_point(seconds(1000));

// Frame n ends n/60 s after the start, exactly: neither the rounding of a 16.666... ms step
// nor waking up a little late (here 1 ms each time) adds up, however long the run.
TEST(FramePacer, DeadlinesLieOnAGridWithoutDrift) {
    FramePacer pacer;
    pacer.start(T0);
    clock::time_point deadline = T0;
    for (int n = 1; n <= 3600; n++) {
        deadline = pacer.next_deadline(deadline + milliseconds(1));
        if (n == 1) {
            EXPECT_EQ(deadline - T0, nanoseconds(16666666));
        }
        if (n == 60) {
            EXPECT_EQ(deadline - T0, seconds(1));
        }
    }
    EXPECT_EQ(deadline - T0, seconds(60));
    EXPECT_EQ(pacer.resyncs(), 0u);
}

// A frame that ends a little late gets no hold, and the next ones catch the grid up, so the
// average rate stays 60 a second; one more than a second behind starts a new grid from now.
// A single long gap (the process stopped) does not make the host a slow one.
TEST(FramePacer, CatchesUpSmallDelaysAndRestartsAfterLongOnes) {
    struct Case {
        milliseconds late; // how long after the 10th deadline the 11th frame ends
        bool restarts;
    };
    for (const Case c : {Case{milliseconds(30), false}, Case{milliseconds(100), false},
                         Case{milliseconds(450), false}, Case{milliseconds(950), false},
                         Case{milliseconds(1100), true}, Case{milliseconds(5000), true}}) {
        FramePacer pacer;
        pacer.start(T0);
        clock::time_point deadline;
        for (int n = 1; n <= 10; n++) deadline = pacer.next_deadline(T0 + milliseconds(n * 16));
        const clock::time_point now = deadline + c.late;
        const clock::time_point next = pacer.next_deadline(now);
        if (c.restarts) {
            EXPECT_EQ(next - now, nanoseconds(16666666)) << c.late.count() << " ms late";
            EXPECT_EQ(pacer.resyncs(), 1u);
            EXPECT_EQ(pacer.slow_resyncs(), 0u);
        } else {
            EXPECT_EQ(next - T0, nanoseconds(11 * 1000000000LL / 60)) << c.late.count();
            EXPECT_LT(next, now) << "a late frame should not be held";
            EXPECT_EQ(pacer.resyncs(), 0u);
        }
    }
}
// The grid begins when the program does: the frames of start-up are made up without a
// hold, then the grid holds; start-up slower than the limit starts the grid at the first
// frame instead.
TEST(FramePacer, StartUpFramesAreMadeUpFromTheProgramsStart) {
    FramePacer pacer;
    const clock::time_point window_ready = T0 + milliseconds(200);
    pacer.start_from(T0, window_ready, seconds(1));
    clock::time_point now = window_ready;
    int unheld = 0;
    for (int n = 1; n <= 60; n++) {
        now += milliseconds(2); // each frame takes 2 ms to make and show
        const clock::time_point deadline = pacer.next_deadline(now);
        EXPECT_EQ(deadline - T0, nanoseconds(n * 1000000000LL / 60)) << "frame " << n;
        if (deadline <= now) unheld++;
        else now = deadline;
    }
    EXPECT_EQ(unheld, 13); // 200 ms of frames, caught up 2 ms at a time
    EXPECT_EQ(pacer.resyncs(), 0u);

    FramePacer slow;
    slow.start_from(T0, T0 + seconds(3), seconds(1));
    EXPECT_EQ(slow.next_deadline(T0 + seconds(3)) - (T0 + seconds(3)), nanoseconds(16666666));
}

// A host whose showing of a frame takes `show` and whose running of one takes `run`, for
// `frames` frames from T0 as the full-screen host drives the pacer.
struct HostRun {
    int shown = 0, skipped = 0, most_in_a_row = 0;
    clock::time_point end;
    uint64_t resyncs = 0, slow = 0;
};
HostRun run_host(milliseconds show, milliseconds run, int frames) {
    FramePacer pacer;
    pacer.start(T0);
    HostRun r;
    clock::time_point now = T0;
    int in_a_row = 0;
    for (int n = 0; n < frames; n++) {
        now += run;
        if (pacer.skip(now, 5)) {
            r.skipped++;
            r.most_in_a_row = std::max(r.most_in_a_row, ++in_a_row);
            continue;
        }
        in_a_row = 0;
        r.shown++;
        now += show;
        pacer.shown(show);
        now = std::max(now, pacer.next_deadline(now));
    }
    r.end = now;
    r.resyncs = pacer.resyncs();
    r.slow = pacer.slow_resyncs();
    return r;
}

// However long a frame takes to show, 600 frames take 10 s as long as the host can run them
// with one frame in six shown: the others are skipped, never more than five in a row. A
// host that shows a frame in less than a frame's time skips none; one barely too slow
// skips few.
TEST(FramePacer, SkipsShowingLateFramesAndKeepsTheMachinesTime) {
    struct Case {
        milliseconds show;
        int least_shown, most_shown;
    };
    for (const Case c : {Case{milliseconds(5), 600, 600}, Case{milliseconds(20), 450, 560},
                         Case{milliseconds(45), 100, 300}, Case{milliseconds(80), 100, 125}}) {
        SCOPED_TRACE(std::to_string(c.show.count()) + " ms to show a frame");
        const HostRun r = run_host(c.show, milliseconds(1), 600);
        EXPECT_EQ(r.shown + r.skipped, 600);
        EXPECT_GE(r.shown, c.least_shown);
        EXPECT_LE(r.shown, c.most_shown);
        EXPECT_LE(r.most_in_a_row, 5);
        // The last frame ends on the grid, or (skipped, or late) within showing one frame
        // and the tolerance of it: never sooner, never much later.
        EXPECT_GT(r.end - T0, seconds(10) - c.show - milliseconds(20));
        EXPECT_LT(r.end - T0, seconds(10) + c.show + milliseconds(20));
        EXPECT_EQ(r.resyncs, 0u);
    }
}

// The first frame is shown however late it is (the renderer's slow first frame is taken
// before the sound starts); later ones that late are skipped.
TEST(FramePacer, TheFirstFrameIsAlwaysShown) {
    FramePacer pacer;
    pacer.start(T0);
    const clock::time_point late = T0 + milliseconds(200);
    EXPECT_FALSE(pacer.skip(late, 5));
    pacer.shown(milliseconds(40));
    pacer.next_deadline(late + milliseconds(40));
    EXPECT_TRUE(pacer.skip(late + milliseconds(41), 5));
}

// A host that cannot even run six frames in the time of six (one shown at 150 ms, five
// skipped) falls behind gradually: the grid is restarted, and the host counts as slow.
TEST(FramePacer, AHostTooSlowEvenSkippingIsSlow) {
    const HostRun r = run_host(milliseconds(150), milliseconds(1), 600);
    EXPECT_EQ(r.most_in_a_row, 5);
    EXPECT_GE(r.resyncs, 1u);
    EXPECT_EQ(r.slow, r.resyncs);
    EXPECT_GT(r.end - T0, seconds(14)); // the machine runs slow: 100 frames of 150 ms
}
} // namespace

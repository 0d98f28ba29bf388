// The full-screen host's frame clock: deadlines on a fixed 1/60 s grid.
#include <gtest/gtest.h>

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
// average rate stays 60 a second; one far behind starts a new grid from now.
TEST(FramePacer, CatchesUpSmallDelaysAndRestartsAfterLongOnes) {
    struct Case {
        milliseconds late; // how long after the 10th deadline the 11th frame ends
        bool restarts;
    };
    for (const Case c : {Case{milliseconds(30), false}, Case{milliseconds(100), false},
                         Case{milliseconds(450), false}, Case{milliseconds(600), true},
                         Case{milliseconds(5000), true}}) {
        FramePacer pacer;
        pacer.start(T0);
        clock::time_point deadline;
        for (int n = 1; n <= 10; n++) deadline = pacer.next_deadline(T0 + milliseconds(n * 16));
        const clock::time_point now = deadline + c.late;
        const clock::time_point next = pacer.next_deadline(now);
        if (c.restarts) {
            EXPECT_EQ(next - now, nanoseconds(16666666)) << c.late.count() << " ms late";
            EXPECT_EQ(pacer.resyncs(), 1u);
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
} // namespace

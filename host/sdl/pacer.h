// Holding each displayed frame to 1/60 s of real time.
//
// The machine runs 58240 T-states per displayed frame and relies on 60 of them a second.
// A buffer swap waits for the display's refresh only on a 60 Hz display with swap control
// honoured; elsewhere (75, 120 or 144 Hz, a compositor that ignores the request, Xvfb) it
// returns early and the frame is held by the clock instead. The deadlines form a fixed grid
// from the last resynchronisation, frame n ending at start + n / 60 s exactly, so neither
// rounding nor late wake-ups accumulate over minutes. A frame that ends late is followed
// by frames without a hold until the grid is caught up, so that a busy moment of the
// computer costs the machine no time; one more than half a second late (the process was
// stopped, the computer was suspended) starts a new grid from now instead of racing
// through the time it missed.
//
// The first grid starts when the program does, not when its window is ready: the machine
// is switched on with the program, and the frames of the fraction of a second that start-up
// takes are run without a hold until the grid is caught up. 50 logical frames a second then
// hold from the moment the program is started.
#pragma once

#include <chrono>
#include <cstdint>

class FramePacer {
  public:
    using clock = std::chrono::steady_clock;

    explicit FramePacer(int frames_per_second = 60, int resync_after_frames = 30)
        : rate(frames_per_second), resync_after(resync_after_frames) {}

    // A new grid: the frame shown at `now` is frame 0.
    void start(clock::time_point now) {
        base = now;
        count = 0;
        catching_up = false;
    }

    // The first grid, begun at `origin` (the program's start), the frame shown at `now` being
    // its frame 0: the frames behind it run without a hold until it is caught up, as long as
    // start-up took less than `longest`; otherwise the grid starts at `now`.
    void start_from(clock::time_point origin, clock::time_point now, clock::duration longest) {
        start(now - origin > longest ? now : origin);
        catching_up = base < now;
    }

    // The frame just shown at `now` ends at the returned time: the caller sleeps until then
    // if it is still ahead.
    clock::time_point next_deadline(clock::time_point now) {
        count++;
        clock::time_point deadline = deadline_of(count);
        if (catching_up) {
            // Start-up's frames are made up, unless a display that waits for its refresh at
            // every swap never lets them be: then the grid is simply late.
            if (deadline > now || count > CATCH_UP_FRAMES) catching_up = false;
            else return deadline;
        }
        if (now - deadline > resync_after * frame_length()) {
            start(now);
            count = 1;
            resync_count++;
            deadline = deadline_of(count);
        }
        return deadline;
    }

    // Whether the frame about to be shown at `now` would already end late: its deadline on
    // the grid has passed.
    bool behind(clock::time_point now) const { return now > deadline_of(count + 1); }

    // Grids restarted so far because a frame ended too late.
    uint64_t resyncs() const { return resync_count; }

  private:
    static constexpr uint64_t CATCH_UP_FRAMES = 120;

    clock::duration frame_length() const {
        return std::chrono::duration_cast<clock::duration>(std::chrono::seconds(1)) / rate;
    }
    clock::time_point deadline_of(uint64_t n) const {
        // n / rate seconds in whole clock ticks, rounded down; exact at every whole second.
        const auto ticks_per_second =
            std::chrono::duration_cast<clock::duration>(std::chrono::seconds(1)).count();
        return base + clock::duration(static_cast<clock::rep>(n) * ticks_per_second / rate);
    }

    int rate;
    int resync_after;
    clock::time_point base{};
    uint64_t count = 0;
    uint64_t resync_count = 0;
    bool catching_up = false;
};

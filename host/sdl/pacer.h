// Holding each displayed frame to 1/60 s of real time.
//
// The machine runs 58240 T-states per displayed frame and relies on 60 of them a second.
// A buffer swap waits for the display's refresh only on a 60 Hz display with swap control
// honoured; elsewhere (75, 120 or 144 Hz, a compositor that ignores the request, Xvfb) it
// returns early and the frame is held by the clock instead. The deadlines form a fixed grid
// from the last resynchronisation, frame n ending at start + n / 60 s exactly, so neither
// rounding nor late wake-ups accumulate over minutes. A frame that ends late is followed
// by frames without a hold until the grid is caught up; one more than a few frames late
// (the process was stopped, the machine was busy) starts a new grid from now instead of
// racing to catch up.
#pragma once

#include <chrono>
#include <cstdint>

class FramePacer {
  public:
    using clock = std::chrono::steady_clock;

    explicit FramePacer(int frames_per_second = 60, int resync_after_frames = 4)
        : rate(frames_per_second), resync_after(resync_after_frames) {}

    // A new grid: the frame shown at `now` is frame 0.
    void start(clock::time_point now) {
        base = now;
        count = 0;
    }

    // The frame just shown at `now` ends at the returned time: the caller sleeps until then
    // if it is still ahead.
    clock::time_point next_deadline(clock::time_point now) {
        count++;
        clock::time_point deadline = deadline_of(count);
        if (now - deadline > resync_after * frame_length()) {
            start(now);
            count = 1;
            resync_count++;
            deadline = deadline_of(count);
        }
        return deadline;
    }

    // Grids restarted so far because a frame ended too late.
    uint64_t resyncs() const { return resync_count; }

  private:
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
};

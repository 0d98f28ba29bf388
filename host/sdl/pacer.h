// Holding each displayed frame to 1/60 s of real time.
//
// The machine runs 58240 T-states per displayed frame and relies on 60 of them a second.
// A buffer swap waits for the display's refresh only on a 60 Hz display with swap control
// honoured; elsewhere (75, 120 or 144 Hz, a compositor that ignores the request, Xvfb) it
// returns early and the frame is held by the clock instead. The deadlines form a fixed grid
// from the last resynchronisation, frame n ending at start + n / 60 s exactly, so neither
// rounding nor late wake-ups accumulate over minutes. A frame that ends late is followed
// by frames without a hold until the grid is caught up, so that a busy moment of the
// computer costs the machine no time; one more than a second late (the process was
// stopped, the computer was suspended) starts a new grid from now instead of racing
// through the time it missed.
//
// A host too slow to show 60 frames a second (a software renderer on a busy computer, whose
// buffer swap takes 15 to 70 ms and now and then much longer) skips showing the frames that
// would end too late, a few in a row at most, so that the machine keeps its time. Whether a
// frame would end too late is judged by what showing the last frames took: a host that
// needs several frames' time to show one shows no more of them than the bound lets it
// skip, and keeps the rest of its time for running the machine and catching up after a
// stall; a host barely too slow shows most frames.
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

    explicit FramePacer(int frames_per_second = 60, int resync_after_frames = 60)
        : rate(frames_per_second), resync_after(resync_after_frames) {}

    // A new grid: the frame shown at `now` is frame 0.
    void start(clock::time_point now) {
        base = now;
        previous = now;
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
            if (deadline > now || count > CATCH_UP_FRAMES) {
                catching_up = false;
            } else {
                previous = now;
                return deadline;
            }
        }
        if (now - deadline > resync_after * frame_length()) {
            // Late by many frames but not through one long gap: the frames before this one
            // fell behind one after another, with every frame that could be skipped skipped.
            if (now - previous < resync_after * frame_length() / 2) slow_count++;
            start(now);
            count = 1;
            resync_count++;
            deadline = deadline_of(count);
        }
        previous = now;
        return deadline;
    }

    // Whether to skip composing and swapping the frame about to be shown at `now`: showing
    // it as long as the last frames took would end it more than a frame late, and fewer
    // than `most_in_a_row` frames before it were skipped, so that the screen still moves. A
    // skipped frame keeps its place on the grid.
    // The first frame is always shown: the renderer's first frame (its shaders compiled) may
    // take many times as long as the others, and is better taken before the audio device
    // starts than while it plays.
    bool skip(clock::time_point now, int most_in_a_row) {
        const bool too_late = any_shown && now + showing > deadline_of(count + 1) + tolerance();
        if (!too_late || skipped_in_a_row >= most_in_a_row) {
            skipped_in_a_row = 0;
            return false;
        }
        skipped_in_a_row++;
        next_deadline(now);
        return true;
    }

    // A frame was composed and swapped in `took`: the estimate of what the next one takes
    // follows it (an average over the last eight or so).
    void shown(clock::duration took) {
        showing += (took - showing) / 8;
        any_shown = true;
    }

    // Grids restarted so far because a frame ended too late.
    uint64_t resyncs() const { return resync_count; }
    // Of those, the ones the host fell behind into gradually: it cannot run the machine at
    // full speed (a single long gap, the process stopped or the computer suspended, is not
    // counted).
    uint64_t slow_resyncs() const { return slow_count; }

  private:
    static constexpr uint64_t CATCH_UP_FRAMES = 120;
    // How late a shown frame may end: one frame. Late frames are caught up by the frames
    // after them, so this is no loss of the machine's time, only room for a host whose swap
    // takes a little longer than a frame to show most frames; the sound, made as the frames
    // run, is then late by as much, which the audio ring's lead covers.
    clock::duration tolerance() const { return frame_length(); }

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
    uint64_t slow_count = 0;
    int skipped_in_a_row = 0;
    clock::duration showing{}; // what showing a frame takes, lately
    bool any_shown = false;
    clock::time_point previous{}; // when the previous frame ended
    bool catching_up = false;
};

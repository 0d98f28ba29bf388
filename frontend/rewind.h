// The rewind ring: the machine's state after every logical frame of the last seconds, so
// that the player can go back in time.
//
// A state is the machine's hardware as a channel image (formats/formats.h), about 147 KB.
// The ring holds the newest image whole and, for every older state, only the way back to it
// from the state after it: the bytes where the two differ, with the older one's values. A
// frame changes little (the CPU writes at most about 12 KB of RAM in a frame), so a step back
// is one small patch, whatever the distance to the oldest state. Large patches are deflated
// (zlib at its fastest level) when that makes them smaller.
//
// The tape image and its blocks are no part of a state: they stay attached to the machine,
// and a state restored with the tape it was taken with goes on where the deck was. The
// caller clears the ring when another machine is loaded, so that rewinding never crosses
// into a machine the player has left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class Spectrum;

class RewindRing {
  public:
    // The machine's logical frames a second (both models run at 50 Hz to within 0.02%).
    static constexpr int FRAMES_PER_SECOND = 50;
    static constexpr int DEFAULT_SECONDS = 60;
    static constexpr size_t DEFAULT_BUDGET = size_t{64} << 20;
    // A patch of at least this many bytes is offered to zlib; a smaller one stays as it is
    // (deflating it would cost more time than the memory it saves).
    static constexpr size_t DEFAULT_DEFLATE_FROM = 512;

    // Holds up to `seconds` of history (0: none, push does nothing), within `budget` bytes:
    // when over either, the oldest states go first.
    explicit RewindRing(int seconds = DEFAULT_SECONDS, size_t budget = DEFAULT_BUDGET,
                        size_t deflate_from = DEFAULT_DEFLATE_FROM);

    // Takes the machine's state, the newest from now on. Called after each logical frame.
    void push(const Spectrum& m);
    // Restores the state before the newest and drops the newest: the machine is then equal
    // (==) to the one pushed one frame earlier. False, the machine untouched, when the ring
    // holds no older state.
    bool step_back(Spectrum& m) { return rewind(m, 1); }
    // Goes back `frames` states (as far as the oldest when it holds fewer), dropping the
    // newer ones, and restores the state reached. False, the machine untouched, when there
    // is no older state or `frames` is not positive.
    bool rewind(Spectrum& m, int frames);
    void clear();

    // The states held (the newest included), and the time they span: how far back the
    // machine can go.
    size_t size() const { return patches_.size() + (newest_.empty() ? 0 : 1); }
    double seconds() const {
        return static_cast<double>(patches_.size()) / static_cast<double>(FRAMES_PER_SECOND);
    }
    // The memory the ring holds, in bytes.
    size_t memory() const { return memory_ + newest_.capacity() + scratch_.capacity(); }
    int limit_seconds() const { return seconds_; }

  private:
    // The way back from a state to the one before it.
    struct Patch {
        std::vector<uint8_t> bytes; // the runs (see rewind.cpp), deflated or not
        uint32_t older_size = 0;    // the older image's length
        uint32_t runs_size = 0;     // the runs' length before deflating; 0: not deflated
        size_t held() const;
    };

    Patch make_patch(const std::vector<uint8_t>& older, const std::vector<uint8_t>& newer) const;
    // Takes `image` back to the older state; false when the patch does not fit it.
    bool apply(const Patch& p, std::vector<uint8_t>& image);
    void drop_oldest();

    int seconds_;
    size_t budget_;
    size_t deflate_from_;
    std::vector<uint8_t> newest_;
    std::deque<Patch> patches_;    // oldest first
    size_t memory_ = 0;            // the patches'
    std::vector<uint8_t> scratch_; // the inflated runs of a patch being applied
};

// The rewind ring (frontend/rewind.h).
//
// A patch takes a newer image back to the older one. It is a list of runs, each two numbers
// (7 bits a byte, the low bits first, the top bit set where another byte follows) and the
// older image's bytes:
//   the bytes the two images share before the run, the run's length, the run's bytes.
// Where the older image is longer than the newer, its tail is one run; where it is shorter,
// the image is cut to its length first. The runs are then deflated when that pays.
#include "frontend/rewind.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "formats/formats.h"
#include "spectrum/machine.h"

namespace {
// Equal stretches shorter than this stay inside a run: ending a run and starting the next
// costs two or more bytes of numbers, and splitting at every equal byte costs time as well.
constexpr size_t SHORTEST_GAP = 8;
// What the allocator keeps beside each block it hands out, as far as the budget is concerned.
constexpr size_t BLOCK_OVERHEAD = 16;

void put_number(std::vector<uint8_t>& out, size_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<uint8_t>(v | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<uint8_t>(v));
}

// The number at `at`, moved past; false when the runs end inside it or it is too long.
bool get_number(const uint8_t* in, size_t size, size_t& at, size_t& v) {
    v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (at >= size) return false;
        const uint8_t b = in[at++];
        v |= static_cast<size_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

// The first place from `from` on, before `to`, where a and b differ; `to` where none does.
// Eight bytes at a time: most of a frame's image is the RAM, and most of it is as it was.
size_t first_difference(const uint8_t* a, const uint8_t* b, size_t from, size_t to) {
    while (from + 8 <= to) {
        uint64_t x, y;
        std::memcpy(&x, a + from, 8);
        std::memcpy(&y, b + from, 8);
        if (x != y) break;
        from += 8;
    }
    while (from < to && a[from] == b[from]) from++;
    return from;
}
} // namespace

size_t RewindRing::Patch::held() const { return bytes.capacity() + sizeof(Patch) + BLOCK_OVERHEAD; }

RewindRing::RewindRing(int seconds, size_t budget, size_t deflate_from)
    : seconds_(std::max(seconds, 0)), budget_(budget), deflate_from_(deflate_from) {}

RewindRing::Patch RewindRing::make_patch(const std::vector<uint8_t>& older,
                                         const std::vector<uint8_t>& newer) const {
    const size_t n = older.size(), common = std::min(n, newer.size());
    const uint8_t* a = older.data();
    const uint8_t* b = newer.data();
    std::vector<uint8_t> runs;
    size_t at = 0;
    while (at < n) {
        const size_t start = first_difference(a, b, at, common);
        if (start >= n) break;
        // The run goes on over differing bytes and short equal stretches; past the newer
        // image's end every byte is the older one's own.
        size_t end = start;
        while (end < n) {
            if (end >= common) {
                end = n;
                break;
            }
            if (a[end] != b[end]) {
                end++;
                continue;
            }
            size_t same = end;
            while (same < common && same - end < SHORTEST_GAP && a[same] == b[same]) same++;
            if (same - end >= SHORTEST_GAP || same == n) break;
            end = same;
        }
        put_number(runs, start - at);
        put_number(runs, end - start);
        runs.insert(runs.end(), a + start, a + end);
        at = end;
    }

    Patch p;
    p.older_size = static_cast<uint32_t>(n);
    if (runs.size() >= deflate_from_) {
        uLongf packed_size = compressBound(static_cast<uLong>(runs.size()));
        std::vector<uint8_t> packed(packed_size);
        if (compress2(packed.data(), &packed_size, runs.data(), static_cast<uLong>(runs.size()),
                      Z_BEST_SPEED) == Z_OK &&
            packed_size < runs.size()) {
            p.bytes.assign(packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packed_size));
            p.runs_size = static_cast<uint32_t>(runs.size());
            return p;
        }
    }
    // A copy of its own length: the budget counts what is held, not what was reserved.
    p.bytes.assign(runs.begin(), runs.end());
    return p;
}

bool RewindRing::apply(const Patch& p, std::vector<uint8_t>& image) {
    const uint8_t* runs = p.bytes.data();
    size_t size = p.bytes.size();
    if (p.runs_size) {
        scratch_.resize(p.runs_size);
        uLongf unpacked = p.runs_size;
        if (uncompress(scratch_.data(), &unpacked, p.bytes.data(),
                       static_cast<uLong>(p.bytes.size())) != Z_OK ||
            unpacked != p.runs_size)
            return false;
        runs = scratch_.data();
        size = unpacked;
    }
    image.resize(p.older_size);
    size_t in = 0, out = 0;
    while (in < size) {
        size_t skip, length;
        if (!get_number(runs, size, in, skip) || !get_number(runs, size, in, length) ||
            length > size - in || skip > image.size() - out || length > image.size() - out - skip)
            return false;
        out += skip;
        std::memcpy(image.data() + out, runs + in, length);
        in += length;
        out += length;
    }
    return true;
}

void RewindRing::push(const Spectrum& m) {
    if (seconds_ == 0) return;
    std::vector<uint8_t> image = channel_image(m);
    if (!newest_.empty()) {
        patches_.push_back(make_patch(newest_, image));
        memory_ += patches_.back().held();
    }
    newest_ = std::move(image);
    const size_t most = static_cast<size_t>(seconds_) * FRAMES_PER_SECOND;
    while (!patches_.empty() && (patches_.size() > most || memory() > budget_)) drop_oldest();
}

void RewindRing::drop_oldest() {
    memory_ -= patches_.front().held();
    patches_.pop_front();
}

bool RewindRing::rewind(Spectrum& m, int frames) {
    if (frames <= 0 || patches_.empty()) return false;
    const size_t steps = std::min(static_cast<size_t>(frames), patches_.size());
    for (size_t i = 0; i < steps; i++) {
        const bool applied = apply(patches_.back(), newest_);
        memory_ -= patches_.back().held();
        patches_.pop_back();
        // A patch that does not fit leaves no state to trust (the memory the ring was given
        // has been overwritten, or zlib ran out of memory): the history is gone, and the
        // machine stays as it is rather than taking a state nobody had.
        if (!applied) {
            clear();
            return false;
        }
    }
    if (!channel_usable(newest_)) {
        clear();
        return false;
    }
    restore_channel(m, newest_);
    return true;
}

void RewindRing::clear() {
    patches_.clear();
    newest_ = {};
    scratch_ = {};
    memory_ = 0;
}

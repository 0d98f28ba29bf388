// A logical frame's list of events (speaker changes, border changes), at most CAP of them.
//
// The worst case (an OUT every 11 T-states) is thousands of events, a frame of ordinary
// programs a handful: the list holds what was recorded, not the worst case, so that a copy
// of a machine (a rewind step, a run-ahead copy) copies and compares only what it holds.
// A new list reserves the whole CAP once, and an assigned one keeps what it had, so the
// machine that runs records without allocating; only a copy made by construction starts
// small and grows once, should it be run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

template <class T, size_t CAP> class FrameEvents {
  public:
    static constexpr size_t capacity = CAP;

    FrameEvents() { items_.reserve(CAP); }
    FrameEvents(const FrameEvents& other) = default;
    FrameEvents& operator=(const FrameEvents& other) {
        items_.assign(other.items_.begin(), other.items_.end());
        return *this;
    }
    bool operator==(const FrameEvents& other) const = default;

    // Records an event; one past CAP is dropped (false).
    bool push(const T& event) {
        if (items_.size() >= CAP) return false;
        items_.push_back(event);
        return true;
    }
    bool full() const { return items_.size() >= CAP; }
    int32_t size() const { return static_cast<int32_t>(items_.size()); }
    bool empty() const { return items_.empty(); }
    void clear() { items_.clear(); }
    // Keeps the first n.
    void truncate(int32_t n) { items_.resize(static_cast<size_t>(n)); }
    T& operator[](int32_t i) { return items_[static_cast<size_t>(i)]; }
    const T& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
    const T* begin() const { return items_.data(); }
    const T* end() const { return items_.data() + items_.size(); }

  private:
    std::vector<T> items_;
};

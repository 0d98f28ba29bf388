// Immutable data a machine and its copies share (the tape image, the deck's blocks): set
// whole and never changed in place, so a copy of the machine shares it instead of copying
// it, and whatever changes it makes a new one. Two are equal when they are the same data, or
// hold the same.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

template <class T> class SharedVector {
  public:
    SharedVector() = default;
    SharedVector(std::vector<T> items) { *this = std::move(items); }
    SharedVector& operator=(std::vector<T> items) {
        data_ = items.empty() ? nullptr : std::make_shared<const std::vector<T>>(std::move(items));
        return *this;
    }
    void clear() { data_.reset(); }

    const std::vector<T>& get() const { return data_ ? *data_ : none(); }
    size_t size() const { return get().size(); }
    bool empty() const { return get().empty(); }
    const T& operator[](size_t i) const { return get()[i]; }
    auto begin() const { return get().begin(); }
    auto end() const { return get().end(); }

    bool operator==(const SharedVector& other) const {
        return data_ == other.data_ || get() == other.get();
    }
    bool operator==(const std::vector<T>& items) const { return get() == items; }

  private:
    static const std::vector<T>& none() {
        static const std::vector<T> empty;
        return empty;
    }
    std::shared_ptr<const std::vector<T>> data_;
};

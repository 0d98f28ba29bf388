// Blocks of the machine's bytes, and the little-endian reader and writer every file format
// uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// A RAM bank, a ROM image and a slot of the Z80's address space are all 16 KiB.
constexpr size_t BANK_SIZE = 16384;

// A block of bytes of the machine (RAM, the raster capture) that reads as the plain array it
// was (m.RAM + offset, m.RAM[i], sizeof m.RAM) and copies and compares as one block: an
// array member of a class with other members is otherwise copied and compared byte by byte.
template <size_t N> struct ByteBlock {
    uint8_t bytes[N];

    uint8_t* begin() { return bytes; }
    uint8_t* end() { return bytes + N; }
    const uint8_t* begin() const { return bytes; }
    const uint8_t* end() const { return bytes + N; }
    operator uint8_t*() { return bytes; }
    operator const uint8_t*() const { return bytes; }
    bool operator==(const ByteBlock& other) const {
        return std::memcmp(bytes, other.bytes, N) == 0;
    }
};

// A read cursor over little-endian bytes that never reads past their end: a read there
// fails and gives 0 (or nothing), and the cursor stays failed, so that a parser reads a
// whole layout and then asks ok() once. A file is untrusted input: every length and offset
// it holds is checked here, not by each caller.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size, size_t pos = 0)
        : data_(data), size_(size), pos_(pos) {}
    explicit ByteReader(const std::vector<uint8_t>& bytes, size_t pos = 0)
        : ByteReader(bytes.data(), bytes.size(), pos) {}

    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    size_t pos() const { return pos_; }
    size_t size() const { return size_; }
    // Whether n more bytes can be read.
    bool has(size_t n) const { return ok_ && pos_ <= size_ && size_ - pos_ >= n; }
    bool at_end() const { return pos_ >= size_; }
    // Moves the cursor; a place past the end fails the next read.
    void seek(size_t pos) { pos_ = pos; }
    // The bytes from the cursor on (valid while has() says how many).
    const uint8_t* here() const { return data_ + pos_; }

    // An unsigned number of 1 to 8 bytes.
    uint64_t number(int bytes) {
        if (!has(static_cast<size_t>(bytes))) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; i++) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
        pos_ += static_cast<size_t>(bytes);
        return v;
    }
    uint8_t u8() { return static_cast<uint8_t>(number(1)); }
    uint16_t u16() { return static_cast<uint16_t>(number(2)); }
    uint32_t u24() { return static_cast<uint32_t>(number(3)); }
    uint32_t u32() { return static_cast<uint32_t>(number(4)); }
    uint64_t u64() { return number(8); }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    int32_t i32() { return static_cast<int32_t>(u32()); }

    bool skip(size_t n) {
        if (!has(n)) return ok_ = false;
        pos_ += n;
        return true;
    }
    // n bytes into `out`; nothing is written when they are not there.
    bool copy(void* out, size_t n) {
        if (!has(n)) return ok_ = false;
        if (n) std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    std::vector<uint8_t> bytes(size_t n) {
        if (!has(n)) {
            ok_ = false;
            return {};
        }
        std::vector<uint8_t> v(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return v;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    bool ok_ = true;
};

// Little-endian numbers and bytes appended to a vector, and patched into what was written.
class ByteWriter {
  public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

    size_t size() const { return out_.size(); }
    void number(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; i++) out_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void u8(uint8_t v) { out_.push_back(v); }
    void u16(uint16_t v) { number(v, 2); }
    void u24(uint32_t v) { number(v, 3); }
    void u32(uint32_t v) { number(v, 4); }
    void u64(uint64_t v) { number(v, 8); }
    void i32(int32_t v) { number(static_cast<uint32_t>(v), 4); }
    void append(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void append(const std::vector<uint8_t>& b) { out_.insert(out_.end(), b.begin(), b.end()); }
    // A number put over bytes already written at `offset` (a length known only afterwards).
    void number_at(size_t offset, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; i++) out_.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
    }
    void u16_at(size_t offset, uint16_t v) { number_at(offset, v, 2); }
    void u32_at(size_t offset, uint32_t v) { number_at(offset, v, 4); }

  private:
    std::vector<uint8_t>& out_;
};

// A block of bytes of the machine (RAM, the raster capture) that reads as the plain array it
// was (m.RAM + offset, m.RAM[i], sizeof m.RAM) and copies and compares as one block: an
// array member of a class with other members is otherwise copied and compared byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

// When the ULA fetches each screen byte.
#include "spectrum/capture.h"
#include "spectrum/machine.h"

namespace {
constexpr uint16_t line_address(int y) {
    return static_cast<uint16_t>(0x4000 + ((y & 0xC0) << 5) + ((y & 7) << 8) + ((y & 0x38) << 2));
}

// The 48K's ULA begins fetching pixel line y at T-state 14336 + 224 y. A bitmap byte counts
// as fetched from the start of its line and an attribute byte from the start of the first of
// the eight lines of its character row, whatever its column.
constexpr int32_t fetch_time(uint16_t a) {
    const UlaTiming& u = ULA_48;
    if (a < 0x4000 || a > 0x5AFF) return 0;
    if (a <= 0x57FF) {
        int32_t t = 0;
        for (int y = 0; y < 192; y++)
            if (line_address(y) == (a & 0xFFE0)) t = u.fetch() + u.line * y;
        return t;
    }
    return u.fetch() + 8 * u.line * ((a - 0x5800) >> 5);
}

// The same values as fetch_time gives, with the line of a bitmap byte read straight from
// its address (y7 y6 at bits 12-11, y2-y0 at bits 10-8, y5-y3 at bits 7-5) instead of
// searched for; the unit tests compare the two for every offset.
constexpr std::array<int32_t, 6912> fetch_table(const UlaTiming& u) {
    std::array<int32_t, 6912> a{};
    for (int off = 0; off < 6144; off++) {
        const int y = ((off >> 5) & 0xC0) | ((off >> 8) & 0x07) | ((off >> 2) & 0x38);
        a[off] = u.fetch() + u.line * y;
    }
    for (int off = 6144; off < 6912; off++) a[off] = u.fetch() + 8 * u.line * ((off - 6144) >> 5);
    return a;
}
} // namespace

constexpr std::array<uint16_t, 192> ulay = [] {
    std::array<uint16_t, 192> a{};
    for (int y = 0; y < 192; y++) a[y] = line_address(y);
    return a;
}();

constexpr std::array<int32_t, 6912> addr2t_table = fetch_table(ULA_48);
constexpr std::array<int32_t, 6912> addr2t_table_128 = fetch_table(ULA_128);

int32_t addr2t(uint16_t a) { return fetch_time(a); }

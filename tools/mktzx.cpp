// mktzx: turns a TAP image into a TZX image whose blocks carry the same bytes in another
// kind of block, for testing tape loaders.
//
//   mktzx KIND IN.tap OUT.tzx
//
// KIND is one of:
//   standard     0x10 blocks (the ROM's timings)
//   turbo        0x11 blocks with the turbo timings below
//   pulses       0x12 pure tone + 0x13 pulse sequence + 0x14 pure data, turbo timings
//   direct       0x15 direct recording of the turbo signal, 79 T-states a sample
//   csw          0x18 CSW recording (Z-RLE) of the turbo signal at 44,100 samples a second
//   generalized  0x19 generalized data: the turbo signal as pilot, sync and bit symbols
// Every block is followed by a pause of 1000 ms.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "spectrum/bytes.h"

namespace {
struct Timing {
    uint16_t pilot, sync1, sync2, zero, one, header_pilots, data_pilots;
};
// About two thirds of the ROM's pulse lengths (2168, 667, 735, 855, 1710; 8063 and 3223
// pilot pulses), and shorter tones.
constexpr Timing TURBO = {1500, 450, 500, 580, 1160, 3000, 1500};
constexpr uint16_t PAUSE_MS = 1000;
constexpr uint32_t DIRECT_TPS = 79;
constexpr uint32_t CSW_RATE = 44100;

using Bytes = std::vector<uint8_t>;

void put(Bytes& out, uint32_t value, int bytes) { ByteWriter(out).number(value, bytes); }

uint16_t pilots(const Bytes& body, const Timing& t) {
    return !body.empty() && body[0] >= 128 ? t.data_pilots : t.header_pilots;
}

// The half-pulse lengths of a block as the ROM's encoding plays it.
std::vector<uint32_t> signal_of(const Bytes& body, const Timing& t) {
    std::vector<uint32_t> pulses(pilots(body, t), t.pilot);
    pulses.push_back(t.sync1);
    pulses.push_back(t.sync2);
    for (const uint8_t byte : body)
        for (int bit = 7; bit >= 0; bit--) {
            const uint32_t len = (byte >> bit) & 1 ? t.one : t.zero;
            pulses.push_back(len);
            pulses.push_back(len);
        }
    return pulses;
}

void block_standard(Bytes& out, const Bytes& body) {
    out.push_back(0x10);
    put(out, PAUSE_MS, 2);
    put(out, static_cast<uint32_t>(body.size()), 2);
    out.insert(out.end(), body.begin(), body.end());
}

void block_turbo(Bytes& out, const Bytes& body) {
    const Timing& t = TURBO;
    out.push_back(0x11);
    for (const uint16_t v : {t.pilot, t.sync1, t.sync2, t.zero, t.one, pilots(body, t)})
        put(out, v, 2);
    out.push_back(8);
    put(out, PAUSE_MS, 2);
    put(out, static_cast<uint32_t>(body.size()), 3);
    out.insert(out.end(), body.begin(), body.end());
}

void block_pulses(Bytes& out, const Bytes& body) {
    const Timing& t = TURBO;
    out.push_back(0x12);
    put(out, t.pilot, 2);
    put(out, pilots(body, t), 2);
    out.push_back(0x13);
    out.push_back(2);
    put(out, t.sync1, 2);
    put(out, t.sync2, 2);
    out.push_back(0x14);
    put(out, t.zero, 2);
    put(out, t.one, 2);
    out.push_back(8);
    put(out, PAUSE_MS, 2);
    put(out, static_cast<uint32_t>(body.size()), 3);
    out.insert(out.end(), body.begin(), body.end());
}

// The signal sampled: the level starts low and every pulse begins with an edge.
void block_direct(Bytes& out, const Bytes& body) {
    Bytes samples;
    uint8_t current = 0;
    int bits = 0, level = 0;
    uint64_t time = 0, next_sample = 0;
    for (const uint32_t len : signal_of(body, TURBO)) {
        level ^= 1;
        time += len;
        for (; next_sample < time; next_sample += DIRECT_TPS) {
            current = static_cast<uint8_t>(current << 1 | level);
            if (++bits == 8) {
                samples.push_back(current);
                current = 0;
                bits = 0;
            }
        }
    }
    const int used = bits ? bits : 8;
    if (bits) samples.push_back(static_cast<uint8_t>(current << (8 - bits)));
    out.push_back(0x15);
    put(out, DIRECT_TPS, 2);
    put(out, PAUSE_MS, 2);
    out.push_back(static_cast<uint8_t>(used));
    put(out, static_cast<uint32_t>(samples.size()), 3);
    out.insert(out.end(), samples.begin(), samples.end());
}

bool block_csw(Bytes& out, const Bytes& body) {
    Bytes rle;
    uint32_t count = 0;
    for (const uint32_t len : signal_of(body, TURBO)) {
        const uint32_t n = (len * CSW_RATE + 1750000) / 3500000;
        if (n > 0 && n < 256) {
            rle.push_back(static_cast<uint8_t>(n));
        } else {
            rle.push_back(0);
            put(rle, n, 4);
        }
        count++;
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rle.size()));
    Bytes packed(packed_size);
    if (compress(packed.data(), &packed_size, rle.data(), static_cast<uLong>(rle.size())) != Z_OK)
        return false;
    packed.resize(packed_size);
    out.push_back(0x18);
    put(out, static_cast<uint32_t>(10 + packed.size()), 4);
    put(out, PAUSE_MS, 2);
    put(out, CSW_RATE, 3);
    out.push_back(2); // Z-RLE
    put(out, count, 4);
    out.insert(out.end(), packed.begin(), packed.end());
    return true;
}

void block_generalized(Bytes& out, const Bytes& body) {
    const Timing& t = TURBO;
    Bytes b;
    put(b, PAUSE_MS, 2);
    put(b, 2, 4);                                      // TOTP: the pilot run and the sync pair
    b.push_back(2);                                    // NPP
    b.push_back(2);                                    // ASP
    put(b, static_cast<uint32_t>(body.size() * 8), 4); // TOTD
    b.push_back(2);                                    // NPD
    b.push_back(2);                                    // ASD
    // Pilot symbols: 0 one pilot pulse (the second ends it early), 1 the two sync pulses.
    b.push_back(0);
    put(b, t.pilot, 2);
    put(b, 0, 2);
    b.push_back(0);
    put(b, t.sync1, 2);
    put(b, t.sync2, 2);
    b.push_back(0);
    put(b, pilots(body, t), 2);
    b.push_back(1);
    put(b, 1, 2);
    // Data symbols: 0 and 1, two pulses each; one bit a symbol.
    b.push_back(0);
    put(b, t.zero, 2);
    put(b, t.zero, 2);
    b.push_back(0);
    put(b, t.one, 2);
    put(b, t.one, 2);
    b.insert(b.end(), body.begin(), body.end());
    out.push_back(0x19);
    put(out, static_cast<uint32_t>(b.size()), 4);
    out.insert(out.end(), b.begin(), b.end());
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: mktzx standard|turbo|pulses|direct|csw|generalized IN.tap "
                             "OUT.tzx\n");
        return 2;
    }
    const std::string kind = argv[1];
    std::ifstream in(argv[2], std::ios::binary);
    const Bytes tap((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        std::fprintf(stderr, "mktzx: cannot read %s\n", argv[2]);
        return 1;
    }
    Bytes out = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
    for (ByteReader r(tap); r.has(2);) {
        const Bytes body = r.bytes(r.u16());
        if (!r.ok()) {
            std::fprintf(stderr, "mktzx: %s ends inside a block\n", argv[2]);
            return 1;
        }
        if (kind == "standard") block_standard(out, body);
        else if (kind == "turbo") block_turbo(out, body);
        else if (kind == "pulses") block_pulses(out, body);
        else if (kind == "direct") block_direct(out, body);
        else if (kind == "generalized") block_generalized(out, body);
        else if (kind == "csw") {
            if (!block_csw(out, body)) return 1;
        } else {
            std::fprintf(stderr, "mktzx: unknown kind %s\n", kind.c_str());
            return 2;
        }
    }
    std::ofstream file(argv[3], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file) {
        std::fprintf(stderr, "mktzx: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}

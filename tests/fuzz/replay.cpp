// Replays a fuzz target's seed corpus without libFuzzer: every seed as it is, then a fixed
// series of mutations of each (bytes flipped, set to extremes, runs repeated, the file cut
// short), the same on every run. Any crash or sanitizer report ends the test.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// xorshift32: a fixed series, so a failure repeats.
struct Rng {
    uint32_t s = 0x2545F491u;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    size_t below(size_t n) { return n ? next() % n : 0; }
};

void run(const std::vector<uint8_t>& v) { LLVMFuzzerTestOneInput(v.data(), v.size()); }

void mutate(std::vector<uint8_t> v, Rng& rng) {
    switch (rng.next() % 6) {
    case 0: // a few bytes anywhere
        for (int i = 0, n = 1 + static_cast<int>(rng.below(8)); i < n && !v.empty(); i++)
            v[rng.below(v.size())] = static_cast<uint8_t>(rng.next());
        break;
    case 1: // one byte to an extreme
        if (!v.empty()) v[rng.below(v.size())] = (rng.next() & 1) ? 0xFF : 0x00;
        break;
    case 2: // cut short
        v.resize(rng.below(v.size() + 1));
        break;
    case 3: // a run repeated
        if (!v.empty()) {
            const size_t at = rng.below(v.size());
            const size_t len = 1 + rng.below(std::min<size_t>(64, v.size() - at));
            std::vector<uint8_t> run(v.begin() + at, v.begin() + at + len);
            v.insert(v.begin() + at, run.begin(), run.end());
        }
        break;
    case 4: // 16-bit field to an extreme
        if (v.size() >= 2) {
            const size_t at = rng.below(v.size() - 1);
            const uint16_t x = (rng.next() & 1) ? 0xFFFF : 0x8000;
            v[at] = x & 0xFF;
            v[at + 1] = x >> 8;
        }
        break;
    default: // bytes added at the end
        for (int i = 0, n = 1 + static_cast<int>(rng.below(32)); i < n; i++)
            v.push_back(static_cast<uint8_t>(rng.next()));
        break;
    }
    run(v);
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> seeds;
    for (int i = 1; i < argc; i++) {
        const fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const auto& e : fs::directory_iterator(p))
                if (e.is_regular_file()) seeds.push_back(e.path());
        } else {
            seeds.push_back(p);
        }
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no seeds in the corpus given\n");
        return 1;
    }
    const int mutations = 200;
    Rng rng;
    for (const auto& path : seeds) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> seed{std::istreambuf_iterator<char>(in), {}};
        run(seed);
        for (int i = 0; i < mutations; i++) mutate(seed, rng);
    }
    std::printf("%zu seeds, %d mutations each: no fault\n", seeds.size(), mutations);
    return 0;
}

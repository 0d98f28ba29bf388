// Painting only what changed: a surface painted with what it was last painted from must hold
// the same picture, byte for byte, as one painted whole, through screen writes, FLASH, border
// colours, the exact border, the text page shown alone and the colour modes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "frontend/session.h"
#include "spectrum/machine.h"
#include "tests/support/support.h"

namespace {
constexpr size_t SURFACE_BYTES = ULA_SURFACE_W * ULA_SURFACE_H * 4;

struct Painter {
    std::unique_ptr<Spectrum> m;
    std::vector<std::vector<uint8_t>> surfaces;
    PaintedFrom painted[3];
    explicit Painter(const Spectrum& from)
        : m(std::make_unique<Spectrum>(from)), surfaces(3, std::vector<uint8_t>(SURFACE_BYTES)) {}
};
} // namespace

TEST(RasterRepaint, PaintingOnlyWhatChangedGivesTheWholePicture) {
    Spectrum& base = fresh_machine();
    uint8_t* screen = base.RAM + 5 * 0x4000;
    std::mt19937 random(1982);
    for (int i = 0; i < 6912; i++) screen[i] = static_cast<uint8_t>(random() & 0x7F);
    base.port_fe = 2;
    Painter whole(base), changed(base);

    int mode = SCREEN_COLOUR;
    bool border = true;
    int skipped_lines = 0;
    for (int frame = 0; frame < 400; frame++) {
        // The same changes to both machines: a few screen bytes (FLASH among them), now and
        // then the border colour, the exact border, the text page alone, the mode.
        const int writes = random() % 3 == 0 ? 0 : static_cast<int>(random() % 24);
        std::vector<std::pair<int, uint8_t>> pokes;
        for (int w = 0; w < writes; w++)
            pokes.push_back({static_cast<int>(random() % 6912), static_cast<uint8_t>(random())});
        const unsigned event = random() % 100;
        if (event < 8) base.port_fe = static_cast<uint8_t>(random() & 7);
        else if (event < 11) base.exact_border ^= 1;
        else if (event < 15) border = !border;
        else if (event < 17 && mode == SCREEN_COLOUR) mode = 1 + static_cast<int>(random() % 2);
        else if (event < 30 && mode != SCREEN_COLOUR) mode = SCREEN_COLOUR;
        for (Painter* p : {&whole, &changed}) {
            uint8_t* bank = p->m->RAM + 5 * 0x4000;
            for (const auto& [at, value] : pokes) bank[at] = value;
            p->m->port_fe = base.port_fe;
            p->m->exact_border = base.exact_border;
            p->m->flashctr = frame;
        }
        const int s = frame % 3;
        whole.m->rasterize_ULA(whole.surfaces[s].data(), mode, border);
        PaintedFrom before = changed.painted[s];
        changed.m->rasterize_ULA(changed.surfaces[s].data(), mode, border, &changed.painted[s]);
        for (int line = 0; line < 192 && mode == SCREEN_COLOUR && before.mode == mode; line++)
            if (before.line_valid[line] &&
                std::memcmp(before.line[line], changed.painted[s].line[line], PaintedFrom::KEY) ==
                    0)
                skipped_lines++;
        ASSERT_EQ(std::memcmp(whole.surfaces[s].data(), changed.surfaces[s].data(), SURFACE_BYTES),
                  0)
            << "frame " << frame << ", mode " << mode << ", border " << border << ", exact "
            << int(base.exact_border);
    }
    // The comparison means something only if lines were in fact left as they were.
    EXPECT_GT(skipped_lines, 400 * 192 / 4);
}

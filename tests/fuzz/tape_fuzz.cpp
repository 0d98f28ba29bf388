// The tape deck playing a TZX image: the input is the blocks (the 10-byte header is put
// before them), which the deck plays frame by frame, started again whenever it stops, ends
// or faults, and asked for its next standard block now and then. However the blocks loop,
// call and jump, and whatever their pulses of no length, the memory the blocks take stays
// within MOST_TAPE_MEMORY and the steps the deck takes in a frame within the few windows'
// budgets the frame spans: a frame costs a bounded host time, and nothing hangs.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/tzx.h"
#include "spectrum/machine.h"

namespace {
constexpr int FRAMES = 6;
// A frame's pulses fall in at most three windows; the search for the next standard block
// has a budget of its own. Each window's count may pass the budget by the step that stops.
constexpr uint64_t MOST_FRAME_STEPS = 4 * (TapeDeck::WORK_BUDGET + 1);
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const uint8_t HEADER[10] = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20};
    std::vector<uint8_t> image(sizeof HEADER + size);
    std::memcpy(image.data(), HEADER, sizeof HEADER);
    if (size) std::memcpy(image.data() + sizeof HEADER, data, size);
    std::vector<TapeBlock> blocks;
    std::string why;
    if (!tzx_blocks(image, blocks, why)) return 0;
    if (tape_memory(blocks) > MOST_TAPE_MEMORY) std::abort();

    TapeDeck deck;
    deck.load(std::move(blocks));
    // The 128K's clock too, where the input's length is odd.
    deck.cpu_hz = size % 2 ? CLOCK_HZ_128 : TAPE_CLOCK_HZ;
    deck.machine_48k = size % 2 == 0;
    const uint64_t tpf = size % 2 ? TPF_128 : TPF_48;
    deck.record_edges = true;
    for (int frame = 0; frame < FRAMES; frame++) {
        const uint64_t before = deck.work_done;
        if (!deck.playing) deck.play(deck.frame_base + 100);
        deck.level_at(deck.frame_base + tpf / 2);
        deck.run_to(deck.frame_base + tpf);
        if (frame % 3 == 2 && !deck.playing) deck.next_standard_block();
        if (deck.work_done - before > MOST_FRAME_STEPS) std::abort();
        deck.edge_times.clear();
        deck.edge_levels.clear();
        deck.frame_base += tpf;
    }
    return 0;
}

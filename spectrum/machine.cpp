// The machine's life: power-on, copies, the slot tables, reset and the frame ends.
#include "spectrum/machine.h"

#include <cstdint>
#include <cstring>

namespace {
// Whether p points into [base, base + size).
bool points_into(const uint8_t* p, const uint8_t* base, size_t size) {
    const auto a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
    return a >= b && a - b < size;
}
} // namespace

Spectrum::Spectrum() {
    SLTPTR[0] = ROM;
    SLTWR[0] = ROM_SINK.get();
    SLTPTR[1] = SLTWR[1] = RAM + 5 * 0x4000;
    SLTPTR[2] = SLTWR[2] = RAM + 2 * 0x4000;
    map_slot3(0);
}

Spectrum::Spectrum(const Spectrum& other)
    : SpectrumHardware(other), SpectrumBeside(other), ROM_SINK(new uint8_t[16384]) {
    std::memcpy(ROM, other.ROM, sizeof ROM);
    rebase_slots(other);
}

Spectrum& Spectrum::operator=(const Spectrum& other) {
    if (this != &other) {
        SpectrumHardware::operator=(other);
        SpectrumBeside::operator=(other);
        std::memcpy(ROM, other.ROM, sizeof ROM);
        rebase_slots(other);
    }
    return *this;
}

// A slot that showed the other machine's memory shows the same place of this one's; a slot
// mapped to memory outside the machine (a test's page) stays where it is.
void Spectrum::rebase_slots(const Spectrum& from) {
    for (int slot = 0; slot < 4; slot++) {
        SLTPTR[slot] = rebased(from.SLTPTR[slot], from);
        SLTWR[slot] = rebased(from.SLTWR[slot], from);
    }
    slots_changed();
}

uint8_t* Spectrum::rebased(uint8_t* p, const Spectrum& from) {
    if (points_into(p, from.RAM, sizeof from.RAM)) return RAM + (p - from.RAM);
    if (points_into(p, from.ROM, sizeof from.ROM)) return ROM + (p - from.ROM);
    if (points_into(p, from.ROM_SINK.get(), 16384)) return ROM_SINK.get();
    return p;
}

void Spectrum::map_slot3(int bank) {
    SLTPTR[3] = SLTWR[3] = RAM + (bank & 7) * 0x4000;
    slots_changed();
}

void Spectrum::reset_logical_system() {
    // The tape's clock goes on from where the frame was.
    if (tstates > 0) tape_deck.frame_base += static_cast<uint64_t>(tstates);
    reset_Z80(z80); // also ends a HALT and cancels a pending EI
    tstates = tstatesh = 0;
    IFBCLK = 0;
    IFB_buffer = 2;
    pulldown = 0;
    OUTSTK.clear();
    ay.reset();
    BORDER_EVENTS.clear();
}

void Spectrum::end_logical_frame() {
    tape_deck.frame_base += static_cast<uint64_t>(tpf);
    // Changes made in the overshoot belong to the next frame, at their place in it.
    int32_t kept = 0;
    for (int32_t i = 0; i < BORDER_EVENTS.size(); i++)
        if (BORDER_EVENTS[i].t >= tpf) {
            BORDER_EVENTS[kept] = BORDER_EVENTS[i];
            BORDER_EVENTS[kept++].t -= tpf;
        }
    BORDER_EVENTS.truncate(kept);
    tstates -= tpf; // the overshoot of the last instruction carries into the next frame
    pulldown = pulldown == 4 ? 0 : pulldown + 1;
    flashctr++;
}

void Spectrum::end_physical_frame() {
    IFBCLK = IFBCLK == 5 ? 0 : IFBCLK + 1;
    tstatesh -= tpfh;
    IFB_buffer = IFB_buffer == 2 ? 0 : IFB_buffer + 1;
}

// The colour before the frame's first change is its colour from the frame's start (without
// a change, the latch's: a snapshot or a channel sets it without a write).
uint8_t Spectrum::border_colour_at(int32_t t) const {
    uint8_t colour =
        BORDER_EVENTS.empty() ? static_cast<uint8_t>(port_fe & 7) : BORDER_EVENTS[0].before;
    for (int32_t i = 0; i < BORDER_EVENTS.size() && BORDER_EVENTS[i].t <= t; i++)
        colour = BORDER_EVENTS[i].after;
    return colour;
}

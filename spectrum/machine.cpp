// The machine's life: power-on, copies, the slot tables, reset and the frame ends.
#include "spectrum/machine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace {
// Whether p points into [base, base + size).
bool points_into(const uint8_t* p, const uint8_t* base, size_t size) {
    const auto a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
    return a >= b && a - b < size;
}

// The ROM of a machine with none installed.
const uint8_t NO_ROM[ROM_SIZE] = {};
} // namespace

Spectrum::Spectrum() {
    SLTWR[0] = ROM_SINK.get();
    SLTPTR[1] = SLTWR[1] = RAM + 5 * 0x4000;
    SLTPTR[2] = SLTWR[2] = RAM + 2 * 0x4000;
    map_slot3(0);
}

// The ROM images are shared, so a slot that shows one shows the same in the copy.
Spectrum::Spectrum(const Spectrum& other)
    : SpectrumHardware(other), SpectrumBeside(other), ROM_SINK(new uint8_t[16384]) {
    rebase_slots(other);
}

Spectrum& Spectrum::operator=(const Spectrum& other) {
    if (this != &other) {
        SpectrumHardware::operator=(other);
        SpectrumBeside::operator=(other);
        rebase_slots(other);
    }
    return *this;
}

const uint8_t* Spectrum::rom_page(int n) const {
    if (ROMS.empty()) return NO_ROM;
    return ROMS.get().data() + static_cast<size_t>(std::min(n, rom_count() - 1)) * ROM_SIZE;
}

void Spectrum::poke_rom(int n, uint16_t addr, const uint8_t* bytes, size_t count) {
    const uint8_t* old_base = rom_page(0);
    const size_t old_size = ROMS.empty() ? ROM_SIZE : ROMS.size();
    std::vector<uint8_t> set = ROMS.get();
    set.resize(old_size);
    const size_t base = static_cast<size_t>(std::min(n, rom_count() - 1)) * ROM_SIZE;
    for (size_t i = 0; i < count; i++) set[base + ((addr + i) & 0x3FFF)] = bytes[i];
    ROMS = std::move(set);
    if (points_into(SLTPTR[0], old_base, old_size)) {
        SLTPTR[0] = const_cast<uint8_t*>(rom_page(0)) + (SLTPTR[0] - old_base);
        slots_changed();
    }
}

void Spectrum::power_on(int model_, std::vector<uint8_t> roms) {
    const bool add_on_chip = ay_on_48;
    hardware() = SpectrumHardware{};
    ay_on_48 = add_on_chip;
    detach_tape();
    saved_blocks.clear();
    save_header.clear();
    is_snapshot = 0;
    ROMS = std::move(roms);
    model = model_ == 48 ? 48 : 128;
    tpf = tpf_for_model();
    SLTWR[0] = ROM_SINK.get();
    SLTPTR[1] = SLTWR[1] = RAM + 5 * 0x4000;
    SLTPTR[2] = SLTWR[2] = RAM + 2 * 0x4000;
    map_slot3(0);
}

// Bit 5 holds every later write off until a reset. A change of screen takes effect at once
// for the bytes the beam has yet to fetch this frame: those already fetched keep what the
// old bank gave them.
void Spectrum::write_7ffd(uint8_t value) {
    if (port_7ffd & 0x20) return;
    const uint8_t old = port_7ffd;
    port_7ffd = value;
    if ((old ^ value) & 0x08) {
        const uint8_t* bank = screen_bank();
        const auto& fetch = model == 48 ? addr2t_table : addr2t_table_128;
        for (size_t off = 0; off < sizeof RTFB; off++)
            if (fetch[off] > tstates) RTFB[off] = bank[off];
    }
    map_slot3(value & 7);
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
    if (points_into(p, from.ROM_SINK.get(), 16384)) return ROM_SINK.get();
    return p;
}

void Spectrum::map_slot3(int bank) {
    SLTPTR[0] = const_cast<uint8_t*>(rom_page(paged_rom()));
    SLTPTR[3] = SLTWR[3] = RAM + (bank & 7) * 0x4000;
    slots_changed();
}

void Spectrum::reset_logical_system() {
    // The tape's clock goes on from where the frame was.
    if (tstates > 0) tape_deck.frame_base += static_cast<uint64_t>(tstates);
    reset_Z80(z80); // also ends a HALT and cancels a pending EI
    // The reset clears the 128K's paging register, its lock too.
    if (model != 48) {
        port_7ffd = 0;
        map_slot3(0);
    }
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

// The Z80 on the Spectrum's bus: the standard model here, the Zilog model in step_zilog.cpp.
#include <algorithm>
#include <cstdint>

#include "spectrum/machine.h"
#include "z80/run.h"

void Spectrum::z80_run(int32_t tstates_limit, int32_t tstatesh_limit) {
    // tstates and tstatesh advance together within a run, so one limit serves both.
    const int64_t offset = static_cast<int64_t>(tstatesh) - tstates;
    const int32_t limit =
        static_cast<int32_t>(std::min<int64_t>(tstates_limit, tstatesh_limit - offset));
    if (tstates >= limit) return;
    slots_changed(); // for whoever has set SLTPTR or SLTWR by hand
    const int32_t t0 =
        cpu_model == CpuModel::zilog ? z80_run_zilog(limit) : ::z80_run(*this, z80, tstates, limit);
    tstates0 = t0;
    tstatesd = tstates - t0;
    tstatesh = static_cast<int32_t>(tstates + offset);
}

// Every step takes at least one M1, so a limit one T-state ahead runs exactly one.
void Spectrum::z80_step() {
    z80_run(tstates + 1, tstatesh + 1);
    z80_steps++;
}

void Spectrum::Z80INT() {
    slots_changed();
    if (cpu_model == CpuModel::zilog) z80_interrupt_zilog(*this, z80, tstates);
    else z80_interrupt(*this, z80, tstates);
}

bool Spectrum::fetch_hook(uint8_t op) {
    return (op == 0x08 ? tape_save_trap() : tape_load_trap()) == 0;
}

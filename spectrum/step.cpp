// The Z80 on the 48K Spectrum's bus: the standard model here, the Zilog model in
// step_zilog.cpp; the 128K's bus in step_128.cpp and step_128_zilog.cpp.
#include <cstdint>

#include "spectrum/machine.h"
#include "z80/run.h"

void Spectrum::z80_run(int32_t tstates_limit, int32_t tstatesh_limit) {
    run_steps(tstates_limit, tstatesh_limit, [this](int32_t limit) {
        if (model != 48)
            return cpu_model == CpuModel::zilog ? z80_run_128_zilog(limit) : z80_run_128(limit);
        return cpu_model == CpuModel::zilog ? z80_run_zilog(limit)
                                            : ::z80_run(*this, z80, tstates, limit);
    });
}

// Every step takes at least one M1, so a limit one T-state ahead runs exactly one.
void Spectrum::z80_step() { z80_run(tstates + 1, tstatesh + 1); }

void Spectrum::Z80INT() {
    slots_changed();
    if (model != 48) z80_interrupt_128();
    else if (cpu_model == CpuModel::zilog) z80_interrupt_zilog(*this, z80, tstates);
    else z80_interrupt(*this, z80, tstates);
}

bool Spectrum::fetch_hook(uint8_t op) { return op == 0x08 ? tape_save_trap() : tape_load_trap(); }

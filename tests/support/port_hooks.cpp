#include "tests/support/port_hooks.h"

#include "z80/run.h"

void PortHooks::z80_step() {
    m.run_steps(m.tstates + 1, m.tstatesh + 1, [this](int32_t limit) {
        return m.cpu_model == CpuModel::zilog ? port_hooks_run_zilog(*this, limit)
                                              : z80_run(*this, m.z80, m.tstates, limit);
    });
}

void PortHooks::Z80INT() {
    m.slots_changed();
    if (m.cpu_model == CpuModel::zilog) port_hooks_interrupt_zilog(*this);
    else z80_interrupt(*this, m.z80, m.tstates);
}

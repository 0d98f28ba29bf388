// The checking path's step on the 48K's bus, both CPU models.
#include "frontend/debug_bus.h"
#include "z80/run.h"

void debug_step_48(Spectrum& m, Debugger& d) {
    DebugBus<Spectrum> bus{m, d};
    m.run_steps(m.tstates + 1, m.tstatesh + 1, [&](int32_t limit) {
        return m.cpu_model == CpuModel::zilog ? z80_run_zilog(bus, m.z80, m.tstates, limit)
                                              : z80_run(bus, m.z80, m.tstates, limit);
    });
}

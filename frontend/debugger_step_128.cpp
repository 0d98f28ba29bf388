// The checking path's step on the 128K's bus, both CPU models.
#include "frontend/debug_bus.h"
#include "spectrum/bus128.h"
#include "z80/run.h"

void debug_step_128(Spectrum& m, Debugger& d) {
    Bus128 inner{m};
    DebugBus<Bus128> bus{inner, d};
    m.run_steps(m.tstates + 1, m.tstatesh + 1, [&](int32_t limit) {
        return m.cpu_model == CpuModel::zilog ? z80_run_zilog(bus, m.z80, m.tstates, limit)
                                              : z80_run(bus, m.z80, m.tstates, limit);
    });
}

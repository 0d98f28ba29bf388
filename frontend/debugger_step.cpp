// The checking path's run on the 48K's bus, both CPU models.
#include "frontend/debug_bus.h"
#include "z80/run.h"

int32_t debug_run_48(Spectrum& m, Debugger& d, int32_t limit) {
    DebugBus<Spectrum> bus{m, d, m};
    return m.cpu_model == CpuModel::zilog ? z80_run_zilog(bus, m.z80, m.tstates, limit)
                                          : z80_run(bus, m.z80, m.tstates, limit);
}

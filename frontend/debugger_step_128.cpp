// The checking path's run on the 128K's bus, both CPU models.
#include "frontend/debug_bus.h"
#include "spectrum/bus128.h"
#include "z80/run.h"

int32_t debug_run_128(Spectrum& m, Debugger& d, int32_t limit) {
    DebugBus<Bus128> bus{Bus128{m}, d, m};
    return m.cpu_model == CpuModel::zilog ? z80_run_zilog(bus, m.z80, m.tstates, limit)
                                          : z80_run(bus, m.z80, m.tstates, limit);
}

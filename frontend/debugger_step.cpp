// The checking path's run on the 48K's bus, both CPU models.
#include "frontend/debug_bus.h"

bool debug_run_48(Spectrum& m, Debugger& d, int32_t limit) {
    DebugBus<Spectrum> bus{m, d};
    return d.run_over(m, bus, limit);
}

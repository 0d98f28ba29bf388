// The checking path's run on the 128K's bus, both CPU models.
#include "frontend/debug_bus.h"
#include "spectrum/bus128.h"

bool debug_run_128(Spectrum& m, Debugger& d, int32_t limit) {
    Bus128 inner{m};
    DebugBus<Bus128> bus{inner, d};
    return d.run_over(m, bus, limit);
}

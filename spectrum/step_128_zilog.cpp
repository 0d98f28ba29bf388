// The Z80 on the 128K's bus as the Zilog NMOS part (z80/model.h).
#include <cstdint>

#include "spectrum/bus128.h"
#include "z80/run.h"

int32_t Spectrum::z80_run_128_zilog(int32_t limit) {
    Bus128 bus{*this};
    return ::z80_run_zilog(bus, z80, tstates, limit);
}

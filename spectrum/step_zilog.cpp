// The Z80 on the Spectrum's bus as the Zilog NMOS part (z80/model.h).
#include <cstdint>

#include "spectrum/machine.h"
#include "z80/run.h"

int32_t Spectrum::z80_run_zilog(int32_t limit) {
    return ::z80_run_zilog(*this, z80, tstates, limit);
}

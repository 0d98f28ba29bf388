// The Z80 on the 128K's bus (spectrum/bus128.h), the standard model; the Zilog model in
// step_128_zilog.cpp.
#include <cstdint>

#include "spectrum/bus128.h"
#include "z80/run.h"

int32_t Spectrum::z80_run_128(int32_t limit) {
    Bus128 bus{*this};
    return ::z80_run(bus, z80, tstates, limit);
}

void Spectrum::z80_interrupt_128() {
    Bus128 bus{*this};
    if (cpu_model == CpuModel::zilog) z80_interrupt_zilog(bus, z80, tstates);
    else z80_interrupt(bus, z80, tstates);
}

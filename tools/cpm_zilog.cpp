// The CP/M harness's CPU as the Zilog NMOS part.
#include "tools/cpm.h"
#include "z80/run.h"

template <class Bus> int32_t cpm_run_zilog(Bus& bus, Z80& z80, int32_t& tstates, int32_t limit) {
    return z80_run_zilog(bus, z80, tstates, limit);
}

template int32_t cpm_run_zilog(CpmBus&, Z80&, int32_t&, int32_t);

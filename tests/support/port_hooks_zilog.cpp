#include "tests/support/port_hooks.h"
#include "z80/run.h"

int32_t port_hooks_run_zilog(PortHooks& bus, int32_t limit) {
    return z80_run_zilog(bus, bus.m.z80, bus.m.tstates, limit);
}

void port_hooks_interrupt_zilog(PortHooks& bus) {
    z80_interrupt_zilog(bus, bus.m.z80, bus.m.tstates);
}

// The ULA: port I/O, floating bus, speaker events and the picture.
#pragma once

#include <array>
#include <cstdint>

// Screen-line start addresses: ulay[y] is the Spectrum address of pixel line y's first byte.
extern const std::array<uint16_t, 192> ulay;

// The 16-colour palette, indexed by 8 * BRIGHT + colour.
extern const uint8_t RED[16];
extern const uint8_t GRN[16];
extern const uint8_t BLU[16];

// Speaker events of the current logical frame: the tstates of each change of bit 4.
constexpr int OUTSTK_SIZE = 7000;
extern int32_t OUTSTK[OUTSTK_SIZE];
extern int32_t OUTSP;
extern uint8_t OUTNEW; // level implied by the latest ULA write (0x00 or 0xFF)
extern uint8_t OUTOLD; // level last recorded in OUTSTK

// Full timed port cycles (4 T-states plus contention). writeport leaves MEMPTR = BC + 1.
uint8_t readport(uint16_t port);
void writeport(uint16_t port, uint8_t value);

// Untimed decode of a port read or write.
uint8_t readport_internal(uint16_t port);
void writeport_internal(uint16_t port, uint8_t value);

// Test hooks, null in the machine: when set, a port read returns port_read_hook(port)
// instead of the decode, and every port write is also shown to port_write_hook.
extern uint8_t (*port_read_hook)(uint16_t port);
extern void (*port_write_hook)(uint16_t port, uint8_t value);

// The timing of the first T-state of an I/O cycle, and of the rest but the last.
void ula_contend_port_early(uint16_t port);
void ula_contend_port_late(uint16_t port);

// The floating bus: the byte the ULA is fetching at tstates, else 0xFF.
uint8_t unattached();

// The RAM bank the ULA shows (5, or 7 when bit 3 of the paging register is set).
uint8_t* screen_bank();

// The picture.
extern int32_t screen_mode; // 0 colour, 1 MELBOURNE, 2 INVERSE INK

// Paints the logical frame into picture surface `index` and reloads RTFB.
void rasterize_ULA(int index);

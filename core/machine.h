// The machine's time base, memory map and run flags: the state every subsystem shares.
#pragma once

#include <atomic>
#include <cstdint>

// Memory. Slot n of the Z80 address space (address >> 14) is read through SLTPTR[n] and
// written through SLTWR[n]. Slot 0 reads the ROM and writes into ROM_SINK, a scratch page
// nobody reads, so a ROM write costs its T-states and changes nothing without a test on the
// write path. Slots 1 to 3 read and write the same RAM bank.
extern uint8_t ROM[16384];
extern uint8_t RAM[131072]; // eight 16 KiB banks, bank n at n * 0x4000
extern uint8_t* SLTPTR[4];
extern uint8_t* SLTWR[4];
extern uint8_t ROM_SINK[16384];
extern uint8_t IO[65536]; // the last value written to each port; 0xFE and 0x7FFD are used

// Points slot 3 (0xC000-0xFFFF) at RAM bank (bank & 7) for reading and writing.
void map_slot3(int bank);

// Model and time base. A logical frame is tpf T-states of the emulated machine, a physical
// frame tpfh T-states: six physical frames last exactly as long as five 48K logical frames.
constexpr int32_t TPF_48 = 69888;
constexpr int32_t TPF_128 = 70908;
constexpr int32_t TPFH = 58240;

extern int32_t model;    // 48, or 128 after a 128K snapshot
extern int32_t tpf;      // T-states per logical frame
extern int32_t tpfh;     // T-states per physical frame (never changes)
extern int32_t tstates;  // position within the logical frame
extern int32_t tstatesh; // T-states toward the next physical frame end
extern int32_t pulldown; // 0..4, logical frame within the 5:6 cycle (audio slot)
extern int32_t IFBCLK;   // 0..5, physical frame within the 5:6 cycle (blend weights)
extern uint8_t IFB_buffer; // 0..2, the picture surface the next logical frame paints
extern int32_t flashctr;   // logical frames; bit 4 is the FLASH phase

// Run flags and user-interface state.
extern uint8_t exit_request;
// still_frame and file_requester_mode are also read by the audio callback's thread.
extern std::atomic<uint8_t> still_frame;
extern uint8_t still_frame_old;
extern std::atomic<uint8_t> file_requester_mode;
extern uint8_t is_snapshot;
extern uint8_t is_tape;

// tpf for the current model.
inline int32_t tpf_for_model() { return model == 48 ? TPF_48 : TPF_128; }

// Puts every global of the machine library back to its load-time value (memory, CPU,
// counters, flags, display settings, text layer, audio ring). Tests call it first so that
// none depends on another's leftovers. Tables built once (flags, contention) are rebuilt.
void machine_defaults();

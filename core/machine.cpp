// The machine's memory, time base and run flags.
#include "core/machine.h"

uint8_t ROM[16384];
uint8_t RAM[131072];
uint8_t ROM_SINK[16384];
uint8_t* SLTPTR[4] = {ROM, RAM + 5 * 0x4000, RAM + 2 * 0x4000, RAM + 0 * 0x4000};
uint8_t* SLTWR[4] = {ROM_SINK, RAM + 5 * 0x4000, RAM + 2 * 0x4000, RAM + 0 * 0x4000};
uint8_t IO[65536];

int32_t model = 48;
int32_t tpf = TPF_48;
int32_t tpfh = TPFH;
int32_t tstates;
int32_t tstatesh;
int32_t pulldown;
int32_t IFBCLK;
uint8_t IFB_buffer = 2;
int32_t flashctr;

uint8_t exit_request;
std::atomic<uint8_t> still_frame;
uint8_t still_frame_old;
std::atomic<uint8_t> file_requester_mode;
uint8_t is_snapshot;
uint8_t is_tape;

void map_slot3(int bank) { SLTPTR[3] = SLTWR[3] = RAM + (bank & 7) * 0x4000; }

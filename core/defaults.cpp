// Putting the whole machine library back to its load-time state in one call.
#include <cstring>

#include "audio/beeper.h"
#include "core/loop.h"
#include "core/machine.h"
#include "core/surfaces.h"
#include "core/view.h"
#include "files/files.h"
#include "text/text.h"
#include "ula/capture.h"
#include "ula/ula.h"
#include "z80/memory.h"
#include "z80/z80.h"

void machine_defaults() {
    std::memset(ROM, 0, sizeof ROM);
    std::memset(RAM, 0, sizeof RAM);
    std::memset(IO, 0, sizeof IO);
    SLTPTR[0] = ROM;
    SLTWR[0] = ROM_SINK;
    SLTPTR[1] = SLTWR[1] = RAM + 5 * 0x4000;
    SLTPTR[2] = SLTWR[2] = RAM + 2 * 0x4000;
    map_slot3(0);

    model = 48;
    tpf = TPF_48;
    tpfh = TPFH;
    tstates = tstatesh = 0;
    pulldown = IFBCLK = 0;
    IFB_buffer = 2;
    flashctr = 0;
    exit_request = still_frame_old = 0;
    still_frame = 0;
    file_requester_mode = 0;
    is_snapshot = is_tape = 0;
    logical_frames = physical_frames = 0;

    z80 = Z80{};
    opcode = 0;
    tstates0 = tstatesd = 0;
    pending_EI = 0;
    interrupt_end = INTERRUPT_END;
    z80_steps = 0;
    z80_init_tables();

    std::memset(RTFB, 0, sizeof RTFB);
    std::memset(OUTSTK, 0, sizeof OUTSTK);
    OUTSP = 0;
    OUTNEW = OUTOLD = 0;
    screen_mode = 0;

    surfaces_defaults();
    view_defaults();
    text_defaults();
    audio_defaults();
    files_defaults();
}

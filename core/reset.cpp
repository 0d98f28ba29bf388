// Resetting the machine's CPU, frame counters and audio ring (not its memory).
#include "audio/beeper.h"
#include "core/host.h"
#include "core/loop.h"
#include "core/machine.h"
#include "ula/ula.h"
#include "z80/z80.h"

void reset_logical_system() {
    reset_Z80(); // also ends a HALT and cancels a pending EI
    tstates = tstatesh = 0;
    IFBCLK = 0;
    IFB_buffer = 2;
    pulldown = 0;
    host_audio_pause(true);
    enable_audio = 2;
    OUTSP = 0;
    // A callback already running must not see the ring positions half set back.
    host_audio_lock();
    AUDPOSR.store(0, std::memory_order_relaxed);
    AUDPOSW.store(0, std::memory_order_relaxed);
    AUDDAT.store(0, std::memory_order_relaxed);
    host_audio_unlock();
}

// Beeper sampling.
#include "audio/beeper.h"

#include <cstring>

uint8_t OUTAGE;
uint8_t AUDBUF[AUDBUF_SIZE];
std::atomic<int32_t> AUDPOSW;
std::atomic<int32_t> AUDPOSR;
std::atomic<uint8_t> AUDDAT;
int32_t enable_audio;

void audio_defaults() {
    OUTAGE = 0;
    std::memset(AUDBUF, 0, sizeof AUDBUF);
    AUDPOSW = 0;
    AUDPOSR = 0;
    AUDDAT = 0;
    enable_audio = 0;
}

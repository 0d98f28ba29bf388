// The audio device: signed 16-bit stereo at 48 kHz, fed from the sample ring (the beeper and
// the sound chip).
#include <cstdio>
#include <cstdlib>

#include <SDL/SDL.h>

#include "frontend/session.h"
#include "host/sdl/sdl_host.h"

void audio_callback(void* session, uint8_t* stream, int length) {
    static_cast<Session*>(session)->audio_fill(reinterpret_cast<StereoSample*>(stream),
                                               length / static_cast<int>(sizeof(StereoSample)));
}

void startup_audio(Session& session) {
    SDL_AudioSpec desired{};
    desired.freq = AUDIO_RATE;
    desired.format = AUDIO_S16SYS;
    desired.channels = 2;
    desired.samples = 512;
    desired.callback = audio_callback;
    desired.userdata = &session;
    // No obtained format: SDL then converts to whatever the device takes, and the callback
    // always writes exactly the format asked for.
    if (SDL_OpenAudio(&desired, nullptr) < 0) {
        std::fprintf(stderr, "Couldn't open audio: %s\n", SDL_GetError());
        std::exit(-1);
    }
}

// The audio device: signed 16-bit stereo at 48 kHz, fed from the sample ring (the beeper and
// the sound chip).
#include <string>

#include <SDL/SDL.h>

#include "frontend/session.h"
#include "host/sdl/sdl_host.h"

void audio_callback(void* session, uint8_t* stream, int length) {
    static_cast<Session*>(session)->audio_fill(reinterpret_cast<StereoSample*>(stream),
                                               length / static_cast<int>(sizeof(StereoSample)));
}

bool SdlHost::startup_audio(Session& session, std::string& why) {
    SDL_AudioSpec desired{};
    desired.freq = AUDIO_RATE;
    desired.format = AUDIO_S16SYS;
    desired.channels = 2;
    desired.samples = 512;
    desired.callback = audio_callback;
    desired.userdata = &session;
    // No obtained format: SDL then converts to whatever the device takes, and the callback
    // always writes exactly the format asked for.
    device_open = SDL_OpenAudio(&desired, nullptr) == 0;
    if (!device_open) {
        why = SDL_GetError();
        if (why.empty()) why = "the audio device cannot be opened";
    }
    return device_open;
}

void SdlHost::audio_pause(bool paused) {
    if (device_open) SDL_PauseAudio(paused ? 1 : 0);
}
void SdlHost::audio_lock() {
    if (device_open) SDL_LockAudio();
}
void SdlHost::audio_unlock() {
    if (device_open) SDL_UnlockAudio();
}

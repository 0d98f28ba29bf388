// The sound ring between the emulation thread, which writes a logical frame's samples at
// each frame end, and the host's audio callback, which plays them on its own thread.
#include "frontend/sound_ring.h"

#include <algorithm>
#include <cmath>

#include "spectrum/machine.h"

int32_t SoundRing::audio_unread() const {
    const int32_t r = AUDPOSR.load(std::memory_order_acquire) % AUDBUF_SIZE;
    const int32_t w = AUDPOSW.load(std::memory_order_relaxed) % AUDBUF_SIZE;
    return (w - r + AUDBUF_SIZE) % AUDBUF_SIZE;
}

bool SoundRing::audio_slot_free(int32_t base) const {
    // audio_unread acquires AUDPOSR: the callback's reads of everything before its read
    // position happened before this thread overwrites any of it.
    const int32_t w = AUDPOSW.load(std::memory_order_relaxed) % AUDBUF_SIZE;
    const int32_t unread = audio_unread();
    // The slot follows on from the write end; it is free when the unread span and the slot
    // together leave a gap in the ring. A ring filled to the last sample would have its write
    // end on its read position, which the callback takes for an empty ring (an underrun) and
    // this thread for room to write over samples not yet played.
    return base == w && unread + SAMPLES_PER_FRAME < AUDBUF_SIZE;
}

void SoundRing::mix_frame(Spectrum& m, bool tape_sound) {
    uint8_t levels[SAMPLES_PER_FRAME];
    m.beeper_frame_end(levels);
    // The tape's signal is mixed into the beeper's levels when it is to be heard; while a
    // tape loads fast the sound is muted (the chip still runs its frame).
    bool mute = false;
    if (m.tape_deck.attached()) {
        m.tape_frame_end(tape_sound ? levels : nullptr);
        mute = m.tape_deck.playing && !tape_sound;
    }
    float left[SAMPLES_PER_FRAME], right[SAMPLES_PER_FRAME];
    m.ay_frame_end(left, right); // silence where the machine has no chip
    // The level the next frame starts from: the speaker after every change of this frame,
    // also one stamped at or past its end (which fills no sample here).
    mix.frame(levels, left, right, SAMPLES_PER_FRAME, m.OUTAGE, mute, FRAME_SAMPLES,
              frame_end_sample);
}

void SoundRing::publish_frame() {
    // The slot is written only when the callback cannot be reading it (a callback four
    // frames behind keeps its samples; this frame is then not heard), and the samples are
    // stored before the write end moves (release), so the callback that sees the new
    // AUDPOSW sees them too. FRAME_SAMPLES keeps them either way (the headless runner's WAV).
    const int32_t base = AUDPOSW.load(std::memory_order_relaxed) % AUDBUF_SIZE;
    if (audio_slot_free(base)) {
        std::copy(FRAME_SAMPLES, FRAME_SAMPLES + SAMPLES_PER_FRAME, AUDBUF + base);
        AUDDAT.store(pack_sample(frame_end_sample), std::memory_order_release);
        AUDPOSW.store(base + SAMPLES_PER_FRAME, std::memory_order_release);
    } else {
        AUDDAT.store(pack_sample(frame_end_sample), std::memory_order_release);
    }
}

void SoundRing::clear() {
    AUDPOSR.store(0, std::memory_order_relaxed);
    AUDPOSW.store(0, std::memory_order_relaxed);
    AUDDAT.store(pack_sample(SILENCE), std::memory_order_relaxed);
    audio_gap = AudioGap{};
}

namespace {
int16_t to_sample(float v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
}
} // namespace

StereoSample SoundRing::AudioGap::next() {
    // Held for a frame's samples (a short gap is a flat step of the wave, as before), then
    // a glide towards silence: an exponential has no corner loud enough to click.
    if (length >= AUDIO_HOLD) {
        level[0] *= AUDIO_FADE;
        level[1] *= AUDIO_FADE;
    }
    length++;
    const StereoSample out{to_sample(level[0] + offset[0]), to_sample(level[1] + offset[1])};
    offset[0] *= AUDIO_FADE;
    offset[1] *= AUDIO_FADE;
    return out;
}

StereoSample SoundRing::AudioGap::play(StereoSample ring) {
    if (length) {
        // The ring goes on from the level the gap began at: playback starts where the fade
        // has got to and glides back, instead of jumping.
        offset[0] += level[0] - held[0];
        offset[1] += level[1] - held[1];
        length = 0;
    }
    if (offset[0] == 0 && offset[1] == 0) return ring;
    const StereoSample out{to_sample(ring.left + offset[0]), to_sample(ring.right + offset[1])};
    offset[0] *= AUDIO_FADE;
    offset[1] *= AUDIO_FADE;
    // Below half a step the offset changes no sample: playback is the ring's again, exactly.
    if (std::fabs(offset[0]) < 0.5f && std::fabs(offset[1]) < 0.5f) offset[0] = offset[1] = 0;
    return out;
}

void SoundRing::audio_fill(StereoSample* stream, int length, bool stopped) {
    if (stopped) {
        // Stopped machine: silence, and the read position stays where it is, so it never
        // passes the write end; playing resumes there.
        std::fill(stream, stream + length, SILENCE);
        return;
    }
    int32_t r = AUDPOSR.load(std::memory_order_relaxed);
    // Acquire: the samples of every slot up to the write end seen are there to be read.
    const int32_t w = AUDPOSW.load(std::memory_order_acquire) % AUDBUF_SIZE;
    AudioGap& gap = audio_gap;
    if (gap.length && (w - r % AUDBUF_SIZE + AUDBUF_SIZE) % AUDBUF_SIZE < gap.lead) {
        // After an underrun playing resumes only with the (now longer) lead in the ring, so
        // that the stall that emptied it is covered next time.
        for (int n = 0; n < length; n++) stream[n] = gap.next();
        return;
    }
    for (int n = 0; n < length; n++) {
        if (r == AUDBUF_SIZE) r = 0;
        // A write end at the ring's end is the same place as a read position of 0.
        if (r == w) {
            // Caught up with the writer: an underrun. Hold the last frame's final level, so
            // it is heard as a pause rather than a click, fade if it lasts, and wait here for
            // the next slot.
            if (gap.length == 0) {
                audio_underruns.fetch_add(1, std::memory_order_relaxed);
                gap.lead = std::min(gap.lead + SAMPLES_PER_FRAME, AUDIO_LEAD_MOST);
                const StereoSample held = unpack_sample(AUDDAT.load(std::memory_order_acquire));
                gap.held[0] = gap.level[0] = held.left;
                gap.held[1] = gap.level[1] = held.right;
            }
            for (; n < length; n++) stream[n] = gap.next();
            break;
        }
        stream[n] = gap.play(AUDBUF[r++]);
    }
    // Release: the writer that sees this position sees the reads before it done.
    AUDPOSR.store(r, std::memory_order_release);
}

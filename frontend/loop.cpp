// The main loop: the CPU, the emulated machine's 50 Hz frame and the display's 60 Hz frame.
//
// Both frame lengths are counted in emulated T-states: a logical frame is tpf (69888 on the
// 48K machine), a physical frame tpfh = 58240. Six physical frames last exactly as long as
// five 48K logical frames, and IFBCLK (0..5) and pulldown (0..4) walk that common cycle from
// the same phase after every reset.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "frontend/host.h"
#include "frontend/keys.h"
#include "frontend/session.h"

void Session::present() {
    const Spectrum& m = machine;
    host_present(*this, (m.IFB_buffer + 2) % 3, IFBCOE[m.IFBCLK][0], m.IFB_buffer,
                 IFBCOE[m.IFBCLK][1]);
}

int32_t Session::audio_unread() const {
    const int32_t r = AUDPOSR.load(std::memory_order_acquire) % AUDBUF_SIZE;
    const int32_t w = AUDPOSW.load(std::memory_order_relaxed) % AUDBUF_SIZE;
    return (w - r + AUDBUF_SIZE) % AUDBUF_SIZE;
}

bool Session::audio_slot_free(int32_t base) const {
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

void Session::mix_frame_sound() {
    Spectrum& m = machine;
    uint8_t levels[SAMPLES_PER_FRAME];
    m.beeper_frame_end(levels);
    // The tape's signal is mixed into the beeper's levels when it is to be heard; while a
    // tape loads fast the sound is muted (the chip still runs its frame).
    bool mute = false;
    if (m.tape_deck.attached()) {
        m.tape_frame_end(tape_sound ? levels : nullptr);
        mute = tape_fast();
    }
    float left[SAMPLES_PER_FRAME], right[SAMPLES_PER_FRAME];
    m.ay_frame_end(left, right); // silence where the machine has no chip
    // The level the next frame starts from: the speaker after every change of this frame,
    // also one stamped at or past its end (which fills no sample here).
    sound_mix.frame(levels, left, right, SAMPLES_PER_FRAME, m.OUTAGE, mute, FRAME_SAMPLES,
                    frame_end_sample);
}

void Session::render_logical_frame() {
    Spectrum& m = machine;
    // This frame's sound (beeper, tape signal, sound chip) into FRAME_SAMPLES, then into the
    // slot of the ring after the write end. The slot is written only when the callback
    // cannot be reading it (a callback four frames behind keeps its samples; this frame is
    // then not heard), and the samples are stored before the write end moves (release), so
    // the callback that sees the new AUDPOSW sees them too. FRAME_SAMPLES keeps them either
    // way (the headless runner's WAV).
    mix_frame_sound();
    tape_frame();
    const int32_t base = AUDPOSW.load(std::memory_order_relaxed) % AUDBUF_SIZE;
    if (audio_slot_free(base)) {
        std::copy(FRAME_SAMPLES, FRAME_SAMPLES + SAMPLES_PER_FRAME, AUDBUF + base);
        AUDDAT.store(pack_sample(frame_end_sample), std::memory_order_release);
        AUDPOSW.store(base + SAMPLES_PER_FRAME, std::memory_order_release);
    } else {
        AUDDAT.store(pack_sample(frame_end_sample), std::memory_order_release);
    }
    overlay_tick();
    // The text page shown alone hides the picture: its border is not painted, and the host's
    // screen is cleared to transparent black.
    const bool text_alone = overlay == 2;
    if (text_alone) host_clear_screen();
    // Loading fast, a picture nobody will see is not painted; the screen the beam fetches
    // next frame is reloaded all the same.
    if (!tape_fast() || std::chrono::steady_clock::now() - fast_shown >= FAST_LOAD_SHOW_PERIOD)
        m.rasterize_ULA(ULA_surface[m.IFB_buffer], screen_mode, !text_alone,
                        &ULA_painted[m.IFB_buffer]);
    else std::memcpy(m.RTFB, m.screen_bank(), sizeof m.RTFB);
    last_picture = m.IFB_buffer;
    logical_tstates += static_cast<uint64_t>(m.tpf);
    m.end_logical_frame();
    logical_frames++;
}

bool Session::render_physical_frame() {
    // One display refresh. While paused, each one redraws the same picture and reads the
    // keyboard, and the main loop comes back here without running the machine; F8 lets one
    // physical frame run before the pause holds again.
    {
        if (key_pressed(key::F7)) {
            still_frame = !still_frame;
            post_message(still_frame ? " PAUSE " : " RUN   ");
            overlay = 1;
        }
        // While a tape loads fast, a frame is shown only every FAST_LOAD_SHOW_PERIOD of real
        // time: a shown frame holds the machine to the display's pace.
        bool show = true;
        if (tape_fast() && !still_frame) {
            const auto now = std::chrono::steady_clock::now();
            show = now - fast_shown >= FAST_LOAD_SHOW_PERIOD;
            if (show) fast_shown = now;
        }
        if (show) present();
        // The audio device starts two physical frames after a reset at the earliest, and
        // only once the ring holds AUDIO_LEAD samples: the frames written ahead of the
        // device carry it over the emulation thread's stalls.
        if (enable_audio == 1) {
            if (audio_unread() >= AUDIO_LEAD) {
                enable_audio = 0;
                host_audio_pause(false);
            }
        } else if (enable_audio == 2) {
            enable_audio = 1;
        }
        read_keyboard();
        // Escape ends the program, paused or not; so does the host's quit request (a
        // window closed, a signal), which read_keyboard takes from the host.
        if (key_pressed(key::ESCAPE)) exit_request = 1;
        if (!exit_request && still_frame && !key_pressed(key::F8)) return false;
    }

    handle_control_keys();
    machine.end_physical_frame();
    physical_frames++;
    return true;
}

void Session::reset_logical_system() {
    machine.reset_logical_system();
    reset_audio();
}

void Session::reset_audio() {
    host_audio_pause(true);
    enable_audio = 2;
    // A callback already running must not see the ring positions half set back.
    host_audio_lock();
    AUDPOSR.store(0, std::memory_order_relaxed);
    AUDPOSW.store(0, std::memory_order_relaxed);
    AUDDAT.store(pack_sample(SILENCE), std::memory_order_relaxed);
    audio_gap = AudioGap{};
    host_audio_unlock();
}

bool Session::run_machine(uint64_t frame_limit) {
    Spectrum& m = machine;
    for (;;) {
        if (m.tstates >= m.tpf) {
            render_logical_frame();
            if (frame_clock() >= frame_limit) return !exit_request;
        }
        if (m.tstatesh >= m.tpfh) {
            if (exit_request) return false;
            // The machine stands still (requester open, or paused): no instruction runs and
            // no counter moves. Each display frame is one pass; the host is never waited on.
            bool held = true;
            if (file_requester_mode) {
                read_keyboard();
                handle_file_requester();
                present();
            } else {
                held = !render_physical_frame();
            }
            if (held) {
                held_frames++;
                if (exit_request) return false;
                if (frame_clock() >= frame_limit) return true;
                continue;
            }
        }
        // A pass runs one instruction. Where no frame end is due, running on to the next one
        // is the same as passing the checks once per instruction; where one is still due (a
        // tape block can carry the counters several frames ahead), exactly one runs.
        if (m.tstates >= m.tpf || m.tstatesh >= m.tpfh) m.z80_step();
        else m.z80_run(m.tpf, m.tpfh);
    }
}

void Session::main_loop() { run_machine(UINT64_MAX); }

namespace {
int16_t to_sample(float v) {
    return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0f, 32767.0f)));
}
} // namespace

StereoSample Session::AudioGap::next() {
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

StereoSample Session::AudioGap::play(StereoSample ring) {
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

void Session::audio_fill(StereoSample* stream, int length) {
    if (file_requester_mode.load(std::memory_order_acquire) ||
        still_frame.load(std::memory_order_acquire)) {
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

// The host seam for tests, the runner and the benchmarks.
#include <cstring>

#include "core/host.h"
#include "host/headless/headless.h"
#include "input/keyboard.h"

namespace headless {
uint8_t keys[key::LAST];
std::function<void()> on_pump;
Stats stats;

void attach_keyboard() { keyboard_attach(keys, key::LAST); }

void reset() {
    on_pump = nullptr;
    stats = Stats{};
    std::memset(keys, 0, sizeof keys);
}
} // namespace headless

void host_pump_events() {
    headless::stats.pumps++;
    if (headless::on_pump) headless::on_pump();
}

void host_present(int previous, float previous_weight, int current, float current_weight) {
    auto& s = headless::stats;
    s.presents++;
    s.previous = previous;
    s.previous_weight = previous_weight;
    s.current = current;
    s.current_weight = current_weight;
}

void host_clear_screen() { headless::stats.clears++; }

void host_audio_pause(bool paused) {
    if (headless::stats.audio_paused && !paused) headless::stats.audio_resumes++;
    headless::stats.audio_paused = paused;
}

// Nothing plays concurrently without a device.
void host_audio_lock() {}
void host_audio_unlock() {}

// The host seam for tests, the runner and the benchmarks.
#include <cstring>
#include <vector>

#include "frontend/host.h"
#include "frontend/session.h"
#include "host/headless/headless.h"

namespace headless {
uint8_t keys[key::LAST_WITH_JOY];
std::function<void()> on_pump;
Stats stats;
bool quit;

namespace {
struct QueuedKey {
    int key;
    bool down;
    uint32_t character;
};
std::vector<QueuedKey> queued;
Session* attached = nullptr;
} // namespace

void attach_keyboard(Session& session) {
    session.keyboard_attach(keys, key::LAST_WITH_JOY);
    attached = &session;
}

void queue_key_event(int key, bool down, uint32_t character) {
    queued.push_back({key, down, character});
}

void reset() {
    on_pump = nullptr;
    stats = Stats{};
    quit = false;
    queued.clear();
    std::memset(keys, 0, sizeof keys);
}
} // namespace headless

bool host_pump_events() {
    headless::stats.pumps++;
    if (headless::on_pump) headless::on_pump();
    if (headless::attached)
        for (const auto& e : headless::queued)
            headless::attached->key_event(e.key, e.down, e.character);
    headless::queued.clear();
    return headless::quit;
}

void host_present(const Session&, int previous, float previous_weight, int current,
                  float current_weight) {
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

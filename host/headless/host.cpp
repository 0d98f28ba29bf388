// The host for tests, the runner and the benchmarks.
#include <cstring>

#include "frontend/session.h"
#include "host/headless/headless.h"

void HeadlessHost::attach_keyboard(Session& session) {
    session.keyboard.attach(keys, key::LAST_WITH_JOY);
}

void HeadlessHost::queue_key_event(int key, bool down, uint32_t character) {
    queued.push_back({key, down, character});
}

void HeadlessHost::reset() {
    on_pump = nullptr;
    stats = Stats{};
    quit = false;
    queued.clear();
    std::memset(keys, 0, sizeof keys);
}

bool HeadlessHost::pump_events(Session& session) {
    stats.pumps++;
    if (on_pump) on_pump();
    for (const auto& e : queued) session.key_event(e.key, e.down, e.character);
    queued.clear();
    return quit;
}

void HeadlessHost::present(Session&, int previous, float previous_weight, int current,
                           float current_weight) {
    stats.presents++;
    stats.previous = previous;
    stats.previous_weight = previous_weight;
    stats.current = current;
    stats.current_weight = current_weight;
}

void HeadlessHost::audio_pause(bool paused) {
    if (stats.audio_paused && !paused) stats.audio_resumes++;
    stats.audio_paused = paused;
}

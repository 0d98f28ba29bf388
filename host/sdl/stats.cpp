// Run statistics.
#include "host/sdl/stats.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <sys/resource.h>

#include "frontend/session.h"
#include "host/sdl/sdl_host.h"

namespace run_stats {
namespace {
using clock = std::chrono::steady_clock;

clock::time_point start;
std::vector<float> compose_times, swap_times;
double hold_total;
uint64_t skipped_total;

// User and system time of all the process's threads (the audio thread and the GL
// driver's threads included).
double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double median_ms(std::vector<float> values) {
    if (values.empty()) return 0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle] * 1e3;
}

double mean_ms(const std::vector<float>& values) {
    if (values.empty()) return 0;
    double sum = 0;
    for (float v : values) sum += v;
    return sum / values.size() * 1e3;
}
} // namespace

bool enabled() {
    static const bool on = [] {
        const char* value = std::getenv("MARROWGLEAM_STATS");
        return value && *value && std::strcmp(value, "0") != 0;
    }();
    return on;
}

// Counted from the program's start, as the machine's clock is.
void begin() {
    start = program_start_time();
    compose_times.reserve(60 * 600);
    swap_times.reserve(60 * 600);
}

void frame(double compose, double swap, double hold) {
    compose_times.push_back(static_cast<float>(compose));
    swap_times.push_back(static_cast<float>(swap));
    hold_total += hold;
}

void skipped() { skipped_total++; }

void report(const Session& session, uint64_t grid_restarts) {
    const double seconds = std::chrono::duration<double>(clock::now() - start).count();
    const double cpu = cpu_seconds(); // the whole process's, from its start
    std::fprintf(stderr,
                 "marrowgleam stats: logical_frames=%llu physical_frames=%llu "
                 "displayed_frames=%zu seconds=%.3f logical_per_second=%.3f cpu_seconds=%.3f "
                 "cpu_per_second=%.3f compose_ms_median=%.3f compose_ms_mean=%.3f "
                 "swap_ms_median=%.3f swap_ms_mean=%.3f hold_seconds=%.3f skipped_frames=%llu "
                 "audio_underruns=%llu grid_restarts=%llu\n",
                 static_cast<unsigned long long>(session.logical_frames),
                 static_cast<unsigned long long>(session.physical_frames), compose_times.size(),
                 seconds, seconds > 0 ? session.logical_frames / seconds : 0.0, cpu,
                 seconds > 0 ? cpu / seconds : 0.0, median_ms(compose_times),
                 mean_ms(compose_times), median_ms(swap_times), mean_ms(swap_times), hold_total,
                 static_cast<unsigned long long>(skipped_total),
                 static_cast<unsigned long long>(session.sound.audio_underruns.load()),
                 static_cast<unsigned long long>(grid_restarts));
}
} // namespace run_stats

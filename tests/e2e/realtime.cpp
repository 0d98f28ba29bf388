// Measuring what the computer gives a busy thread, and the gate of the real-time tests.
#include "tests/e2e/realtime.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace {
// The computer's idle time so far in clock ticks (idle and waiting for I/O, all cores),
// from the first line of /proc/stat; -1 if it cannot be read.
double idle_ticks() {
    std::ifstream in("/proc/stat");
    std::string cpu;
    double user, nice, system, idle, iowait;
    if (!(in >> cpu >> user >> nice >> system >> idle >> iowait) || cpu != "cpu") return -1;
    return idle + iowait;
}

double load_average() {
    std::ifstream in("/proc/loadavg");
    double load = -1;
    in >> load;
    return in ? load : -1;
}

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string parts_text(const testing::TestPartResultArray& results) {
    std::string text;
    for (int i = 0; i < results.size(); i++) {
        const testing::TestPartResult& part = results.GetTestPartResult(i);
        if (!part.failed()) continue;
        text += "\n";
        if (part.file_name())
            text += std::string(part.file_name()) + ":" + std::to_string(part.line_number()) + ": ";
        text += part.summary();
    }
    return text;
}
} // namespace

CpuShare measure_cpu_share(std::chrono::milliseconds span) {
    CpuShare share;
    share.load = load_average();
    const double idle_before = idle_ticks();
    const double cpu_before = thread_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point now;
    // Busy, but asking the clock at every turn: the kernel counts the time the thread runs,
    // so no calibration of the work is needed.
    volatile unsigned spin = 0;
    do {
        for (int i = 0; i < 1000; i++) spin = spin + 1;
        now = std::chrono::steady_clock::now();
    } while (now - start < span);
    const double wall = std::chrono::duration<double>(now - start).count();
    share.core = (thread_cpu_seconds() - cpu_before) / wall;
    const double idle_after = idle_ticks();
    if (idle_before >= 0 && idle_after >= 0)
        share.idle_cores =
            (idle_after - idle_before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / wall;
    return share;
}

std::string describe(const CpuShare& share) {
    std::string text = figure(share.core) + " of a core";
    std::string besides;
    if (share.idle_cores >= 0) besides = figure(share.idle_cores) + " cores idle besides";
    if (share.load >= 0) besides += (besides.empty() ? "" : ", ") + ("load " + figure(share.load));
    if (!besides.empty()) text += " (" + besides + ")";
    return text;
}

bool RealTimeGate::open(std::string& reason) {
    before_ = probe_();
    if (before_.core < CORE_NEEDED) {
        reason = "the computer gives " + describe(before_) + ", the test needs " +
                 figure(CORE_NEEDED) + ": skipped";
        return false;
    }
    std::printf("The computer gives %s: the test runs.\n", describe(before_).c_str());
    catcher_ = std::make_unique<testing::ScopedFakeTestPartResultReporter>(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results_);
    return true;
}

bool RealTimeGate::failed() const {
    for (int i = 0; i < results_.size(); i++)
        if (results_.GetTestPartResult(i).failed()) return true;
    return false;
}

bool RealTimeGate::fatally_failed() const {
    for (int i = 0; i < results_.size(); i++)
        if (results_.GetTestPartResult(i).fatally_failed()) return true;
    return false;
}

void RealTimeGate::close() {
    if (!catcher_) return;
    catcher_.reset();
    if (failed()) {
        const CpuShare after = probe_();
        if (after.core < CORE_NEEDED)
            GTEST_SKIP() << "the computer gave " << describe(before_) << " before the test and "
                         << describe(after) << " right after it failed; the test needs "
                         << figure(CORE_NEEDED)
                         << ": skipped, its failures were:" << parts_text(results_);
        std::printf("The computer gave %s before the test and %s after it: its failures "
                    "count.\n",
                    describe(before_).c_str(), describe(after).c_str());
        for (int i = 0; i < results_.size(); i++) {
            const testing::TestPartResult& part = results_.GetTestPartResult(i);
            if (part.failed())
                ADD_FAILURE_AT(part.file_name() ? part.file_name() : "unknown", part.line_number())
                    << part.message();
        }
        return;
    }
    testing::Test::RecordProperty("cpu_share", describe(before_));
    // A skip inside the test (a program not built, a tool missing) stays a skip.
    for (int i = 0; i < results_.size(); i++) {
        const testing::TestPartResult& part = results_.GetTestPartResult(i);
        if (part.skipped()) GTEST_SKIP() << part.message();
    }
}

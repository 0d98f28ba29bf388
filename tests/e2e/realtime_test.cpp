// The gate of the real-time tests: what its probe measures on a computer kept busy, and what
// becomes of a test's outcome for each measurement before and after it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/realtime.h"

namespace {
TEST(RealTimeGate, ProbeFindsLessThanACoreWhenEveryCoreIsBusyTwice) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (unsigned i = 0; i < 2 * cores; i++)
        busy.emplace_back([&] {
            while (!stop.load(std::memory_order_relaxed)) {
            }
        });
    const CpuShare share = measure_cpu_share();
    stop = true;
    for (std::thread& t : busy) t.join();
    // The probe is one of 2n + 1 busy threads on n cores: about n / (2n + 1) of a core.
    EXPECT_GT(share.core, 0.05) << describe(share);
    EXPECT_LT(share.core, 0.7) << describe(share);
    EXPECT_LT(share.idle_cores, 0.3) << describe(share);
    EXPECT_GE(share.idle_cores, 0) << describe(share);
}

enum class Body { passes, fails, skips };
enum class Outcome { not_run, passed, failed, skipped };

// A test run through the gate with the probe's figures given; its outcome as the test
// program would report it, and the message with it.
struct GatedRun {
    Outcome outcome = Outcome::passed;
    std::string message;
    int probes = 0;
};
GatedRun through_gate(double before, double after, Body body) {
    GatedRun run;
    RealTimeGate gate([&, n = 0]() mutable {
        run.probes++;
        return CpuShare{n++ == 0 ? before : after, 0.5, 9.5};
    });
    testing::TestPartResultArray reported;
    {
        testing::ScopedFakeTestPartResultReporter catcher(
            testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &reported);
        std::string reason;
        if (!gate.open(reason)) return {Outcome::not_run, reason, run.probes};
        [&] {
            if (body == Body::fails) ADD_FAILURE() << "tone 250 Hz";
            if (body == Body::skips) GTEST_SKIP() << "xdotool not installed";
        }();
        EXPECT_EQ(gate.failed(), body == Body::fails);
        gate.close();
    }
    for (int i = 0; i < reported.size(); i++) {
        const testing::TestPartResult& part = reported.GetTestPartResult(i);
        if (part.failed()) run.outcome = Outcome::failed;
        if (part.skipped() && run.outcome != Outcome::failed) run.outcome = Outcome::skipped;
        run.message += part.message();
    }
    return run;
}

TEST(RealTimeGate, TestRunsOnlyWithEnoughOfACoreAndFailsOnlyWhenItStaysAvailable) {
    struct Case {
        double before, after;
        Body body;
        Outcome outcome;
        int probes;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {0.43, 1.0, Body::passes, Outcome::not_run, 1, {"0.43 of a core", "needs 0.90"}},
        {0.97, 1.0, Body::passes, Outcome::passed, 1, {}},
        {0.97, 1.0, Body::skips, Outcome::skipped, 1, {"xdotool not installed"}},
        {0.97, 0.95, Body::fails, Outcome::failed, 2, {"tone 250 Hz"}},
        {0.97, 0.31, Body::fails, Outcome::skipped, 2, {"0.97 of a", "0.31 of a", "tone 250"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.before) + " then " + std::to_string(c.after));
        const GatedRun run = through_gate(c.before, c.after, c.body);
        EXPECT_EQ(run.outcome, c.outcome) << run.message;
        EXPECT_EQ(run.probes, c.probes);
        for (const std::string& words : c.said)
            EXPECT_NE(run.message.find(words), std::string::npos) << run.message;
    }
}
} // namespace

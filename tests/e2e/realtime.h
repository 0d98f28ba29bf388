// Tests that run the full-screen program against the wall clock (50 frames a second, a
// tone's pitch, keys typed at a human pace) need the computer to give the program about a
// core whenever it asks. On a computer busy with other work they would measure that work,
// not the program. Such a test first measures what the computer gives right now and is
// skipped, with the figures, when that is too little; and a failure is not counted when a
// measurement right after it shows that the computer starved the program meanwhile.
#pragma once

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

// What the computer gave one busy thread over a short span of wall time.
struct CpuShare {
    double core = 0;        // CPU seconds the thread got per second of wall time
    double idle_cores = -1; // cores left idle meanwhile (from /proc/stat; -1 if unreadable)
    double load = -1;       // the one-minute load average (-1 if unreadable)
};

// Keeps the calling thread busy for `span` of wall time and measures the CPU time it got.
// Linux shares the cores between sessions first (autogroups) and only then between the
// threads of a session: the probe runs in the test's session, where the program and its X
// server will run, so it measures what they would share, whatever nice value they have.
CpuShare measure_cpu_share(std::chrono::milliseconds span = std::chrono::milliseconds(400));

// "0.43 of a core (1.2 cores idle besides, load 10.3)"
std::string describe(const CpuShare& share);

// The full-screen program's thread runs the machine and composes every frame with Mesa's
// software renderer; beside it the X server copies the frames. On a 1280 x 720 screen at
// full speed the program alone takes 0.86 CPU seconds a second (its statistics line), so its
// session must be able to get nearly a whole core.
constexpr double CORE_NEEDED = 0.9;

// Guards one real-time test: `open` before it measures the computer and, when the test can
// run, catches what the test reports; `close` after it passes the test's failures on, or
// turns them into a skip when the computer has been starving the test.
class RealTimeGate {
  public:
    using Probe = std::function<CpuShare()>;
    explicit RealTimeGate(Probe probe = [] { return measure_cpu_share(); })
        : probe_(std::move(probe)) {}

    // False, with the measurement as the reason, when the computer cannot give the test
    // what it needs.
    bool open(std::string& reason);
    // A failure of the test so far (the test's own HasFailure cannot see what is caught).
    bool failed() const;
    bool fatally_failed() const;
    // Passes on what the test reported; to be called from the fixture's TearDown.
    void close();

  private:
    Probe probe_;
    CpuShare before_;
    testing::TestPartResultArray results_;
    std::unique_ptr<testing::ScopedFakeTestPartResultReporter> catcher_;
};

// The fixture of a real-time test without an X session of its own.
class RealTime : public testing::Test {
  protected:
    void SetUp() override {
        std::string reason;
        if (!gate_.open(reason)) GTEST_SKIP() << reason;
    }
    void TearDown() override { gate_.close(); }
    bool HasFailure() const { return gate_.failed() || testing::Test::HasFailure(); }
    bool HasFatalFailure() const {
        return gate_.fatally_failed() || testing::Test::HasFatalFailure();
    }

    RealTimeGate gate_;
};

#include "platform/PeriodicTimer.h"
#include "platform/Platform.h"
#include "RecordingDesktop.h"
#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>
#include <thread>

using namespace caltrix::platform;

TEST(VirtualClock, StandsStillUntilTheMainThreadWaits)
{
    VirtualClock clock(500);
    EXPECT_EQ(clock.tickCount(), 500u);
    clock.sleep(1200);
    EXPECT_EQ(clock.tickCount(), 1700u);
    EXPECT_EQ(clock.elapsed(), 1200u);
}

TEST(VirtualClock, TickCountWrapsAt32Bits)
{
    VirtualClock clock(0xFFFFFF00u);
    clock.sleep(0x200);
    EXPECT_EQ(clock.tickCount(), 0x100u);
}

TEST(VirtualClock, ScheduledWorkRunsWhenTimePassesIt)
{
    VirtualClock clock;
    std::vector<std::uint64_t> ran;
    clock.callAfter(300, [&] { ran.push_back(clock.elapsed()); });
    const ScheduleId dropped = clock.callAfter(200, [&] { ran.push_back(9999); });
    clock.callAfter(100, [&] { ran.push_back(clock.elapsed()); });
    clock.cancel(dropped);
    while (clock.elapsed() < 1000) {
        clock.waitForEvents(1000 - static_cast<std::uint32_t>(clock.elapsed()));
        clock.runDueWork();
    }
    EXPECT_EQ(ran, (std::vector<std::uint64_t> { 100, 300 }));
}

TEST(VirtualClock, WorkerTimedWaitEndsOnSignalOrTimeout)
{
    VirtualClock clock;
    WakeEvent event(clock);
    std::vector<std::pair<bool, std::uint64_t>> results; // written by the worker, read after join
    bool ended = false;
    clock.threadStarting();
    std::thread worker([&] {
        for (int i = 0; i < 2; ++i) {
            const bool set = clock.wait(event, 1000);
            results.emplace_back(set, clock.elapsed());
        }
        clock.threadFinished(ended);
    });
    clock.waitForEvents(5000); // the first wait times out at 1000
    EXPECT_EQ(clock.elapsed(), 1000u);
    event.set(); // ends the second wait at once
    clock.waitRunningMainRequests([&] { return ended; });
    worker.join();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], std::make_pair(false, std::uint64_t { 1000 }));
    EXPECT_EQ(results[1], std::make_pair(true, std::uint64_t { 1000 }));
}

TEST(VirtualClock, WorkerRequestRunsOnTheMainThreadBeforeTimeMoves)
{
    VirtualClock clock;
    std::thread::id ranOn;
    std::uint64_t ranAt = 0;
    bool ended = false;
    clock.threadStarting();
    std::thread worker([&] {
        clock.sleep(250);
        clock.runOnMainAndWait([&] {
            ranOn = std::this_thread::get_id();
            ranAt = clock.elapsed();
        });
        clock.threadFinished(ended);
    });
    clock.waitForEvents(1000);
    EXPECT_EQ(clock.elapsed(), 250u);
    clock.waitForEvents(1000); // a request is pending: no time passes
    EXPECT_EQ(clock.elapsed(), 250u);
    clock.waitRunningMainRequests([&] { return ended; });
    worker.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_EQ(ranAt, 250u);
}

TEST(RealClock, RunOnMainFromAWorkerIsServedByTheEventLoop)
{
    RealClock clock;
    std::atomic<bool> ran { false };
    bool ended = false;
    std::thread worker([&] {
        clock.runOnMainAndWait([&] { ran = true; });
        clock.threadFinished(ended);
    });
    // The eventfd wakes the blocking event loop; no deadline is needed for the request to run.
    while (!ran)
        clock.waitForEvents(10000);
    clock.waitRunningMainRequests([&] { return ended; });
    worker.join();
    EXPECT_TRUE(ran);
}

// Posted work runs on the main thread in the order posted, never inside the post; work of an
// owner dropped before it ran does not run at all.
TEST(RealClock, PostedWorkRunsInOrderUnlessItsOwnerDropsIt)
{
    RealClock clock;
    std::vector<int> ran;
    int keep = 0;
    int drop = 0;
    std::thread worker([&] {
        clock.postToMain(&keep, [&] { ran.push_back(1); });
        clock.postToMain(&drop, [&] { ran.push_back(2); });
        clock.postToMain(&keep, [&] { ran.push_back(3); });
    });
    worker.join();
    clock.postToMain(&keep, [&] { ran.push_back(4); });
    EXPECT_TRUE(ran.empty()) << "not inside the post";
    clock.dropPosted(&drop);
    clock.runMainRequests();
    EXPECT_EQ(ran, (std::vector<int> { 1, 3, 4 }));
}

// An error thrown on the main thread on a worker's behalf has no caller to go to: it is shown as
// an unhandled error, and the worker goes on.
TEST(RealClock, AnErrorInAMainThreadRequestIsReportedAsUnhandled)
{
    RealClock clock;
    RecordingDesktop desktop;
    ScopedDesktop scoped(desktop);
    bool ended = false;
    std::thread worker([&] {
        clock.runOnMainAndWait([] { throw std::runtime_error("the handler failed"); });
        clock.postToMain(nullptr, [] { throw 42; });
        clock.threadFinished(ended);
    });
    clock.waitRunningMainRequests([&] { return ended; });
    worker.join();
    clock.runMainRequests();
    ASSERT_EQ(desktop.boxes.size(), 2u);
    EXPECT_EQ(desktop.boxes[0], unhandledErrorBox(QStringLiteral("the handler failed")));
    EXPECT_EQ(desktop.boxes[1].caption, ApplicationTitle);
}

TEST(RealClock, TimedWaitOfAWorkerTimesOutOrSeesTheSignal)
{
    RealClock clock;
    WakeEvent event(clock);
    EXPECT_FALSE(clock.wait(event, 1));
    event.set();
    EXPECT_TRUE(clock.wait(event, Clock::Infinite));
    EXPECT_FALSE(clock.wait(event, 0)); // auto-reset: the signal was consumed
}

TEST(PeriodicTimer, TicksEveryIntervalAndRestartsOnIntervalChange)
{
    VirtualClock clock;
    std::vector<std::uint64_t> ticks;
    PeriodicTimer timer(clock, 100, [&] { ticks.push_back(clock.elapsed()); });
    timer.setEnabled(true);
    auto runUntil = [&](std::uint64_t t) {
        while (clock.elapsed() < t) {
            clock.waitForEvents(static_cast<std::uint32_t>(t - clock.elapsed()));
            clock.runDueWork();
        }
    };
    runUntil(250);
    timer.setInterval(300); // counts from 250
    runUntil(900);
    timer.setEnabled(false);
    runUntil(2000);
    EXPECT_EQ(ticks, (std::vector<std::uint64_t> { 100, 200, 550, 850 }));
}

// The program installs its clock once the application object exists; a use before that is a
// programming error that ends the program with a sentence saying so.
TEST(ProgramClockDeathTest, IsInstalledForItsLifeAndItsAbsenceIsLoud)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(caltrix::platform::clock(), "used before the program installed one");
    {
        ProgramClock program;
        EXPECT_EQ(&caltrix::platform::clock(), &program.clock());
    }
    EXPECT_DEATH(caltrix::platform::clock(), "ProgramClock");
}

// An object that keeps a clock must not outlive it: destroying the clock first is loud.
TEST(ProgramClockDeathTest, AClockDestroyedBeforeATimerMadeOnItIsLoud)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto clock = std::make_unique<VirtualClock>();
            PeriodicTimer timer(*clock);
            clock.reset();
        },
        "destroy them before their clock");
}

#include "platform/PeriodicTimer.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
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

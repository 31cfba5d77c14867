#include "devicebase/Helpers.h"
#include "devicebase/VelTimerU.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

using namespace caltrix;
using namespace caltrix::devicebase;

namespace {

// A timer on a virtual clock that starts at 0, with a handler recording when it ran.
class VelTimerTest : public ::testing::Test {
protected:
    platform::VirtualClock clock;
    platform::ScopedClock scope { clock };
    std::unique_ptr<TVelTimer> timer = std::make_unique<TVelTimer>(nullptr);
    std::vector<std::uint64_t> ticks;
    std::thread::id mainThread = std::this_thread::get_id();
    bool offMainThread = false;

    void SetUp() override
    {
        timer->OnTimer = [this](platform::TObject*) {
            ticks.push_back(clock.elapsed());
            offMainThread |= std::this_thread::get_id() != mainThread;
        };
    }
    void runUntil(std::uint64_t t) { WaitProcessingMessages(static_cast<std::int32_t>(t - clock.elapsed())); }
    using Ticks = std::vector<std::uint64_t>;
};

} // namespace

TEST_F(VelTimerTest, NewTimerIsDisabledWithItsDefaults)
{
    EXPECT_FALSE(timer->Enabled());
    EXPECT_EQ(timer->GetInterval(), 1000u);
    EXPECT_EQ(timer->GetThreadPriority(), TThreadPriority::tpNormal);
    EXPECT_FALSE(timer->AllowZero);
    EXPECT_EQ(timer->Elapsed, 0);
    EXPECT_EQ(timer->MeasuredElapsed, 0);
    EXPECT_EQ(timer->LastGap, 0);
    EXPECT_EQ(timer->Mark1, 0);
    EXPECT_EQ(timer->LastTick, clock.tickCount());
    runUntil(5000);
    EXPECT_TRUE(ticks.empty());
}

TEST_F(VelTimerTest, FirstTickComesOneIntervalAfterEnablingOnTheMainThread)
{
    runUntil(300);
    timer->SetEnabled(true);
    timer->SetEnabled(true); // twice is once
    runUntil(3500);
    EXPECT_EQ(ticks, (Ticks { 1300, 2300, 3300 }));
    EXPECT_FALSE(offMainThread);
    EXPECT_EQ(timer->Elapsed, 3000);
    EXPECT_EQ(timer->MeasuredElapsed, 3300) << "measured from the reset at creation";
    EXPECT_EQ(timer->LastGap, 1000);
}

TEST_F(VelTimerTest, ChangingTheIntervalRestartsTheCount)
{
    timer->SetEnabled(true);
    runUntil(700);
    timer->SetInterval(500);
    runUntil(2000);
    EXPECT_EQ(ticks, (Ticks { 1200, 1700 }));
}

TEST_F(VelTimerTest, DisablingParksAndEnablingAgainWaitsAFullInterval)
{
    timer->SetEnabled(true);
    runUntil(1500);
    timer->SetEnabled(false);
    timer->SetEnabled(false);
    runUntil(4000);
    timer->SetEnabled(true);
    runUntil(5600);
    EXPECT_EQ(ticks, (Ticks { 1000, 5000 }));
}

TEST_F(VelTimerTest, ZeroIntervalWithoutAllowZeroNeverTicksUntilAnIntervalIsSet)
{
    timer->SetInterval(0);
    timer->SetEnabled(true);
    EXPECT_TRUE(timer->Enabled());
    runUntil(3000);
    EXPECT_TRUE(ticks.empty());
    timer->SetInterval(500);
    runUntil(4100);
    EXPECT_EQ(ticks, (Ticks { 3500, 4000 }));
}

TEST_F(VelTimerTest, ZeroIntervalWithAllowZeroTicksBackToBack)
{
    timer->AllowZero = true;
    timer->SetInterval(0);
    timer->SetEnabled(true);
    runUntil(20);
    EXPECT_GE(ticks.size(), 10u);
}

// The tick stops a failing handler's error there, and says so on standard error.
TEST_F(VelTimerTest, AFailingHandlerDoesNotStopTheTimer)
{
    int calls = 0;
    timer->OnTimer = [&](platform::TObject*) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    timer->SetEnabled(true);
    testing::internal::CaptureStderr();
    runUntil(3000);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(timer->Elapsed, 3000);
    EXPECT_NE(said.find("Caltrix: stopped an error while running the thread timer's tick: handler failed\n"), std::string::npos)
        << said;
}

TEST_F(VelTimerTest, ATickPendingWhenDisabledDoesNothing)
{
    timer->SetEnabled(true);
    clock.sleep(1000); // the worker hands its tick over; the main thread has not run it yet
    timer->SetEnabled(false);
    platform::processPendingMessages();
    EXPECT_TRUE(ticks.empty());
    EXPECT_EQ(timer->Elapsed, 0);
}

TEST_F(VelTimerTest, DestroyingWithATickPendingReturnsAndRunsNoTick)
{
    timer->SetEnabled(true);
    clock.sleep(1000);
    timer.reset();
    EXPECT_TRUE(ticks.empty());
    EXPECT_EQ(clock.elapsed(), 1000u);
}

TEST_F(VelTimerTest, DesignModeKeepsTheTimerOff)
{
    timer->SetDesigning(true);
    timer->SetEnabled(true);
    EXPECT_FALSE(timer->Enabled());
}

TEST_F(VelTimerTest, RestartAtMovesTheCountersAndKeepsEnabled)
{
    timer->SetEnabled(true);
    runUntil(2500);
    timer->RestartAt(60000);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(timer->Elapsed, 60000);
    EXPECT_EQ(timer->MeasuredElapsed, 60000);
    EXPECT_EQ(timer->Mark1, 60000);
    EXPECT_EQ(timer->LastGap, 0);
    runUntil(3100);
    EXPECT_EQ(timer->Elapsed, 61000);
    EXPECT_EQ(timer->MeasuredElapsed, 60500) << "measured from the restart at 2500";
}

TEST_F(VelTimerTest, PriorityFollowsTheSevenStepScale)
{
    timer->SetThreadPriority(TThreadPriority::tpHigher);
    timer->SetEnabled(true);
    EXPECT_EQ(timer->TimerThread.priority(), QThread::HighPriority);
    timer->SetThreadPriority(TThreadPriority::tpLowest);
    EXPECT_EQ(timer->GetThreadPriority(), TThreadPriority::tpLowest);
    EXPECT_EQ(timer->TimerThread.priority(), QThread::LowestPriority);
}

TEST(VelTimerRealClock, DestroyingAnEnabledTimerCutsTheWaitShort)
{
    // On the machine's clock, with a ten-minute interval: the destructor wakes the worker instead
    // of waiting for the interval, and no tick runs.
    platform::RealClock clock;
    platform::ScopedClock scope(clock);
    int ticks = 0;
    auto timer = std::make_unique<TVelTimer>(nullptr);
    timer->OnTimer = [&ticks](platform::TObject*) { ++ticks; };
    timer->SetInterval(600000);
    timer->SetEnabled(true);
    const std::uint32_t before = clock.tickCount();
    timer.reset();
    EXPECT_LT(clock.tickCount() - before, 60000u) << "the destructor waited for the interval";
    EXPECT_EQ(ticks, 0);
}

// A handler that frees its own timer (a window closed from a statistics tick) ends the worker
// without waiting for the tick it is inside of.
TEST_F(VelTimerTest, AHandlerThatFreesItsOwnTimerReturns)
{
    timer->OnTimer = [this](platform::TObject*) {
        ticks.push_back(clock.elapsed());
        timer.reset();
    };
    timer->SetEnabled(true);
    runUntil(5000);
    EXPECT_EQ(ticks, Ticks { 1000 });
    EXPECT_EQ(timer, nullptr);
}

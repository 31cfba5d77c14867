// The one way out of a callback: every exception is shown in the unhandled-error box or stopped
// with its cause on standard error, and none travels on.
#include "platform/Error.h"
#include "platform/GuardedCall.h"
#include "platform/PeriodicTimer.h"
#include "platform/Platform.h"
#include "platform/VirtualClock.h"
#include "RecordingDesktop.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

using namespace caltrix::platform;

TEST(GuardedCall, ShowsOrStopsEveryKindOfErrorAndLetsNoneOut)
{
    const struct {
        const char* what;
        std::function<void()> fails;
        const char* message;
    } thrown[] = {
        { "standard error", [] { throw std::runtime_error("the disk is full"); }, "the disk is full" },
        { "program error", [] { throw Error(QStringLiteral("'x' is not a valid integer value")); },
            "'x' is not a valid integer value" },
        { "no known type", [] { throw 42; }, "An unknown error occurred while running the test's handler." },
    };
    for (const auto& t : thrown) {
        SCOPED_TRACE(t.what);
        RecordingDesktop desktop;
        ScopedDesktop scoped(desktop);

        testing::internal::CaptureStderr();
        EXPECT_FALSE(guardedCall(Escaped::Shown, "running the test's handler", t.fails));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        ASSERT_EQ(desktop.boxes.size(), 1u);
        EXPECT_EQ(desktop.boxes[0], unhandledErrorBox(QString::fromUtf8(t.message)));

        testing::internal::CaptureStderr();
        EXPECT_FALSE(guardedCall(Escaped::Stopped, "running the test's handler", t.fails));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("Caltrix: stopped an error while running the test's handler: ") + t.message + "\n");
        EXPECT_EQ(desktop.boxes.size(), 1u); // nothing more shown
    }
    EXPECT_TRUE(guardedCall(Escaped::Shown, "running the test's handler", [] { }));
}

// A timer's handler that fails is one of the program's handlers: its error is shown, and the timer
// keeps its rhythm instead of the error reaching Qt's event loop.
TEST(GuardedCall, AFailingTimerHandlerIsShownAndTheTimerGoesOn)
{
    VirtualClock clock;
    RecordingDesktop desktop;
    ScopedDesktop scoped(desktop);
    int calls = 0;
    PeriodicTimer timer(clock, 100, [&] {
        ++calls;
        throw std::runtime_error("the handler failed");
    });
    timer.setEnabled(true);
    while (clock.elapsed() < 300) {
        clock.waitForEvents(static_cast<std::uint32_t>(300 - clock.elapsed()));
        clock.runDueWork();
    }
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(desktop.boxes.size(), 3u);
    EXPECT_EQ(desktop.boxes[0], unhandledErrorBox(QStringLiteral("the handler failed")));
}

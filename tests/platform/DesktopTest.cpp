#include "platform/Platform.h"
#include "RecordingDesktop.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace caltrix::platform;

TEST(UnhandledErrorBox, AddsFullStopOnlyWhenMissing)
{
    struct Case {
        const char* message;
        const char* shown;
    };
    const Case cases[] = {
        { "'abc' is not a valid integer value", "'abc' is not a valid integer value." },
        { "Already ends.", "Already ends." },
        { "", "." },
    };
    for (const auto& c : cases) {
        const MessageBox box = unhandledErrorBox(QString::fromUtf8(c.message));
        EXPECT_EQ(box.text, QString::fromUtf8(c.shown));
        EXPECT_EQ(box.caption, QStringLiteral("Caltrix"));
        EXPECT_EQ(box.icon, BoxIcon::Error);
    }
}

TEST(UnhandledErrorBox, GoesToTheCurrentDesktop)
{
    RecordingDesktop recorder;
    ScopedDesktop scope(recorder);
    showUnhandledError(std::runtime_error("boom"));
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, QStringLiteral("boom."));
}

TEST(DecimalSeparator, FollowsTheDefaultLocale)
{
    {
        ScopedLocale comma(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(decimalSeparator(), QLatin1Char(','));
    }
    ScopedLocale point(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(decimalSeparator(), QLatin1Char('.'));
}

TEST(ConsoleDesktop, IsTheDesktopOfAProgramWithoutWindows)
{
    EXPECT_NE(dynamic_cast<ConsoleDesktop*>(&desktop()), nullptr);
    testing::internal::CaptureStderr();
    ConsoleDesktop().showMessageBox(unhandledErrorBox(QStringLiteral("No ANT stick was found")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Caltrix: No ANT stick was found.\n");
}

#include "app/CommandLine.h"

#include <gtest/gtest.h>

using namespace caltrix::app;

TEST(CommandLine, HelpAndVersionAnswerBeforeStart)
{
    struct Case {
        QStringList arguments;
        const char* starts; // the answer's beginning; null: no answer, the program starts
    };
    const Case cases[] = {
        { { "caltrix" }, nullptr },
        { { "caltrix", "--help" }, "Usage: caltrix" },
        { { "caltrix", "-h" }, "Usage: caltrix" },
        { { "caltrix", "-platform", "offscreen", "--version" }, "caltrix " },
        { { "caltrix", "-v" }, "caltrix " },
        { { "caltrix", "--", "--help" }, nullptr },
        { { "caltrix", "-platform", "offscreen" }, nullptr },
    };
    for (const Case& c : cases) {
        const auto answer = AnswerBeforeStart(c.arguments);
        ASSERT_EQ(answer.has_value(), c.starts != nullptr) << c.arguments.join(' ').toStdString();
        if (answer) {
            EXPECT_TRUE(answer->text.startsWith(QLatin1String(c.starts))) << answer->text.toStdString();
            EXPECT_EQ(answer->exitCode, 0);
            EXPECT_FALSE(answer->toStandardError);
        }
    }
}

TEST(CommandLine, ArgumentsLeftOverByQtAreRefused)
{
    EXPECT_FALSE(RefuseLeftovers({ "caltrix" }));
    const auto refused = RefuseLeftovers({ "caltrix", "settings.reg" });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->exitCode, 2);
    EXPECT_TRUE(refused->toStandardError);
    EXPECT_TRUE(refused->text.contains("'settings.reg'"));
    EXPECT_TRUE(refused->text.contains("caltrix --help"));

    EXPECT_FALSE(RefuseLeftovers({ "caltrix", "--settings" }));
    EXPECT_TRUE(SettingsOnly({ "caltrix", "--settings" }));
    EXPECT_FALSE(SettingsOnly({ "caltrix" }));
    const auto extra = RefuseLeftovers({ "caltrix", "--settings", "now" });
    ASSERT_TRUE(extra);
    EXPECT_TRUE(extra->text.contains("'now'"));
}

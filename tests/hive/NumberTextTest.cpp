#include "hive/NumberText.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace caltrix;

TEST(NumberText, IntegersAreSignedDecimalsWithin32Bits)
{
    const std::pair<const char*, std::int32_t> good[] = { { "0", 0 }, { "+5", 5 }, { "-7", -7 }, { "0042", 42 },
        { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 } };
    for (const auto& [text, value] : good)
        EXPECT_EQ(hive::textToInt(QLatin1String(text)), value) << text;
    const char* const bad[] = { "", "-", " 5", "5 ", "0x10", "$10", "1.0", "2147483648", "-2147483649",
        "99999999999999999999" };
    for (const char* text : bad) {
        try {
            hive::textToInt(QLatin1String(text));
            ADD_FAILURE() << text;
        } catch (const platform::ConvertError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(QLatin1String(text)));
        }
    }
}

TEST(NumberText, FloatsUseTheUserDecimalSeparator)
{
    struct Case {
        QLocale::Language language;
        const char* text;
        bool valid;
        long double value;
    };
    const Case cases[] = {
        { QLocale::German, "28,6", true, 28.6L },
        { QLocale::German, "28.6", false, 0 },
        { QLocale::German, "1.000,5", false, 0 },
        { QLocale::English, "28.6", true, 28.6L },
        { QLocale::English, "28,6", false, 0 },
        { QLocale::English, " -.5 ", true, -0.5L },
        { QLocale::English, "5.", true, 5.0L },
        { QLocale::English, "1.5E3", true, 1500.0L },
        { QLocale::English, "1e99999", false, 0 },
        { QLocale::English, "inf", false, 0 },
        { QLocale::English, "", false, 0 },
        { QLocale::English, ".", false, 0 },
        { QLocale::English, "1e", false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        platform::ScopedLocale locale { QLocale(c.language) };
        if (c.valid) {
            EXPECT_EQ(hive::textToFloat(QLatin1String(c.text)), c.value);
            continue;
        }
        try {
            hive::textToFloat(QLatin1String(c.text));
            ADD_FAILURE() << "accepted";
        } catch (const platform::ConvertError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("'%1' is not a valid floating point value").arg(QLatin1String(c.text)));
        }
    }
}

#include "QtPrinters.h"
#include "ScopedEnv.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "runs/RunSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::runs;

namespace caltrix::runs {
inline void PrintTo(const RunSettings& s, std::ostream* os)
{
    *os << "band " << s.bandKmh << ", average " << s.averageSeconds << ", hold " << s.holdSeconds << ", strip "
        << s.stripShown;
}
} // namespace caltrix::runs

namespace {

// Caltrix's settings file in a folder of the test's own.
class RunSettingsFile : public ::testing::Test {
protected:
    void writeFile(const QByteArray& bytes)
    {
        QDir().mkpath(config.path() + QStringLiteral("/caltrix"));
        QFile file(config.path() + QStringLiteral("/caltrix/caltrix.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir config;
    ScopedEnv xdg { "XDG_CONFIG_HOME", config.path() };
};

TEST_F(RunSettingsFile, AMissingFileGivesTheDefaults)
{
    EXPECT_EQ(readRunSettings(), RunSettings {});
    EXPECT_EQ(runSettingsFilePath(), config.path() + QStringLiteral("/caltrix/caltrix.conf"));
}

TEST_F(RunSettingsFile, StoredSettingsAreReadBackFromCaltrixsOwnFile)
{
    platform::ScopedLocale german { QLocale(QLocale::German) };
    storeRunSetting(QStringLiteral("run-band"), QStringLiteral("1.5"));
    storeRunSetting(QStringLiteral("run-average"), QStringLiteral("5"));
    storeRunSetting(QStringLiteral("run-hold"), QStringLiteral("60"));
    storeRunSetting(QStringLiteral("run-strip"), QStringLiteral("off"));

    EXPECT_EQ(readRunSettings(), (RunSettings { 1.5, 5, 60, false }));
    QFile file(config.path() + QStringLiteral("/caltrix/caltrix.conf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("band=1.5"));
}

TEST_F(RunSettingsFile, ADamagedFileOrAValueOutOfRangeReadsAsTheDefault)
{
    writeFile(QByteArray("\x00\xff\x13[[[runs\n=\n", 12));
    EXPECT_EQ(readRunSettings(), RunSettings {});

    writeFile("[runs]\nband=9\naverage=5\nhold=abc\nstrip=maybe\n");
    EXPECT_EQ(readRunSettings(), (RunSettings { 0.5, 5, 30, true }));
}

TEST_F(RunSettingsFile, ARefusedValueIsNotStored)
{
    storeRunSetting(QStringLiteral("run-hold"), QStringLiteral("45"));
    EXPECT_THROW(storeRunSetting(QStringLiteral("run-hold"), QStringLiteral("400")), platform::Error);
    EXPECT_EQ(readRunSettings().holdSeconds, 45);
}

// Removing a setting brings its default back and leaves the others; a second removal finds nothing.
TEST_F(RunSettingsFile, ARemovedSettingReadsAsItsDefaultAgain)
{
    storeRunSetting(QStringLiteral("run-hold"), QStringLiteral("45"));
    storeRunSetting(QStringLiteral("run-strip"), QStringLiteral("off"));
    EXPECT_TRUE(removeRunSetting(QStringLiteral("run-hold")));
    EXPECT_FALSE(removeRunSetting(QStringLiteral("run-hold")));
    EXPECT_FALSE(removeRunSetting(QStringLiteral("run-band")));
    EXPECT_EQ(readRunSettings(), (RunSettings { 0.5, 3, 30, false }));
    EXPECT_THROW(removeRunSetting(QStringLiteral("run-speed")), platform::Error);
}

TEST(RunSettingsStore, AnUnwritableFileSaysWhereAndWhatToDo)
{
    QTemporaryDir dir;
    const QString notAFolder = dir.path() + QStringLiteral("/file");
    QFile(notAFolder).open(QIODevice::WriteOnly);
    ScopedEnv xdg("XDG_CONFIG_HOME", notAFolder);
    try {
        storeRunSetting(QStringLiteral("run-strip"), QStringLiteral("on"));
        FAIL() << "stored under a file";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(),
            QStringLiteral("cannot store run-strip in %1/caltrix/caltrix.conf: the file cannot be written; check that "
                           "its folder %1/caltrix can be written and the disk has room")
                .arg(notAFolder));
    }
}

// What each setting makes of a text: the value it takes, or its refusal.
struct CheckCase {
    const char* name;
    const char* text;
    const char* result; // the value as stored, or the refusal
};

QString checked(const QString& name, const QString& text)
{
    const auto show = [](const auto& c) { return c.value ? QString::number(*c.value) : c.refusal; };
    if (name == QLatin1String("run-band"))
        return show(checkRunBand(text));
    if (name == QLatin1String("run-average"))
        return show(checkRunAverage(text));
    if (name == QLatin1String("run-hold"))
        return show(checkRunHold(text));
    return show(checkRunStrip(text));
}

TEST(RunSettingsCheck, AcceptsTheRangesAndRefusesInCaltrixSettingsWords)
{
    platform::ScopedLocale german { QLocale(QLocale::German) };
    const CheckCase cases[] = {
        { "run-band", "0.1", "0.1" },
        { "run-band", "5", "5" },
        { "run-band", "0.05", "cannot store run-band = 0.05: it must be between 0.1 and 5 km/h" },
        { "run-band", "7", "cannot store run-band = 7: it must be between 0.1 and 5 km/h" },
        { "run-band", "nan", "cannot store run-band = nan: it must be between 0.1 and 5 km/h" },
        { "run-band", "0,5", "cannot store run-band: '0,5' is not a valid floating point value" },
        { "run-average", "1", "1" },
        { "run-average", "10", "10" },
        { "run-average", "0", "cannot store run-average = 0: it must be between 1 and 10 s" },
        { "run-average", "2.5", "cannot store run-average: '2.5' is not a valid integer value" },
        { "run-hold", "5", "5" },
        { "run-hold", "300", "300" },
        { "run-hold", "4", "cannot store run-hold = 4: it must be between 5 and 300 s" },
        { "run-hold", "301", "cannot store run-hold = 301: it must be between 5 and 300 s" },
        { "run-strip", "ON", "1" },
        { "run-strip", "off", "0" },
        { "run-strip", "maybe", "cannot store run-strip = maybe: it must be on or off" },
    };
    for (const CheckCase& c : cases) {
        EXPECT_EQ(checked(QLatin1String(c.name), QLatin1String(c.text)), QString::fromUtf8(c.result))
            << c.name << " " << c.text;
    }
}

TEST(RunSettingsCheck, AnUnknownNameListsTheRunSettings)
{
    try {
        storeRunSetting(QStringLiteral("run-speed"), QStringLiteral("1"));
        FAIL() << "stored an unknown setting";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("cannot store run-speed: there is no such run setting (run-band, "
                                              "run-average, run-hold, run-strip)"));
    }
}

} // namespace

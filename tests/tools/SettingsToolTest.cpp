#include "SettingsTool.h"

#include "hive/Hive.h"
#include "platform/Platform.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace caltrix;

namespace {

class SettingsTool : public ::testing::Test {
protected:
    struct Result {
        int code;
        QString out;
        QString err;
    };

    Result run(QStringList arguments)
    {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        arguments.prepend(path());
        arguments.prepend(QStringLiteral("--hive"));
        const int code = tools::runSettingsTool(arguments, outStream, errStream);
        outStream.flush();
        errStream.flush();
        return { code, out, err };
    }

    QString stored(const char* key, const char* name)
    {
        hive::Hive hive(path());
        const auto value = hive.value(QLatin1String(key), QLatin1String(name));
        return value ? value->text() : QStringLiteral("<none>");
    }

    QString path() const { return dir.filePath(QStringLiteral("user.reg")); }

    QTemporaryDir dir;
    platform::ScopedLocale locale { QLocale(QLocale::German) };
};

const char* const Device = "Software\\Korvane\\Pelto\\TavorDevicePeltoAnt";

} // namespace

TEST_F(SettingsTool, SetsSettingsWhereTheCalibrationToolReadsThem)
{
    EXPECT_EQ(run({ "set", "unittype", "7" }).code, 0);
    EXPECT_EQ(run({ "set", "RollDiameter", "28,6" }).code, 0);
    const Result set = run({ "set", "Speed2", "25" });
    EXPECT_EQ(set.code, 0);
    EXPECT_TRUE(set.out.contains(QStringLiteral("Software\\Korvane\\Pelto\\Calibration\\Tavor7"))) << set.out.toStdString();
    EXPECT_EQ(stored(Device, "PeltoAntSettings_UnitType"), QStringLiteral("7"));
    EXPECT_EQ(stored("Software\\Korvane\\Pelto\\Calibration\\Tavor7", "Speed2"), QStringLiteral("25"));

    const Result shown = run({});
    EXPECT_EQ(shown.code, 0);
    for (const char* line : { "Unit type:             7\n", "Roll diameter:         28,6\n", "P2 speed:              25\n",
             "P1 speed:              cannot be read: '' is not a valid integer value\n", "PA speed:              0\n" })
        EXPECT_TRUE(shown.out.contains(QLatin1String(line))) << line << "\n" << shown.out.toStdString();

    EXPECT_EQ(run({ "unset", "Speed2" }).code, 0);
    EXPECT_EQ(stored("Software\\Korvane\\Pelto\\Calibration\\Tavor7", "Speed2"), QStringLiteral("<none>"));
}

TEST_F(SettingsTool, TakesHyphenatedNamesAndWholePresets)
{
    EXPECT_EQ(run({ "set", "unit-type", "5" }).code, 0);
    EXPECT_EQ(run({ "set", "speed-a", "20" }).code, 0);
    EXPECT_EQ(run({ "set", "preset", "2", "speed", "30", "resist", "5" }).code, 0);
    EXPECT_EQ(run({ "set", "preset", "b", "resist", "9" }).code, 0);
    const QString shown = run({}).out;
    EXPECT_TRUE(shown.contains(QRegularExpression("Unit type: +5\n"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QRegularExpression("PA speed: +20\n")));
    EXPECT_TRUE(shown.contains(QRegularExpression("P2 speed: +30\n")));
    EXPECT_TRUE(shown.contains(QRegularExpression("P2 resistance: +5\n")));
    EXPECT_TRUE(shown.contains(QRegularExpression("PB resistance: +9\n")));

    // A bad part anywhere writes nothing.
    for (const QStringList& bad : { QStringList { "set", "preset", "2", "speed", "31", "resist", "x" },
             QStringList { "set", "preset", "4", "speed", "31" }, QStringList { "set", "preset", "2", "power", "31" },
             QStringList { "set", "preset", "2" } }) {
        const Result result = run(bad);
        EXPECT_NE(result.code, 0) << bad.join(' ').toStdString();
        EXPECT_FALSE(result.err.isEmpty());
    }
    EXPECT_TRUE(run({}).out.contains(QRegularExpression("P2 speed: +30\n")));
}

TEST_F(SettingsTool, StoresOnlyNumbersTheCalibrationToolCanRead)
{
    const Result integer = run({ "set", "Speed1", "x" });
    EXPECT_EQ(integer.code, 1);
    EXPECT_EQ(integer.err, QStringLiteral("'x' is not a valid integer value\n"));
    const Result diameter = run({ "set", "RollDiameter", "28.6" });
    EXPECT_EQ(diameter.code, 1);
    EXPECT_EQ(diameter.err, QStringLiteral("'28.6' is not a valid floating point value\n"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsTool, ExplainsWrongUsage)
{
    const QStringList wrong[] = { { "frobnicate" }, { "set", "Speed1" }, { "set", "Colour", "red" }, { "--bogus" } };
    for (const QStringList& arguments : wrong) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("caltrix-settings --help"))) << result.err.toStdString();
    }
    EXPECT_TRUE(run({ "--help" }).out.contains(QStringLiteral("TrainerDeviceNumber")));
}

TEST_F(SettingsTool, ReportsAnUnreadableHive)
{
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("REGEDIT4\n");
    file.close();
    const Result result = run({ "set", "Speed1", "1" });
    EXPECT_EQ(result.code, 1);
    EXPECT_TRUE(result.err.contains(QStringLiteral("is not a Wine registry file"))) << result.err.toStdString();
}

// Settings exported with the registry editor on a Windows computer become the tool's settings.
TEST_F(SettingsTool, ImportsARegistryEditorExport)
{
    const Result imported = run({ "import", CALTRIX_TOOLS_TEST_DATA "/regedit-export-utf16.reg" });
    EXPECT_EQ(imported.code, 0) << imported.err.toStdString();
    EXPECT_TRUE(imported.out.startsWith(QStringLiteral("Imported 17 values from "))) << imported.out.toStdString();
    const Result shown = run({});
    for (const char* line : { "Unit type:             5\n", "Roll diameter:         28,6\n", "Trainer device number: 1234\n",
             "P2 speed:              30\n" })
        EXPECT_TRUE(shown.out.contains(QLatin1String(line))) << line << "\n" << shown.out.toStdString();

    const Result missing = run({ "import", "/nonexistent/settings.reg" });
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.startsWith(QStringLiteral("Cannot read /nonexistent/settings.reg"))) << missing.err.toStdString();
}

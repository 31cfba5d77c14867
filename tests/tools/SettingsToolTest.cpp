#include "SettingsTool.h"

#include "LockHolder.h"
#include "QtPrinters.h"
#include "ScopedEnv.h"
#include "app/settings/SettingNames.h"
#include "hive/Hive.h"
#include "platform/Platform.h"
#include "runs/RunSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace caltrix;

namespace {

class SettingsTool : public ::testing::Test {
protected:
    struct Result {
        int code;
        QString out;
        QString err;
    };

    // Runs the tool on the test's hive file, or on `hive`.
    Result run(QStringList arguments, const QString& hive = {})
    {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        arguments.prepend(hive.isEmpty() ? path() : hive);
        arguments.prepend(QStringLiteral("--hive"));
        const int code = tools::runSettingsTool(arguments, outStream, errStream);
        outStream.flush();
        errStream.flush();
        return { code, out, err };
    }

    QString stored(const QString& key, const QString& name)
    {
        hive::Hive hive(path());
        const auto value = hive.value(key, name);
        return value ? value->text() : QStringLiteral("<none>");
    }

    QString path() const { return dir.filePath(QStringLiteral("user.reg")); }

    // A stand-in for a Wine server running for the hive's prefix: another process holding the
    // server's lock where Debian's Wine keeps it, in the folder the prefix's wineserver file names.
    std::unique_ptr<LockHolder> standInWineServer()
    {
        const QString wineTmp = wineTmpDir.filePath(QStringLiteral("wine-Xy12Zw"));
        QFile record(dir.filePath(QStringLiteral("wineserver")));
        EXPECT_TRUE(record.open(QIODevice::WriteOnly));
        record.write(QFile::encodeName(wineTmp) + "\n");
        record.close();
        struct stat prefix {};
        EXPECT_EQ(::stat(QFile::encodeName(dir.path()).constData(), &prefix), 0);
        return std::make_unique<LockHolder>(QStringLiteral("%1/server-%2-%3/lock")
                                                 .arg(wineTmp)
                                                 .arg(static_cast<qulonglong>(prefix.st_dev), 0, 16)
                                                 .arg(static_cast<qulonglong>(prefix.st_ino), 0, 16));
    }

    QString runSettingsFile() const { return dir.filePath(QStringLiteral("config/caltrix/caltrix.conf")); }

    QTemporaryDir dir;
    QTemporaryDir wineTmpDir;
    // Caltrix's own settings file goes to the test's folder, never the user's.
    ScopedEnv config { "XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")) };
    platform::ScopedLocale locale { QLocale(QLocale::German) };
};

} // namespace

TEST_F(SettingsTool, SetsSettingsWhereTheCalibrationToolReadsThem)
{
    const Result first = run({ "set", "unittype", "7" });
    EXPECT_EQ(first.code, 0);
    // No file was there: the user learns that a new one was made, and where.
    EXPECT_TRUE(first.out.contains(QStringLiteral("Created the registry file %1: there was none, so no Wine prefix was "
                                                  "found there.")
                                       .arg(path())))
        << first.out.toStdString();
    EXPECT_EQ(run({ "set", "RollDiameter", "28,6" }).out.count(QStringLiteral("Created")), 0);
    const Result set = run({ "set", "Speed2", "25" });
    EXPECT_EQ(set.code, 0);
    EXPECT_TRUE(set.out.contains(app::CalibrationKeyOf(7))) << set.out.toStdString();
    EXPECT_EQ(stored(app::DeviceKeyPath, app::UnitTypeName), QStringLiteral("7"));
    EXPECT_EQ(stored(app::CalibrationKeyOf(7), app::PresetSpeedName(2)), QStringLiteral("25"));

    const Result shown = run({});
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.err, QString());
    for (const char* line : { "Unit type:             7\n", "Roll diameter:         28,6\n", "P2 speed:              25\n",
             "P1 speed:              not set\n", "PA speed:              not set\n", "Events per turn:       not set\n" })
        EXPECT_TRUE(shown.out.contains(QLatin1String(line))) << line << "\n" << shown.out.toStdString();

    EXPECT_EQ(run({ "unset", "Speed2" }).code, 0);
    EXPECT_EQ(stored(app::CalibrationKeyOf(7), app::PresetSpeedName(2)), QStringLiteral("<none>"));
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
             QStringList { "set", "preset", "2", "speed", "31", "resist", "256" },
             QStringList { "set", "preset", "4", "speed", "31" }, QStringList { "set", "preset", "2", "power", "31" },
             QStringList { "set", "preset", "2" } }) {
        const Result result = run(bad);
        EXPECT_NE(result.code, 0) << bad.join(' ').toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("caltrix-settings: "))) << result.err.toStdString();
    }
    EXPECT_TRUE(run({}).out.contains(QRegularExpression("P2 speed: +30\n")));
}

// Only numbers the calibration tool reads back, within what the trainer can use, are stored; the
// message names the setting and the range.
TEST_F(SettingsTool, StoresOnlyPlausibleNumbersTheCalibrationToolCanRead)
{
    const struct {
        QStringList arguments;
        const char* error;
    } refused[] = {
        { { "set", "Speed1", "x" }, "cannot store Speed1: 'x' is not a valid integer value" },
        { { "set", "RollDiameter", "28.6" },
            "cannot store RollDiameter: '28.6' is not a valid floating point value (the decimal separator of your "
            "locale is \",\": write 28,6)" },
        { { "set", "RollDiameter", "0" }, "cannot store RollDiameter = 0: it must be a number above 0" },
        { { "set", "RollDiameter", "-28,6" }, "cannot store RollDiameter = -28,6: it must be a number above 0" },
        { { "set", "Speed1", "-5" }, "cannot store Speed1 = -5: it must be between 0 and 100 km/h" },
        { { "set", "speed-b", "250" }, "cannot store SpeedB = 250: it must be between 0 and 100 km/h" },
        { { "set", "Resist2", "256" }, "cannot store Resist2 = 256: it must be between 0 and 255" },
        { { "set", "ResistA", "-1" }, "cannot store ResistA = -1: it must be between 0 and 255" },
        { { "set", "TrainerDeviceNumber", "65536" },
            "cannot store TrainerDeviceNumber = 65536: it must be between 0 and 65535" },
        { { "set", "EventPerTurn", "0" }, "cannot store EventPerTurn = 0: it must be between 1 and 255" },
    };
    for (const auto& c : refused) {
        const Result result = run(c.arguments);
        EXPECT_EQ(result.code, 1) << c.error;
        EXPECT_EQ(result.err, QStringLiteral("caltrix-settings: %1\n").arg(QLatin1String(c.error)));
    }
    EXPECT_FALSE(QFile::exists(path()));

    platform::ScopedLocale point { QLocale::c() };
    const Result comma = run({ "set", "RollDiameter", "28,6" });
    EXPECT_EQ(comma.err,
        QStringLiteral("caltrix-settings: cannot store RollDiameter: '28,6' is not a valid floating point value (the "
                       "decimal separator of your locale is \".\": write 28.6)\n"));
    EXPECT_EQ(run({ "set", "RollDiameter", "28.6" }).code, 0);
    EXPECT_EQ(run({ "set", "TrainerDeviceNumber", "65535" }).code, 0);
}

// Presets live in the calibration key of the unit type: without a unit type they would land in a
// key that nothing reads once one is set.
TEST_F(SettingsTool, RefusesPresetsUntilAUnitTypeIsSet)
{
    for (const char* unitType : { "", "0" }) {
        SCOPED_TRACE(unitType);
        if (*unitType) {
            ASSERT_EQ(run({ "set", "unit-type", unitType }).code, 0);
        }
        for (const QStringList& preset : { QStringList { "set", "speed1", "20" }, QStringList { "set", "preset", "a", "speed", "20" } }) {
            const Result result = run(preset);
            EXPECT_EQ(result.code, 1);
            EXPECT_TRUE(result.err.startsWith(QStringLiteral("caltrix-settings: cannot store ")));
            EXPECT_TRUE(result.err.endsWith(QStringLiteral("set unit-type first\n"))) << result.err.toStdString();
        }
    }
    EXPECT_EQ(stored(app::CalibrationKeyOf(0), app::PresetSpeedName(1)), QStringLiteral("<none>"));
    hive::Hive(path()).writeString(app::DeviceKeyPath, app::UnitTypeName, QStringLiteral("x"));
    EXPECT_EQ(run({ "set", "speed1", "20" }).err,
        QStringLiteral("caltrix-settings: cannot change Speed1: the stored unit type cannot be read ('x' is not a valid "
                       "integer value); set unit-type again\n"));
    EXPECT_EQ(run({ "set", "unit-type", "5" }).code, 0);
    EXPECT_EQ(run({ "set", "speed1", "20" }).code, 0);
    EXPECT_TRUE(run({}).out.contains(QStringLiteral("P1 speed:              20\n")));
}

TEST_F(SettingsTool, ExplainsWrongUsage)
{
    const QStringList wrong[] = { { "frobnicate" }, { "set", "Speed1" }, { "set", "Colour", "red" }, { "--bogus" } };
    for (const QStringList& arguments : wrong) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("caltrix-settings: "))) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("caltrix-settings --help"))) << result.err.toStdString();
    }
    const QString help = run({ "--help" }).out;
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: caltrix-settings [options] command"))) << help.toStdString();
    for (const char* part : { "TrainerDeviceNumber", "decimal separator (now \",\")", "set unit-type first", "wineserver -k" })
        EXPECT_TRUE(help.contains(QLatin1String(part))) << part;
}

// A file that cannot be read gives one line on standard error and exit status 1, whatever the
// command.
TEST_F(SettingsTool, ReportsAnUnreadableHiveOnce)
{
    const QString folder = dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString notHive = dir.filePath(QStringLiteral("export.reg"));
    QFile file(notHive);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("REGEDIT4\n");
    file.close();
    const struct {
        QString file;
        const char* reason;
    } unreadable[] = {
        { folder, "Is a directory" },
        { notHive, "it is not a Wine registry file (its first line is not \"WINE REGISTRY Version 2\")" },
    };
    for (const auto& c : unreadable) {
        for (const QStringList& command : { QStringList {}, QStringList { "set", "unit-type", "1" } }) {
            const Result result = run(command, c.file);
            EXPECT_EQ(result.code, 1);
            EXPECT_EQ(result.out, QString());
            EXPECT_EQ(result.err, QStringLiteral("caltrix-settings: cannot read %1: %2\n").arg(c.file, QLatin1String(c.reason)));
        }
    }
}

// The program itself, started as a user who may not read the file (root drops to nobody).
TEST_F(SettingsTool, ProgramExitsWithOneLineForAFileItMayNotRead)
{
    ASSERT_EQ(run({ "set", "unit-type", "5" }).code, 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path()).constData(), 0600), 0);
    QStringList command { QStringLiteral(CALTRIX_SETTINGS_PATH), QStringLiteral("--hive"), path(), QStringLiteral("show") };
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "running as root without setpriv to drop to another user";
        command = QStringList { setpriv, "--reuid=65534", "--regid=65534", "--clear-groups" } + command;
    }
    QProcess program;
    program.start(command.takeFirst(), command);
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_EQ(program.readAllStandardOutput(), QByteArray());
    EXPECT_EQ(QString::fromLocal8Bit(program.readAllStandardError()),
        QStringLiteral("caltrix-settings: cannot read %1: Permission denied\n").arg(path()));
}

// A Wine server running for the prefix (a stand-in holding its lock where Debian's Wine keeps
// it) would write its own copy over the file: writing is refused, reading warns.
TEST_F(SettingsTool, RefusesToWriteWhileWineRuns)
{
    ASSERT_EQ(run({ "set", "unit-type", "5" }).code, 0);
    const std::unique_ptr<LockHolder> server = standInWineServer();

    const QString running = QStringLiteral("Wine is running in %1").arg(dir.path());
    for (const QStringList& write : { QStringList { "set", "unit-type", "6" }, QStringList { "unset", "unit-type" },
             QStringList { "import", CALTRIX_TOOLS_TEST_DATA "/regedit-export-utf16.reg" } }) {
        const Result result = run(write);
        EXPECT_EQ(result.code, 1);
        EXPECT_EQ(result.err,
            QStringLiteral("caltrix-settings: %1; close its programs or run `wineserver -k`, then try again\n").arg(running));
    }
    EXPECT_EQ(stored(app::DeviceKeyPath, app::UnitTypeName), QStringLiteral("5"));
    const Result shown = run({});
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.err,
        QStringLiteral("caltrix-settings: warning: %1 and may hold newer values than the file shows\n").arg(running));
    EXPECT_TRUE(shown.out.contains(QStringLiteral("Unit type:             5\n")));
}

// A Wine server of Debian's own Wine, started and ended for the scope for the prefix named by
// WINEPREFIX: `wineserver -p` returns once the server holds its lock, `wineserver -k` once the
// server has written the registry back and ended. Its folder in the temporary folder goes too.
class RealWineServer {
public:
    explicit RealWineServer(QString wineserver)
        : wineserver_(std::move(wineserver))
    {
        running_ = QProcess::execute(wineserver_, { QStringLiteral("-p") }) == 0;
    }
    ~RealWineServer()
    {
        end();
        QFile record(qEnvironmentVariable("WINEPREFIX") + QStringLiteral("/wineserver"));
        if (record.open(QIODevice::ReadOnly)) {
            const QString name = QFile::decodeName(record.readAll());
            const QString tmp = qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
            if (!name.isEmpty() && !name.contains(QLatin1Char('/')))
                QDir(tmp + QLatin1Char('/') + name).removeRecursively();
        }
    }
    RealWineServer(const RealWineServer&) = delete;
    RealWineServer& operator=(const RealWineServer&) = delete;

    bool running() const { return running_; }

    void end()
    {
        if (running_)
            QProcess::execute(wineserver_, { QStringLiteral("-k") });
        running_ = false;
    }

private:
    QString wineserver_;
    bool running_ = false;
};

// Against the real thing: while Debian's Wine runs a server for the prefix, set, unset and import
// are refused with the README's message and leave the file as it was; once the server has ended
// (writing its own copy of the registry back), the same command succeeds. Wine makes its folder in
// $TMPDIR, else /tmp: both are tried.
TEST_F(SettingsTool, RefusesToWriteWhileARealWineServerRuns)
{
    const QString wineserver = QStandardPaths::findExecutable(QStringLiteral("wineserver"));
    if (wineserver.isEmpty())
        GTEST_SKIP() << "Wine is not installed (no wineserver on the PATH): install Debian's wine package "
                        "to run this test against a real Wine server";
    QTemporaryDir tmpdir;
    for (const std::optional<QString>& tmpdirValue : { std::optional<QString>(), std::optional<QString>(tmpdir.path()) }) {
        SCOPED_TRACE(tmpdirValue ? "TMPDIR set" : "TMPDIR unset");
        QTemporaryDir prefix;
        const QString hive = prefix.filePath(QStringLiteral("user.reg"));
        ScopedEnv tmpdirVariable("TMPDIR", tmpdirValue);
        ScopedEnv winePrefix("WINEPREFIX", prefix.path());
        ScopedEnv noRegistry("CALTRIX_REGISTRY", std::nullopt);
        const auto program = [](const QStringList& arguments) {
            QProcess settings;
            settings.start(QStringLiteral(CALTRIX_SETTINGS_PATH), arguments);
            EXPECT_TRUE(settings.waitForFinished(60000));
            return Result { settings.exitCode(), QString::fromLocal8Bit(settings.readAllStandardOutput()),
                QString::fromLocal8Bit(settings.readAllStandardError()) };
        };
        ASSERT_EQ(program({ "set", "unit-type", "5" }).code, 0);
        ASSERT_EQ(program({ "set", "preset", "1", "speed", "10", "resist", "3" }).code, 0);
        const QByteArray before = [&] {
            QFile file(hive);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();

        RealWineServer server(wineserver);
        ASSERT_TRUE(server.running()) << "wineserver -p failed";
        for (const QStringList& write : { QStringList { "set", "speed1", "42" }, QStringList { "unset", "unit-type" },
                 QStringList { "import", CALTRIX_TOOLS_TEST_DATA "/regedit-export-utf16.reg" } }) {
            SCOPED_TRACE(write.join(QLatin1Char(' ')).toStdString());
            const Result refused = program(write);
            EXPECT_EQ(refused.code, 1);
            EXPECT_EQ(refused.err,
                QStringLiteral("caltrix-settings: Wine is running in %1; close its programs or run `wineserver -k`, "
                               "then try again\n")
                    .arg(prefix.path()));
            QFile file(hive);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), before);
        }

        server.end();
        const Result written = program({ "set", "speed1", "42" });
        EXPECT_EQ(written.code, 0) << written.err.toStdString();
        const auto speed = hive::Hive(hive).value(app::CalibrationKeyOf(5), app::PresetSpeedName(1));
        ASSERT_TRUE(speed) << "the preset is gone from Wine's copy of the registry";
        EXPECT_EQ(speed->text(), QStringLiteral("42"));
    }
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
    EXPECT_EQ(missing.err, QStringLiteral("caltrix-settings: cannot read /nonexistent/settings.reg: No such file or directory\n"));
}

// The run settings: a table of what each takes and refuses, in the order given. They land in
// Caltrix's own file, not in the registry, and need no unit type.
TEST_F(SettingsTool, StoresRunSettingsInCaltrixsOwnFile)
{
    const QString stored = QStringLiteral(" in %1\n").arg(runSettingsFile());
    const struct {
        QStringList arguments;
        int code;
        QString out; // for the accepted ones
        QString err; // for the others
    } cases[] = {
        { { "set", "run-band", "0.5" }, 0, "Stored run-band = 0.5" + stored, {} },
        { { "set", "RunBand", "5" }, 0, "Stored run-band = 5" + stored, {} },
        { { "set", "run-average", "1" }, 0, "Stored run-average = 1" + stored, {} },
        { { "set", "run_hold", "300" }, 0, "Stored run-hold = 300" + stored, {} },
        { { "set", "run-strip", "off" }, 0, "Stored run-strip = off" + stored, {} },
        { { "set", "run-strip", "ON" }, 0, "Stored run-strip = ON" + stored, {} },
        { { "set", "run-band", "0.05" }, 1, {}, "cannot store run-band = 0.05: it must be between 0.1 and 5 km/h" },
        { { "set", "run-band", "0,5" }, 1, {}, "cannot store run-band: '0,5' is not a valid floating point value" },
        { { "set", "run-band", "-1" }, 1, {}, "cannot store run-band = -1: it must be between 0.1 and 5 km/h" },
        { { "set", "run-average", "11" }, 1, {}, "cannot store run-average = 11: it must be between 1 and 10 s" },
        { { "set", "run-average", "2.5" }, 1, {}, "cannot store run-average: '2.5' is not a valid integer value" },
        { { "set", "run-hold", "4" }, 1, {}, "cannot store run-hold = 4: it must be between 5 and 300 s" },
        { { "set", "run-strip", "maybe" }, 1, {}, "cannot store run-strip = maybe: it must be on or off" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const Result result = run(c.arguments);
        EXPECT_EQ(result.code, c.code);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err.isEmpty() ? QString() : QStringLiteral("caltrix-settings: %1\n").arg(c.err));
    }
    EXPECT_EQ(runs::readRunSettings(), (runs::RunSettings { 5, 1, 300, true }));
    EXPECT_FALSE(QFile::exists(path())) << "the registry was written";

    for (const QStringList& wrong : { QStringList { "set", "run-band" }, QStringList { "unset", "run-band", "1" },
             QStringList { "set", "run-speed", "1" } }) {
        const Result result = run(wrong);
        EXPECT_EQ(result.code, 2) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(result.err.startsWith(QStringLiteral("caltrix-settings: "))) << result.err.toStdString();
    }
    EXPECT_TRUE(run({ "set", "run-speed", "1" }).err.contains(QStringLiteral("ResistB, run-band, run-average, run-hold, run-strip.")));
}

// show lists the run settings after the registry's, defaults included; unset puts a default back.
TEST_F(SettingsTool, ShowsAndUnsetsRunSettings)
{
    const QString defaults = run({}).out;
    const QString runLines = QStringLiteral("Run settings file:     %1\n"
                                            "Run band:              0.5 km/h\n"
                                            "Run average:           3 s\n"
                                            "Run hold:              30 s\n"
                                            "Run strip:             on\n")
                                 .arg(runSettingsFile());
    EXPECT_TRUE(defaults.endsWith(QStringLiteral("PB resistance:         not set\n") + runLines)) << defaults.toStdString();

    ASSERT_EQ(run({ "set", "run-hold", "45" }).code, 0);
    ASSERT_EQ(run({ "set", "run-band", "1.5" }).code, 0);
    const QString changed = run({}).out;
    EXPECT_TRUE(changed.contains(QStringLiteral("Run hold:              45 s\n"))) << changed.toStdString();
    EXPECT_TRUE(changed.contains(QStringLiteral("Run band:              1.5 km/h\n"))) << changed.toStdString();

    const Result removed = run({ "unset", "run-hold" });
    EXPECT_EQ(removed.code, 0);
    EXPECT_EQ(removed.out, QStringLiteral("Removed run-hold from %1\n").arg(runSettingsFile()));
    EXPECT_EQ(run({ "unset", "run-hold" }).out, QStringLiteral("run-hold was not stored in %1\n").arg(runSettingsFile()));
    const QString unset = run({}).out;
    EXPECT_TRUE(unset.contains(QStringLiteral("Run hold:              30 s\n"))) << unset.toStdString();
    EXPECT_TRUE(unset.contains(QStringLiteral("Run band:              1.5 km/h\n")));
    EXPECT_FALSE(QFile::exists(path())) << "the registry was written";

    const QString help = run({ "--help" }).out;
    for (const char* part : { "run-band 0.1 to 5 km/h, default 0.5", "run-average 1 to 10 s, default 3",
             "run-hold 5 to 300 s, default 30", "run-strip on or off, default on",
             "$XDG_CONFIG_HOME/caltrix/caltrix.conf (~/.config/caltrix/caltrix.conf by default)" })
        EXPECT_TRUE(help.contains(QLatin1String(part))) << part << "\n" << help.toStdString();
}

// The registry's writes wait for Wine to end; the run settings are in Caltrix's own file, which
// Wine's server does not hold, so they are written all the same.
TEST_F(SettingsTool, WritesRunSettingsWhileWineRuns)
{
    const std::unique_ptr<LockHolder> server = standInWineServer();
    ASSERT_EQ(run({ "set", "unit-type", "6" }).code, 1) << "the stand-in server is not seen";
    for (const QStringList& write : { QStringList { "set", "run-band", "1" }, QStringList { "unset", "run-band" },
             QStringList { "set", "run-strip", "off" } }) {
        const Result result = run(write);
        EXPECT_EQ(result.code, 0) << write.join(u' ').toStdString();
        EXPECT_EQ(result.err, QString());
    }
    EXPECT_EQ(runs::readRunSettings(), (runs::RunSettings { 0.5, 3, 30, false }));
}

#include "SettingsTool.h"

#include "app/settings/SettingRules.h"
#include "app/settings/StoredSettings.h"
#include "hive/CurrentUser.h"
#include "hive/HiveError.h"
#include "hive/RegeditImport.h"
#include "platform/Error.h"
#include "platform/Platform.h"
#include "runs/RunSettings.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>

namespace caltrix::tools {

namespace {

constexpr char ProgramName[] = "caltrix-settings";

using app::TrainerSetting;

// The run settings' name as the runs library spells it, matched as the registry's names are.
std::optional<QString> findRunSetting(const QString& name)
{
    for (const QString& runName : runs::runSettingNames()) {
        if (app::sameSettingName(name, runName))
            return runName;
    }
    return std::nullopt;
}

QString settingNames() { return (app::trainerSettingNames() + runs::runSettingNames()).join(QStringLiteral(", ")); }

void showLine(QTextStream& out, const QString& caption, const QString& text)
{
    out << (caption + QLatin1Char(':')).leftJustified(23) << text << '\n';
}

QString switchText(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

// The run settings as Caltrix uses them: the file's values, the defaults for what it lacks.
void showRunSettings(QTextStream& out)
{
    const runs::RunSettings run = runs::readRunSettings();
    showLine(out, QStringLiteral("Run settings file"), runs::runSettingsFilePath());
    showLine(out, QStringLiteral("Run band"), QStringLiteral("%1 km/h").arg(run.bandKmh));
    showLine(out, QStringLiteral("Run average"), QStringLiteral("%1 s").arg(run.averageSeconds));
    showLine(out, QStringLiteral("Run hold"), QStringLiteral("%1 s").arg(run.holdSeconds));
    showLine(out, QStringLiteral("Run strip"), switchText(run.stripShown));
}

void show(QTextStream& out)
{
    out << "Settings file: " << hive::currentUser().filePath() << '\n';
    const auto line = [&out](const QString& caption, const std::function<QString()>& read) {
        QString text;
        try {
            text = read();
        } catch (const platform::Error& e) {
            text = QStringLiteral("cannot be read: ") + e.message();
        }
        showLine(out, caption, text);
    };
    line(QStringLiteral("Calibration key"), [] { return app::CalibrationKeyPath(); });
    for (const TrainerSetting& setting : app::trainerSettings()) {
        line(QLatin1String(setting.caption),
            [&setting] { return app::isStored(setting) ? setting.read() : QStringLiteral("not set"); });
    }
    showRunSettings(out);
}

int set(const TrainerSetting& setting, const QString& text, QTextStream& out)
{
    app::checkTrainerSetting(setting, text);
    const QString key = setting.calibration ? app::presetKeyFor(QLatin1String(setting.name)) : app::DeviceKeyPath;
    hive::currentUser().writeString(key, setting.valueName, text);
    out << "Stored " << setting.valueName << " = " << text << " in " << key << '\n';
    return 0;
}

// `set preset N [speed V] [resist V]`, N one of 1, 2, 3, A, B: both values in one write, or none.
int setPreset(const QStringList& words, QTextStream& out)
{
    if (words.size() != 5 && words.size() != 7)
        throw platform::Error(QStringLiteral("set preset needs a preset (1, 2, 3, A or B) and \"speed VALUE\", "
                                             "\"resist VALUE\" or both, e.g. set preset 2 speed 30 resist 5."));
    std::vector<std::pair<const TrainerSetting*, QString>> changes;
    for (qsizetype i = 3; i + 1 < words.size(); i += 2) {
        const QString what = words[i].toLower();
        if (what != QLatin1String("speed") && what != QLatin1String("resist"))
            throw platform::Error(QStringLiteral("\"%1\" is not speed or resist.").arg(words[i]));
        const TrainerSetting* setting = app::findPresetSetting(what, words[2]);
        if (!setting)
            throw platform::Error(QStringLiteral("There is no preset \"%1\": use 1, 2, 3, A or B.").arg(words[2]));
        app::checkTrainerSetting(*setting, words[i + 1]);
        changes.emplace_back(setting, words[i + 1]);
    }
    const QString key = app::presetKeyFor(QStringLiteral("preset %1").arg(words[2]));
    hive::currentUser().edit([&](hive::HiveDocument& doc) {
        for (const auto& [setting, text] : changes)
            doc.setValue(key, hive::HiveValue::string(setting->valueName, text));
    });
    for (const auto& [setting, text] : changes)
        out << "Stored " << setting->valueName << " = " << text << " in " << key << '\n';
    return 0;
}

int unset(const TrainerSetting& setting, QTextStream& out)
{
    if (setting.calibration)
        app::unitTypeFor(QLatin1String(setting.name));
    const QString key = app::keyOf(setting);
    if (hive::currentUser().deleteValue(key, setting.valueName))
        out << "Removed " << setting.valueName << " from " << key << '\n';
    else
        out << setting.valueName << " was not stored in " << key << '\n';
    return 0;
}

// The run settings live in Caltrix's own file, not in the registry: Wine's server cannot write
// over them, and they belong to no unit type.
int setRunSetting(const QString& name, const QString& text, QTextStream& out)
{
    runs::storeRunSetting(name, text);
    out << "Stored " << name << " = " << text << " in " << runs::runSettingsFilePath() << '\n';
    return 0;
}

int unsetRunSetting(const QString& name, QTextStream& out)
{
    const QString path = runs::runSettingsFilePath();
    if (runs::removeRunSetting(name))
        out << "Removed " << name << " from " << path << '\n';
    else
        out << name << " was not stored in " << path << '\n';
    return 0;
}

int importFile(const QString& fileName, QTextStream& out)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw hive::HiveReadError(file.errorString(), fileName, file.errorString());
    const QByteArray bytes = file.readAll();
    hive::RegeditImport result;
    hive::currentUser().edit([&](hive::HiveDocument& doc) { result = hive::importRegedit(bytes, fileName, doc); });
    out << "Imported " << result.valuesSet << " values from " << fileName << " into " << hive::currentUser().filePath();
    if (result.valuesDeleted || result.keysDeleted)
        out << "; deleted " << result.valuesDeleted << " values and " << result.keysDeleted << " keys";
    out << ".\n";
    if (!result.skippedKeys.isEmpty()) {
        out << "Left out " << result.skippedKeys.size() << " keys outside HKEY_CURRENT_USER: "
            << result.skippedKeys.join(QStringLiteral(", ")) << ".\n";
    }
    return 0;
}

} // namespace

namespace {

QString helpText(QCommandLineParser& parser)
{
    const runs::RunSettings defaults;
    parser.setApplicationDescription(QStringLiteral(
        "Shows and changes the trainer settings that Caltrix reads from the Wine registry of the current "
        "user, and the run settings in Caltrix's own settings file.\n\nCommands:\n"
        "  show               the settings as Caltrix reads them (the default)\n"
        "  set NAME VALUE     stores a setting, e.g. set unit-type 5, set speed-a 20, set run-hold 45\n"
        "  set preset N speed V resist W\n"
        "                     stores a preset's speed, resistance or both (N: 1, 2, 3, A or B)\n"
        "  unset NAME         removes a setting\n"
        "  import FILE        imports the HKEY_CURRENT_USER keys of a registry editor export (.reg), such as "
        "the trainer software's settings exported on a Windows computer\n\n"
        "Names: %1.\n"
        "Values: whole numbers; speeds 0 to 100 km/h, resistance levels 0 to 255, the trainer device number "
        "0 to 65535, events per turn 1 to 255. The roll diameter is a positive number written with your "
        "locale's decimal separator (now \"%2\"), as Caltrix reads it.\n"
        "Presets are kept per unit type, in the calibration key of the stored unit type: set unit-type "
        "first.\n"
        "While Wine runs in the prefix (any Windows program, and for a while after it), the Wine server "
        "holds the registry in memory and writes it back over the file: set, unset and import refuse to "
        "write then (close the Windows programs or run `wineserver -k`, then try again), and show warns "
        "that Wine may hold newer values.\n"
        "When the file does not exist yet, set creates it and says so: no Wine prefix was found there.\n"
        "Run settings, for judging whether the speed is held: run-band 0.1 to 5 km/h, default %3 (the "
        "running average must stay within the target speed plus or minus the band; written with a point), "
        "run-average 1 to 10 s, default %4 (the running average's length), run-hold 5 to 300 s, default %5 "
        "(how long it must stay in the band to count as steady), run-strip on or off, default %6 (whether "
        "the window shows the run strip). They are kept in Caltrix's own file, "
        "$XDG_CONFIG_HOME/caltrix/caltrix.conf (~/.config/caltrix/caltrix.conf by default), never in the "
        "Wine registry: a running Wine does not hinder them, and they need no unit type. unset puts a run "
        "setting's default back.\n\n"
        "Exit status: 0 done, 1 failed (the message says why), 2 wrong usage.")
                                         .arg(settingNames(), platform::decimalSeparator())
                                         .arg(defaults.bandKmh)
                                         .arg(defaults.averageSeconds)
                                         .arg(defaults.holdSeconds)
                                         .arg(switchText(defaults.stripShown)));
    // Qt names the program by the path it was started with; the usage line shows its name.
    QString help = parser.helpText();
    const qsizetype usageEnd = help.indexOf(QLatin1String(" [options]"));
    if (help.startsWith(QLatin1String("Usage: ")) && usageEnd > 0)
        help.replace(7, usageEnd - 7, QLatin1String(ProgramName));
    return help;
}

int runCommand(const QStringList& words, QTextStream& out, QTextStream& err)
{
    const auto usage = [&err](const QString& problem) {
        err << ProgramName << ": " << problem << "\nRun " << ProgramName << " --help for the commands.\n";
        return 2;
    };
    const QString command = words.value(0, QStringLiteral("show"));
    // Options are read before the command only, so that a value such as -5 reaches its range check.
    for (const QString& word : words.mid(1)) {
        if (word.startsWith(QLatin1String("--")))
            return usage(QStringLiteral("%1 must come before the command: %2 [options] %3 ...")
                             .arg(word, ProgramName, command));
    }
    if (command == QLatin1String("show") && words.size() <= 1) {
        hive::currentUser().document(); // a file that cannot be read at all fails here, once
        if (hive::currentUser().runningWineServer() != 0) {
            err << ProgramName << ": warning: Wine is running in " << hive::currentUser().prefix()
                << " and may hold newer values than the file shows\n";
        }
        show(out);
        return 0;
    }
    if (command == QLatin1String("import")) {
        if (words.size() != 2)
            return usage(QStringLiteral("import needs the file of a registry editor export."));
        return importFile(words[1], out);
    }
    const bool isSet = command == QLatin1String("set");
    if (isSet && words.size() > 1 && words[1].compare(QLatin1String("preset"), Qt::CaseInsensitive) == 0)
        return setPreset(words, out);
    if (!isSet && command != QLatin1String("unset"))
        return usage(QStringLiteral("Unknown command \"%1\".").arg(words.join(u' ')));
    if (words.size() != (isSet ? 3 : 2))
        return usage(isSet ? QStringLiteral("set needs a name and a value.") : QStringLiteral("unset needs a name."));
    if (const std::optional<QString> runSetting = findRunSetting(words[1]))
        return isSet ? setRunSetting(*runSetting, words[2], out) : unsetRunSetting(*runSetting, out);
    const TrainerSetting* setting = app::findTrainerSetting(words[1]);
    if (!setting)
        return usage(QStringLiteral("Unknown setting \"%1\". Known settings: %2.").arg(words[1], settingNames()));
    return isSet ? set(*setting, words[2], out) : unset(*setting, out);
}

} // namespace

int runSettingsTool(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    const QCommandLineOption hiveOption(QStringLiteral("hive"),
        QStringLiteral("The registry file to use instead of %1.").arg(hive::defaultUserHivePath()), QStringLiteral("file"));
    const QCommandLineOption helpOption({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help."));
    const QCommandLineOption versionOption({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Shows the version."));
    parser.addOption(hiveOption);
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("show, set, unset or import"));
    // After the command everything is its words, so that a negative value is no option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    if (!parser.parse(QStringList { QLatin1String(ProgramName) } + arguments)) {
        err << ProgramName << ": " << parser.errorText() << "\nRun " << ProgramName << " --help for the commands.\n";
        return 2;
    }
    if (parser.isSet(helpOption)) {
        out << helpText(parser);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << ProgramName << " " CALTRIX_VERSION "\n";
        return 0;
    }

    hive::Hive hive(parser.isSet(hiveOption) ? parser.value(hiveOption) : hive::defaultUserHivePath());
    hive.setLockWaitNotice([&err, &hive](long holder) {
        err << ProgramName << ": waiting for process " << holder << ", which is changing " << hive.filePath() << '\n';
        err.flush();
    });
    const hive::ScopedCurrentUser scoped(hive);
    const bool existed = QFileInfo::exists(hive.filePath());
    try {
        const int code = runCommand(parser.positionalArguments(), out, err);
        if (code == 0 && !existed && QFileInfo::exists(hive.filePath())) {
            out << "Created the registry file " << hive.filePath() << ": there was none, so no Wine prefix was found "
                << "there. Set WINEPREFIX or use --hive to change the settings of another prefix.\n";
        }
        return code;
    } catch (const hive::HiveReadError& e) {
        err << ProgramName << ": cannot read " << e.file() << ": " << e.reason() << '\n';
    } catch (const platform::Error& e) {
        err << ProgramName << ": " << e.message() << '\n';
    }
    return 1;
}

} // namespace caltrix::tools

#include "SettingsTool.h"

#include "app/settings/StoredSettings.h"
#include "hive/CurrentUser.h"
#include "hive/NumberText.h"
#include "hive/RegeditImport.h"
#include "platform/Error.h"

#include <QCommandLineParser>
#include <QFile>
#include <QLocale>

#include <functional>
#include <optional>

namespace caltrix::tools {

namespace {

enum class Kind { Integer, Float };

// A setting the calibration tool reads: where it lives and how it is shown.
struct Setting {
    const char* name; // as given on the command line
    const char* valueName; // in the hive
    bool calibration; // in the calibration key of the stored unit type, else in the device key
    Kind kind;
    const char* caption;
    std::function<QString()> read; // as the calibration tool reads it
};

QString number(std::int32_t value) { return QString::number(value); }

const std::vector<Setting>& settings()
{
    static const std::vector<Setting> all = {
        { "UnitType", "PeltoAntSettings_UnitType", false, Kind::Integer, "Unit type", [] { return number(app::ReadUnitType()); } },
        { "RollDiameter", "PeltoAntSettings_RollDiameter", false, Kind::Float, "Roll diameter",
            [] { return QLocale().toString(static_cast<double>(app::ReadRollDiameter()), 'g', 15); } },
        { "EventPerTurn", "PeltoAntSettings_EventPerTurn", false, Kind::Integer, "Events per turn",
            [] { return number(app::ReadEventPerTurn()); } },
        { "TrainerDeviceNumber", "PeltoAntSettings_TrainerDeviceNumber", false, Kind::Integer, "Trainer device number",
            [] { return number(app::ReadTrainerDeviceNumber()); } },
        { "Speed1", "Speed1", true, Kind::Integer, "P1 speed", [] { return number(app::ReadPresetSpeed(1)); } },
        { "Resist1", "Resist1", true, Kind::Integer, "P1 resistance", [] { return number(app::ReadPresetResist(1)); } },
        { "Speed2", "Speed2", true, Kind::Integer, "P2 speed", [] { return number(app::ReadPresetSpeed(2)); } },
        { "Resist2", "Resist2", true, Kind::Integer, "P2 resistance", [] { return number(app::ReadPresetResist(2)); } },
        { "Speed3", "Speed3", true, Kind::Integer, "P3 speed", [] { return number(app::ReadPresetSpeed(3)); } },
        { "Resist3", "Resist3", true, Kind::Integer, "P3 resistance", [] { return number(app::ReadPresetResist(3)); } },
        { "SpeedA", "SpeedA", true, Kind::Integer, "PA speed", [] { return number(app::ReadSpeedA()); } },
        { "ResistA", "ResistA", true, Kind::Integer, "PA resistance", [] { return number(app::ReadResistA()); } },
        { "SpeedB", "SpeedB", true, Kind::Integer, "PB speed", [] { return number(app::ReadSpeedB()); } },
        { "ResistB", "ResistB", true, Kind::Integer, "PB resistance", [] { return number(app::ReadResistB()); } },
    };
    return all;
}

// Names compare without regard to case, hyphens and underscores: unit-type, UnitType, speed_a.
QString foldedName(const QString& name)
{
    QString folded = name.toLower();
    folded.remove(QLatin1Char('-'));
    folded.remove(QLatin1Char('_'));
    return folded;
}

const Setting* findSetting(const QString& name)
{
    const QString wanted = foldedName(name);
    for (const Setting& setting : settings()) {
        if (wanted == foldedName(QLatin1String(setting.name)) || wanted == foldedName(QLatin1String(setting.valueName)))
            return &setting;
    }
    return nullptr;
}

QString settingNames()
{
    QStringList names;
    for (const Setting& setting : settings())
        names << QLatin1String(setting.name);
    return names.join(QStringLiteral(", "));
}

QString keyOf(const Setting& setting) { return setting.calibration ? app::CalibrationKeyPath() : app::DeviceKeyPath; }

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
        out << (caption + QLatin1Char(':')).leftJustified(23) << text << '\n';
    };
    line(QStringLiteral("Calibration key"), [] { return app::CalibrationKeyPath(); });
    for (const Setting& setting : settings())
        line(QLatin1String(setting.caption), setting.read);
}

int set(const Setting& setting, const QString& text, QTextStream& out)
{
    // Only text that the calibration tool will read back is stored.
    if (setting.kind == Kind::Integer)
        hive::textToInt(text);
    else
        hive::textToFloat(text);
    const QString key = keyOf(setting);
    hive::currentUser().writeString(key, QLatin1String(setting.valueName), text);
    out << "Stored " << setting.valueName << " = " << text << " in " << key << '\n';
    return 0;
}

// `set preset N [speed V] [resist V]`, N one of 1, 2, 3, A, B: both values in one write, or none.
int setPreset(const QStringList& words, QTextStream& out)
{
    if (words.size() != 5 && words.size() != 7)
        throw platform::Error(QStringLiteral("set preset needs a preset (1, 2, 3, A or B) and \"speed VALUE\", "
                                             "\"resist VALUE\" or both, e.g. set preset 2 speed 30 resist 5."));
    std::vector<std::pair<const Setting*, QString>> changes;
    for (qsizetype i = 3; i + 1 < words.size(); i += 2) {
        const QString what = words[i].toLower();
        if (what != QLatin1String("speed") && what != QLatin1String("resist"))
            throw platform::Error(QStringLiteral("\"%1\" is not speed or resist.").arg(words[i]));
        const Setting* setting = findSetting(what + words[2]);
        if (!setting)
            throw platform::Error(QStringLiteral("There is no preset \"%1\": use 1, 2, 3, A or B.").arg(words[2]));
        hive::textToInt(words[i + 1]); // only numbers the calibration tool reads back
        changes.emplace_back(setting, words[i + 1]);
    }
    const QString key = app::CalibrationKeyPath();
    hive::currentUser().edit([&](hive::HiveDocument& doc) {
        for (const auto& [setting, text] : changes)
            doc.setValue(key, hive::HiveValue::string(QLatin1String(setting->valueName), text));
    });
    for (const auto& [setting, text] : changes)
        out << "Stored " << setting->valueName << " = " << text << " in " << key << '\n';
    return 0;
}

int unset(const Setting& setting, QTextStream& out)
{
    const QString key = keyOf(setting);
    if (hive::currentUser().deleteValue(key, QLatin1String(setting.valueName)))
        out << "Removed " << setting.valueName << " from " << key << '\n';
    else
        out << setting.valueName << " was not stored in " << key << '\n';
    return 0;
}

int importFile(const QString& fileName, QTextStream& out, QTextStream& err)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "Cannot read " << fileName << ": " << file.errorString() << ".\n";
        return 1;
    }
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

int runSettingsTool(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows and changes the trainer settings that Caltrix reads from the Wine registry of the current "
        "user.\n\nCommands:\n"
        "  show               the settings as Caltrix reads them (the default)\n"
        "  set NAME VALUE     stores a setting as text (a decimal number; the roll diameter with your "
        "decimal separator), e.g. set unit-type 5, set speed-a 20\n"
        "  set preset N speed V resist W\n"
        "                     stores a preset's speed, resistance or both (N: 1, 2, 3, A or B)\n"
        "  unset NAME         removes a setting\n"
        "  import FILE        imports the HKEY_CURRENT_USER keys of a registry editor export (.reg), such as "
        "the trainer software's settings exported on a Windows computer\n\n"
        "Names: %1. Preset values go to the calibration key of the stored unit type, so set UnitType first.\n"
        "Change settings while no Windows program runs in the Wine prefix: Wine rewrites the file from its "
        "own copy when it ends.")
                                         .arg(settingNames()));
    const QCommandLineOption hiveOption(QStringLiteral("hive"),
        QStringLiteral("The registry file to use instead of %1.").arg(hive::defaultUserHivePath()), QStringLiteral("file"));
    const QCommandLineOption helpOption({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help."));
    const QCommandLineOption versionOption({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Shows the version."));
    parser.addOption(hiveOption);
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("show, set, unset or import"));
    if (!parser.parse(QStringList { QStringLiteral("caltrix-settings") } + arguments)) {
        err << parser.errorText() << "\nRun caltrix-settings --help for the commands.\n";
        return 2;
    }
    if (parser.isSet(helpOption)) {
        out << parser.helpText();
        return 0;
    }
    if (parser.isSet(versionOption)) {
        out << "caltrix-settings " CALTRIX_VERSION "\n";
        return 0;
    }
    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0, QStringLiteral("show"));
    const auto usage = [&err](const QString& problem) {
        err << problem << "\nRun caltrix-settings --help for the commands.\n";
        return 2;
    };

    std::optional<hive::Hive> chosen;
    std::optional<hive::ScopedCurrentUser> scoped;
    if (parser.isSet(hiveOption)) {
        chosen.emplace(parser.value(hiveOption));
        scoped.emplace(*chosen);
    }
    try {
        if (command == QLatin1String("show") && words.size() <= 1) {
            show(out);
            return 0;
        }
        if (command == QLatin1String("import")) {
            if (words.size() != 2)
                return usage(QStringLiteral("import needs the file of a registry editor export."));
            return importFile(words[1], out, err);
        }
        const bool isSet = command == QLatin1String("set");
        if (isSet && words.size() > 1 && words[1].compare(QLatin1String("preset"), Qt::CaseInsensitive) == 0)
            return setPreset(words, out);
        if (!isSet && command != QLatin1String("unset"))
            return usage(QStringLiteral("Unknown command \"%1\".").arg(words.join(u' ')));
        if (words.size() != (isSet ? 3 : 2))
            return usage(isSet ? QStringLiteral("set needs a name and a value.") : QStringLiteral("unset needs a name."));
        const Setting* setting = findSetting(words[1]);
        if (!setting)
            return usage(QStringLiteral("Unknown setting \"%1\". Known settings: %2.").arg(words[1], settingNames()));
        return isSet ? set(*setting, words[2], out) : unset(*setting, out);
    } catch (const platform::Error& e) {
        err << e.message() << '\n';
        return 1;
    }
}

} // namespace caltrix::tools

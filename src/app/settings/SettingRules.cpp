#include "app/settings/SettingRules.h"

#include "app/settings/StoredSettings.h"
#include "hive/CurrentUser.h"
#include "hive/NumberText.h"
#include "platform/Error.h"
#include "platform/Platform.h"

#include <QLocale>

#include <cmath>

namespace caltrix::app {

namespace {

constexpr SettingRange AnyNumber { -HUGE_VAL, HUGE_VAL, "" };
constexpr SettingRange Speed { 0, 100, " km/h" };
constexpr SettingRange Level { 0, 255, "" };
constexpr SettingRange Positive { 0, HUGE_VAL, "" };

QString number(std::int32_t value) { return QString::number(value); }

QString foldedName(const QString& name)
{
    QString folded = name.toLower();
    folded.remove(QLatin1Char('-'));
    folded.remove(QLatin1Char('_'));
    return folded;
}

QString rangeText(const SettingRange& range)
{
    if (range.max == HUGE_VAL)
        return QStringLiteral("a number above %1").arg(range.min);
    return QStringLiteral("between %1 and %2%3").arg(range.min).arg(range.max).arg(QLatin1String(range.unit));
}

// A roll diameter written with the other decimal separator is the likeliest slip: say which to use.
QString separatorHint(const TrainerSetting& setting, const QString& text)
{
    const QChar separator = platform::decimalSeparator();
    const QChar other = separator == u'.' ? u',' : u'.';
    if (setting.kind != SettingKind::Float || !text.contains(other))
        return {};
    return QStringLiteral(" (the decimal separator of your locale is \"%1\": write %2)")
        .arg(separator)
        .arg(QString(text).replace(other, separator));
}

} // namespace

const std::vector<TrainerSetting>& trainerSettings()
{
    static const std::vector<TrainerSetting> all = {
        { "UnitType", UnitTypeName, false, SettingKind::Integer, "Unit type", [] { return number(ReadUnitType()); },
            AnyNumber },
        { "RollDiameter", RollDiameterName, false, SettingKind::Float, "Roll diameter",
            [] { return QLocale().toString(static_cast<double>(ReadRollDiameter()), 'g', 15); }, Positive },
        { "EventPerTurn", EventPerTurnName, false, SettingKind::Integer, "Events per turn",
            [] { return number(ReadEventPerTurn()); }, { 1, 255, "" } },
        { "TrainerDeviceNumber", TrainerDeviceNumberName, false, SettingKind::Integer, "Trainer device number",
            [] { return number(ReadTrainerDeviceNumber()); }, { 0, 65535, "" } },
        { "Speed1", PresetSpeedName(1), true, SettingKind::Integer, "P1 speed", [] { return number(ReadPresetSpeed(1)); },
            Speed },
        { "Resist1", PresetResistName(1), true, SettingKind::Integer, "P1 resistance",
            [] { return number(ReadPresetResist(1)); }, Level },
        { "Speed2", PresetSpeedName(2), true, SettingKind::Integer, "P2 speed", [] { return number(ReadPresetSpeed(2)); },
            Speed },
        { "Resist2", PresetResistName(2), true, SettingKind::Integer, "P2 resistance",
            [] { return number(ReadPresetResist(2)); }, Level },
        { "Speed3", PresetSpeedName(3), true, SettingKind::Integer, "P3 speed", [] { return number(ReadPresetSpeed(3)); },
            Speed },
        { "Resist3", PresetResistName(3), true, SettingKind::Integer, "P3 resistance",
            [] { return number(ReadPresetResist(3)); }, Level },
        { "SpeedA", SpeedAName, true, SettingKind::Integer, "PA speed", [] { return number(ReadSpeedA()); }, Speed },
        { "ResistA", ResistAName, true, SettingKind::Integer, "PA resistance", [] { return number(ReadResistA()); }, Level },
        { "SpeedB", SpeedBName, true, SettingKind::Integer, "PB speed", [] { return number(ReadSpeedB()); }, Speed },
        { "ResistB", ResistBName, true, SettingKind::Integer, "PB resistance", [] { return number(ReadResistB()); }, Level },
    };
    return all;
}

bool sameSettingName(const QString& a, const QString& b) { return foldedName(a) == foldedName(b); }

const TrainerSetting* findTrainerSetting(const QString& name)
{
    for (const TrainerSetting& setting : trainerSettings()) {
        if (sameSettingName(name, QLatin1String(setting.name)) || sameSettingName(name, setting.valueName))
            return &setting;
    }
    return nullptr;
}

const TrainerSetting* findPresetSetting(const QString& what, const QString& preset)
{
    const QString kind = what.toLower();
    if (kind != QLatin1String("speed") && kind != QLatin1String("resist"))
        return nullptr;
    return findTrainerSetting(kind + preset);
}

QStringList trainerSettingNames()
{
    QStringList names;
    for (const TrainerSetting& setting : trainerSettings())
        names << QLatin1String(setting.name);
    return names;
}

QString refusalFor(const TrainerSetting& setting, const QString& text)
{
    double value = 0;
    try {
        value = setting.kind == SettingKind::Integer ? hive::textToInt(text) : static_cast<double>(hive::textToFloat(text));
    } catch (const platform::ConvertError& e) {
        return QStringLiteral("cannot store %1: %2%3")
            .arg(QLatin1String(setting.name), e.message(), separatorHint(setting, text));
    }
    const SettingRange& range = setting.range;
    const bool inRange = range.max == HUGE_VAL ? value > range.min : value >= range.min && value <= range.max;
    if (!std::isfinite(value) || !inRange)
        return QStringLiteral("cannot store %1 = %2: it must be %3").arg(QLatin1String(setting.name), text, rangeText(range));
    return {};
}

void checkTrainerSetting(const TrainerSetting& setting, const QString& text)
{
    if (const QString refusal = refusalFor(setting, text); !refusal.isEmpty())
        throw platform::Error(refusal);
}

QString keyOf(const TrainerSetting& setting) { return setting.calibration ? CalibrationKeyPath() : DeviceKeyPath; }

bool isStored(const TrainerSetting& setting)
{
    const auto value = hive::currentUser().value(keyOf(setting), setting.valueName);
    return value && !(value->isText() && value->text().isEmpty());
}

QString storedText(const TrainerSetting& setting, std::int32_t unitType)
{
    const QString key = setting.calibration ? CalibrationKeyOf(unitType) : DeviceKeyPath;
    const auto value = hive::currentUser().value(key, setting.valueName);
    return value && value->isText() ? value->text() : QString();
}

std::int32_t unitTypeFor(const QString& what)
{
    try {
        return ReadUnitType();
    } catch (const platform::ConvertError& e) {
        throw platform::Error(QStringLiteral("cannot change %1: the stored unit type cannot be read (%2); set unit-type again")
                                  .arg(what, e.message()));
    }
}

QString presetKeyFor(const QString& what)
{
    if (unitTypeFor(what) == 0) {
        throw platform::Error(QStringLiteral("cannot store %1: no unit type is stored, and the presets are kept per unit "
                                             "type; set unit-type first")
                                  .arg(what));
    }
    return CalibrationKeyPath();
}

QStringList storeTrainerSettings(const std::vector<SettingChange>& changes, std::int32_t unitType)
{
    for (const SettingChange& change : changes) {
        if (change.text.isEmpty())
            continue;
        checkTrainerSetting(*change.setting, change.text);
        if (change.setting->calibration && unitType == 0) {
            throw platform::Error(QStringLiteral("cannot store %1: the presets are kept per unit type; choose a unit type first")
                                      .arg(QLatin1String(change.setting->name)));
        }
    }
    QStringList lines;
    hive::currentUser().edit([&](hive::HiveDocument& doc) {
        for (const SettingChange& change : changes) {
            const QString key = change.setting->calibration ? CalibrationKeyOf(unitType) : DeviceKeyPath;
            const QString& name = change.setting->valueName;
            if (change.text.isEmpty()) {
                if (doc.deleteValue(key, name))
                    lines << QStringLiteral("Removed %1 from %2").arg(name, key);
                continue;
            }
            doc.setValue(key, hive::HiveValue::string(name, change.text));
            lines << QStringLiteral("Stored %1 = %2 in %3").arg(name, change.text, key);
        }
    });
    return lines;
}

} // namespace caltrix::app

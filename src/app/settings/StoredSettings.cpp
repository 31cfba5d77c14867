#include "app/settings/StoredSettings.h"

#include "hive/CurrentUser.h"
#include "hive/NumberText.h"

#include <optional>

namespace caltrix::app {

namespace {

// The text of a value, the empty text for a missing value in an existing key, nothing when the
// key does not exist.
std::optional<QString> readSetting(const QString& keyPath, const QString& name)
{
    const auto document = hive::currentUser().document();
    if (!document->keyExists(keyPath))
        return std::nullopt;
    const hive::HiveKey* key = document->findKey(keyPath);
    const hive::HiveValue* value = key ? key->findValue(name) : nullptr;
    return value ? hive::readText(*value) : QString();
}

std::int32_t readInteger(const QString& keyPath, const QString& name)
{
    const auto text = readSetting(keyPath, name);
    return text ? hive::textToInt(*text) : 0;
}

std::int32_t readCalibrationInteger(const QString& name) { return readInteger(CalibrationKeyPath(), name); }

} // namespace

std::int32_t ReadUnitType() { return readInteger(DeviceKeyPath, QStringLiteral("PeltoAntSettings_UnitType")); }

long double ReadRollDiameter()
{
    const auto text = readSetting(DeviceKeyPath, QStringLiteral("PeltoAntSettings_RollDiameter"));
    return text ? hive::textToFloat(*text) : 0.0L;
}

std::int32_t ReadEventPerTurn() { return readInteger(DeviceKeyPath, QStringLiteral("PeltoAntSettings_EventPerTurn")); }

std::int32_t ReadTrainerDeviceNumber()
{
    return readInteger(DeviceKeyPath, QStringLiteral("PeltoAntSettings_TrainerDeviceNumber"));
}

QString CalibrationKeyPath() { return CalibrationKeyBase + QString::number(ReadUnitType()); }

std::int32_t ReadPresetSpeed(int n) { return readCalibrationInteger(QStringLiteral("Speed") + QString::number(n)); }

std::int32_t ReadPresetResist(int n) { return readCalibrationInteger(QStringLiteral("Resist") + QString::number(n)); }

std::int32_t ReadSpeedA()
{
    const auto text = readSetting(CalibrationKeyPath(), QStringLiteral("SpeedA"));
    return text && !text->isEmpty() ? hive::textToInt(*text) : 0;
}

std::int32_t ReadSpeedB() { return readCalibrationInteger(QStringLiteral("SpeedB")); }
std::int32_t ReadResistA() { return readCalibrationInteger(QStringLiteral("ResistA")); }
std::int32_t ReadResistB() { return readCalibrationInteger(QStringLiteral("ResistB")); }

} // namespace caltrix::app

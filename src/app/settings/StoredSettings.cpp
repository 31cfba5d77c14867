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

std::int32_t ReadUnitType() { return readInteger(DeviceKeyPath, UnitTypeName); }

long double ReadRollDiameter()
{
    const auto text = readSetting(DeviceKeyPath, RollDiameterName);
    return text ? hive::textToFloat(*text) : 0.0L;
}

std::int32_t ReadEventPerTurn() { return readInteger(DeviceKeyPath, EventPerTurnName); }

std::int32_t ReadTrainerDeviceNumber() { return readInteger(DeviceKeyPath, TrainerDeviceNumberName); }

QString CalibrationKeyPath() { return CalibrationKeyOf(ReadUnitType()); }

std::int32_t ReadPresetSpeed(int n) { return readCalibrationInteger(PresetSpeedName(n)); }

std::int32_t ReadPresetResist(int n) { return readCalibrationInteger(PresetResistName(n)); }

std::int32_t ReadSpeedA()
{
    const auto text = readSetting(CalibrationKeyPath(), SpeedAName);
    return text && !text->isEmpty() ? hive::textToInt(*text) : 0;
}

std::int32_t ReadSpeedB() { return readCalibrationInteger(SpeedBName); }
std::int32_t ReadResistA() { return readCalibrationInteger(ResistAName); }
std::int32_t ReadResistB() { return readCalibrationInteger(ResistBName); }

} // namespace caltrix::app

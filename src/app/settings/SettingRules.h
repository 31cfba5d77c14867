#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace caltrix::app {

// What may be stored as a trainer setting and what a refusal says: one table for caltrix-settings
// and the settings dialog alike, so that both accept the same values and refuse them in the same
// words. Every store goes through the hive's safe writer (the lock, the refusal while Wine runs
// for the prefix, the atomic replace keeping owner and mode). Main thread only.

enum class SettingKind { Integer, Float };

// The values the trainer can use. A range without an upper end excludes its lower one: a roll
// diameter only needs to be positive.
struct SettingRange {
    double min;
    double max;
    const char* unit; // appended to the range in messages, may be empty
};

// A setting the calibration tool reads: where it lives and how it is shown.
struct TrainerSetting {
    const char* name; // as given on the command line
    QString valueName; // in the hive
    bool calibration; // in the calibration key of the unit type, else in the device key
    SettingKind kind;
    const char* caption;
    std::function<QString()> read; // as the calibration tool reads it, as text
    SettingRange range;
};

// Every setting, in the order the tool shows them: the device settings, then the presets.
const std::vector<TrainerSetting>& trainerSettings();
// By its command-line or hive name, without regard to case, hyphens and underscores
// (unit-type, UnitType, PeltoAntSettings_UnitType, speed_a); null when there is none.
const TrainerSetting* findTrainerSetting(const QString& name);
// The preset value "speed" or "resist" of preset 1, 2, 3, A or B; null when there is none.
const TrainerSetting* findPresetSetting(const QString& what, const QString& preset);
// Whether the names are the same to a user (see findTrainerSetting).
bool sameSettingName(const QString& a, const QString& b);
QStringList trainerSettingNames();

// Empty when `text` may be stored as `setting`, else the refusal ("cannot store Speed1 = 105: it
// must be between 0 and 100 km/h"). Only text the calibration tool reads back, and a value the
// trainer can use, passes.
QString refusalFor(const TrainerSetting& setting, const QString& text);
// Fails with platform::Error carrying the refusal.
void checkTrainerSetting(const TrainerSetting& setting, const QString& text);

// The key the setting lives in for the stored unit type.
QString keyOf(const TrainerSetting& setting);
// Whether the setting holds a value at all (an empty text counts as none).
bool isStored(const TrainerSetting& setting);
// The text stored for `setting` in the calibration key of `unitType` (device settings: in the
// device key); empty when there is none.
QString storedText(const TrainerSetting& setting, std::int32_t unitType);

// The stored unit type, for changing `what`; a text that is no number is named as the unit type.
std::int32_t unitTypeFor(const QString& what);
// The calibration key the presets go to: refused without a stored unit type, since presets are
// kept per unit type and would land in a key nothing reads once one is set.
QString presetKeyFor(const QString& what);

// One value to store: the setting and its text; an empty text removes the value.
struct SettingChange {
    const TrainerSetting* setting;
    QString text;
};

// Checks every change, then stores them all in one write, or none: device settings in the device
// key, presets in the calibration key of `unitType` (which must not be 0 when presets change).
// Returns the lines that say what was stored ("Stored Speed1 = 20 in ..."). Fails with
// platform::Error (a refusal) or hive::HiveError (the file cannot be written, Wine runs).
QStringList storeTrainerSettings(const std::vector<SettingChange>& changes, std::int32_t unitType);

} // namespace caltrix::app

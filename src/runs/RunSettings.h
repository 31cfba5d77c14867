#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace caltrix::runs {

// How a run is judged and shown. The defaults are what a rider gets without setting anything.
struct RunSettings {
    double bandKmh = 0.5; // the running average must stay within target ± band
    int averageSeconds = 3; // ticks in the running average
    int holdSeconds = 30; // how long the average must stay in the band to count as steady
    bool stripShown = true;

    bool operator==(const RunSettings&) const = default;
};

// A setting's value read from its text, or why it is refused, in caltrix-settings' words
// ("cannot store run-band = 7: it must be between 0.1 and 5 km/h").
template <class T>
struct CheckedSetting {
    std::optional<T> value;
    QString refusal;
};

// One function per setting decides what is valid, for the command line and the settings file alike.
CheckedSetting<double> checkRunBand(const QString& text); // 0.1 to 5 km/h, a point as the separator
CheckedSetting<int> checkRunAverage(const QString& text); // 1 to 10 s
CheckedSetting<int> checkRunHold(const QString& text); // 5 to 300 s
CheckedSetting<bool> checkRunStrip(const QString& text); // on or off

// "run-band", "run-average", "run-hold", "run-strip": the names caltrix-settings sets them by.
QStringList runSettingNames();

// Caltrix's own settings file, shared by caltrix, caltrix-settings and caltrix-demo:
// $XDG_CONFIG_HOME/caltrix/caltrix.conf (~/.config/caltrix/caltrix.conf). Never the Wine registry.
QString runSettingsFilePath();

// The settings in the file; a missing or damaged file, or a value in it that is refused, gives the
// default for what it lacks.
RunSettings readRunSettings();

// Stores one setting by its name (see runSettingNames) after checking its text. Fails with a
// platform::Error carrying the refusal, or saying that the file cannot be written and what to do.
void storeRunSetting(const QString& name, const QString& text);

// Stores whether the run strip is shown, as `set run-strip on|off` does.
void storeRunStripShown(bool shown);

// Removes one setting (see runSettingNames) from the file, so that its default applies again.
// Returns whether the file held it; fails as storeRunSetting does.
bool removeRunSetting(const QString& name);

} // namespace caltrix::runs

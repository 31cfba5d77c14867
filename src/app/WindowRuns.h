#pragma once

#include "runs/RunRecord.h"
#include "runs/RunSettings.h"
#include "runs/RunVerdict.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace caltrix::widgets {
class RunStrip;
}

namespace caltrix::app {

// Where the window keeps its runs, and a hold of its own when it is not the rider's setting.
struct WindowRunOptions {
    QString recordFolder = runs::RunRecord::defaultFolder();
    // Replaces the settings file's hold time (the demo's short script).
    std::optional<int> holdSeconds;
};

// The calibration runs of the window: each preset applied starts a run that lasts to the next
// preset or Close. Every statistics tick is judged (is the speed held?), shown in the run strip and
// kept in the run record. The settings come from Caltrix's own settings file, read once when the
// window is made. Main thread only.
class WindowRuns {
public:
    // The strip outlives this object. The record goes to a file in the options' folder named by
    // `programStart`, made at the first tick; a record that cannot be written is said once, in a
    // message box after the tick that found it.
    WindowRuns(widgets::RunStrip& strip, const WindowRunOptions& options, const QDateTime& programStart);

    const runs::RunSettings& settings() const { return settings_; }
    const runs::RunVerdict& verdict() const { return verdict_; }
    QString recordFolder() const { return record_.folder(); }

    // A preset was applied: the run before it ends, and a new one starts on `trainer`. Without a
    // connected trainer the run cannot be measured: the strip says the trainer is lost.
    void presetApplied(const runs::RunPreset& preset, const runs::RunTrainer& trainer, bool trainerConnected);
    // New run settings, as the settings dialog stored them: they judge the runs started from now on.
    void useSettings(const runs::RunSettings& settings);
    // One statistics tick: the live speed, or none while no trainer is connected.
    void tick(std::optional<double> speedKmh);
    // The window closes: the run ends (once; a second call records nothing).
    void end();

private:
    static runs::RunSettings withHold(runs::RunSettings settings, std::optional<int> holdSeconds);
    void showVerdict();
    void reportRecordFailure(const QString& message);

    std::optional<int> holdSeconds_; // the options' hold time, kept over new settings
    runs::RunSettings settings_;
    runs::RunVerdict verdict_;
    widgets::RunStrip& strip_;
    runs::RunRecord record_;
};

} // namespace caltrix::app

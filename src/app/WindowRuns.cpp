#include "app/WindowRuns.h"

#include "platform/Desktop.h"
#include "platform/Platform.h"
#include "widgets/RunStrip.h"

#include <QCoreApplication>
#include <QTimer>

namespace caltrix::app {

WindowRuns::WindowRuns(widgets::RunStrip& strip, const WindowRunOptions& options, const QDateTime& programStart)
    : holdSeconds_(options.holdSeconds)
    , settings_(withHold(runs::readRunSettings(), holdSeconds_))
    , verdict_(settings_)
    , strip_(strip)
    , record_(options.recordFolder, programStart, [this](const QString& message) { reportRecordFailure(message); })
{
    strip_.setBand(settings_.bandKmh);
    strip_.setHoldSeconds(settings_.holdSeconds);
    showVerdict();
}

runs::RunSettings WindowRuns::withHold(runs::RunSettings settings, std::optional<int> holdSeconds)
{
    if (holdSeconds)
        settings.holdSeconds = *holdSeconds;
    return settings;
}

void WindowRuns::useSettings(const runs::RunSettings& settings) { settings_ = withHold(settings, holdSeconds_); }

void WindowRuns::presetApplied(const runs::RunPreset& preset, const runs::RunTrainer& trainer, bool trainerConnected)
{
    end();
    if (verdict_.settings() != settings_) {
        verdict_ = runs::RunVerdict(settings_);
        strip_.setBand(settings_.bandKmh);
        strip_.setHoldSeconds(settings_.holdSeconds);
    }
    verdict_.startRun(preset);
    if (!trainerConnected)
        verdict_.trainerLost();
    record_.startRun(QDateTime::currentDateTime(), trainer, preset);
    strip_.startRun(preset);
    showVerdict();
}

void WindowRuns::tick(std::optional<double> speedKmh)
{
    if (!speedKmh) {
        verdict_.trainerLost();
        strip_.addPoint(std::nullopt);
        showVerdict();
        return;
    }
    if (const std::optional<runs::RunTick> judged = verdict_.tick(*speedKmh))
        record_.recordTick(*judged);
    strip_.addPoint(speedKmh);
    showVerdict();
}

// The record keeps one end line per run: between runs it records nothing.
void WindowRuns::end() { record_.endRun(verdict_.outcome()); }

void WindowRuns::showVerdict() { strip_.showVerdict(verdict_.state(), verdict_.text(), verdict_.heldSeconds()); }

void WindowRuns::reportRecordFailure(const QString& message)
{
    // Said after the tick that found it, so that the box does not run inside the tick.
    QTimer::singleShot(0, QCoreApplication::instance(), [message] {
        platform::desktop().showMessageBox({ message, platform::ApplicationTitle, platform::BoxIcon::Warning });
    });
}

} // namespace caltrix::app

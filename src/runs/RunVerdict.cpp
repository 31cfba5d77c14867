#include "runs/RunVerdict.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace caltrix::runs {

namespace {

// Averages of speeds given to two decimals are not exact in binary: an average that sits on the
// band's edge counts as inside it.
constexpr double EdgeTolerance = 1e-9;

// Two decimals with a point, whatever the user's locale (QString::number ignores it).
QString twoDecimals(double value) { return QString::number(value, 'f', 2); }

} // namespace

QString presetCaption(const RunPreset& preset)
{
    return QStringLiteral("%1 \u00b7 level %2").arg(preset.name).arg(preset.level);
}

QString RunOutcome::text() const { return steady() ? QStringLiteral("steady") : QStringLiteral("not steady"); }

RunVerdict::RunVerdict(const RunSettings& settings)
    : settings_(settings)
{
    // Settings come checked from the settings file; a window of no tick would average nothing.
    settings_.averageSeconds = std::max(settings_.averageSeconds, 1);
    settings_.holdSeconds = std::max(settings_.holdSeconds, 1);
}

void RunVerdict::startRun(const RunPreset& preset)
{
    preset_ = preset;
    lost_ = false;
    second_ = 0;
    held_ = 0;
    speeds_.clear();
    lastSteady_.reset();
}

void RunVerdict::trainerLost()
{
    lost_ = true;
    held_ = 0;
    speeds_.clear();
}

std::optional<RunTick> RunVerdict::tick(double speedKmh)
{
    if (!preset_ || lost_)
        return std::nullopt;
    ++second_;
    speeds_.push_back(speedKmh);
    const auto kept = static_cast<std::size_t>(std::max(settings_.averageSeconds, settings_.holdSeconds));
    while (speeds_.size() > kept)
        speeds_.pop_front();
    // The average is judged once it spans its whole window: two ticks on either side of the target
    // would otherwise average into the band. A target of 0 km/h is judged like any other: the
    // rider holds the roller still.
    const bool averageComplete = speeds_.size() >= static_cast<std::size_t>(settings_.averageSeconds);
    const bool inBand
        = averageComplete && std::abs(runningAverage() - preset_->targetKmh) <= settings_.bandKmh + EdgeTolerance;
    held_ = inBand ? held_ + 1 : 0;
    if (held_ >= settings_.holdSeconds)
        lastSteady_ = holdWindow();
    return RunTick { second_, speedKmh, inBand };
}

RunVerdict::State RunVerdict::state() const
{
    if (lost_)
        return State::TrainerLost;
    if (!preset_)
        return State::NoTarget;
    return held_ >= settings_.holdSeconds ? State::Steady : State::Settling;
}

QString RunVerdict::text() const
{
    switch (state()) {
    case State::NoTarget:
        return QStringLiteral("no target");
    case State::TrainerLost:
        return QStringLiteral("trainer lost");
    case State::Settling:
        return QStringLiteral("settling");
    case State::Steady:
        break;
    }
    const Steadiness window = holdWindow();
    return QStringLiteral("steady: mean %1, spread %2 over %3 s")
        .arg(twoDecimals(window.meanKmh), twoDecimals(window.spreadKmh))
        .arg(window.windowSeconds);
}

double RunVerdict::runningAverage() const
{
    const auto count = std::min(speeds_.size(), static_cast<std::size_t>(settings_.averageSeconds));
    return std::accumulate(speeds_.end() - static_cast<std::ptrdiff_t>(count), speeds_.end(), 0.0)
        / static_cast<double>(count);
}

Steadiness RunVerdict::holdWindow() const
{
    const auto count = std::min(speeds_.size(), static_cast<std::size_t>(settings_.holdSeconds));
    const auto first = speeds_.end() - static_cast<std::ptrdiff_t>(count);
    const double n = static_cast<double>(count);
    const double mean = std::accumulate(first, speeds_.end(), 0.0) / n;
    const double squares = std::accumulate(
        first, speeds_.end(), 0.0, [mean](double sum, double speed) { return sum + (speed - mean) * (speed - mean); });
    return { mean, std::sqrt(squares / n), static_cast<int>(count), held_ };
}

} // namespace caltrix::runs

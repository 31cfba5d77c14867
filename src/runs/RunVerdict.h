#pragma once

#include "runs/RunSettings.h"

#include <QString>

#include <deque>
#include <optional>

namespace caltrix::runs {

// The preset a run holds: its name as on its button ("P2"), its target speed and resistance level.
struct RunPreset {
    QString name;
    double targetKmh = 0;
    int level = 0;
};

// "P2 · level 6"
QString presetCaption(const RunPreset& preset);

// The speed over one hold window: its mean and standard deviation (population), and how long the
// running average had been in the band when it was measured.
struct Steadiness {
    double meanKmh = 0;
    double spreadKmh = 0;
    int windowSeconds = 0;
    int heldSeconds = 0;
};

// One statistics tick as the verdict saw it: seconds since the run started, the live speed, and
// whether the running average was inside the band.
struct RunTick {
    int second = 0;
    double speedKmh = 0;
    bool inBand = false;
};

// A run's end verdict: steady when the hold time was reached at least once, with the last hold
// window that was steady; otherwise not steady.
struct RunOutcome {
    std::optional<Steadiness> lastSteady;
    bool steady() const { return lastSteady.has_value(); }
    QString text() const; // "steady" or "not steady"
};

// Judges whether the rider holds the target speed. Fed one live speed per statistics tick (one a
// second), it keeps the running average of the last `averageSeconds` ticks of the run (judged once
// the run has that many); the hold grows while that average is inside target ± band and starts
// again when it leaves. Once the hold reaches `holdSeconds` the speed is steady, with the mean and
// spread of the last hold window. The time is the count of ticks, so the verdict needs no clock.
class RunVerdict {
public:
    enum class State { NoTarget, TrainerLost, Settling, Steady };

    explicit RunVerdict(const RunSettings& settings);

    // A preset was applied: a new run starts, with nothing measured yet.
    void startRun(const RunPreset& preset);
    // The connection went: the hold is over, and the ticks are not judged until the next run.
    void trainerLost();
    // One live speed; without a run (no target, or the trainer lost) it is not judged.
    std::optional<RunTick> tick(double speedKmh);

    const RunSettings& settings() const { return settings_; }
    State state() const;
    // "no target", "trainer lost", "settling", or "steady: mean 24.96, spread 0.21 over 30 s".
    QString text() const;
    const std::optional<RunPreset>& preset() const { return preset_; }
    // Seconds the running average has been in the band without a break.
    int heldSeconds() const { return held_; }
    // The run so far, as it would end now.
    RunOutcome outcome() const { return { lastSteady_ }; }

private:
    double runningAverage() const;
    Steadiness holdWindow() const;

    RunSettings settings_;
    std::optional<RunPreset> preset_;
    bool lost_ = false;
    int second_ = 0;
    int held_ = 0;
    std::deque<double> speeds_; // the latest speeds, as many as the longer of the average and the hold
    std::optional<Steadiness> lastSteady_;
};

} // namespace caltrix::runs

#pragma once

#include "runs/RunVerdict.h"

#include <QPolygonF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <deque>
#include <optional>

namespace caltrix::widgets {

// The run strip: how a calibration run is going, shown under the calibration window.
// The top row names the run ("P2 · level 6") and how long the speed has been held ("held 12 s of
// 30 s"). Below it, a strip chart of the live speed of the last TracePoints statistics ticks, the
// newest at the right edge, with the target speed as a line and the band of target ± band shaded;
// a tick without a speed leaves a gap in the line. The bottom row gives the verdict in words, in a
// colour by its state. The chart's scale follows the target so that the band stays clearly visible
// (speeds far from it run off the edge); without a target it follows the speeds. White background,
// the classic 11 px desktop font. The accessible description is the verdict text.
// Main thread only.
class RunStrip final : public QWidget {
public:
    static constexpr QSize DesignSize { 322, 110 };
    static constexpr int TracePoints = 60;

    explicit RunStrip(QWidget* parent = nullptr);

    // Half-width of the shaded band around the target, km/h (0.5 until set).
    void setBand(double kmh);
    // The hold the verdict needs, for "held N s of M s" (30 until set).
    void setHoldSeconds(int seconds);
    // A new run: the trace is cleared, the target line and the caption are set. The verdict stays
    // as it is until the next showVerdict.
    void startRun(const runs::RunPreset& preset);
    // Back to no target: no caption, no target line, the trace cleared, the verdict "no target".
    void clearRun();
    // One statistics tick; nullopt when no speed was measured (the trainer is lost). The trace
    // keeps the latest TracePoints ticks.
    void addPoint(std::optional<double> speedKmh);
    // The verdict in words as the caller words it, its state (which picks the colour) and the
    // seconds held so far.
    void showVerdict(runs::RunVerdict::State state, const QString& text, int heldSeconds);

    const std::deque<std::optional<double>>& trace() const { return trace_; }
    QString verdictText() const { return verdict_; }
    QSize sizeHint() const override { return DesignSize; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString heldText() const;

    double band_ = 0.5;
    int holdSeconds_ = 30;
    std::optional<runs::RunPreset> preset_;
    std::deque<std::optional<double>> trace_;
    runs::RunVerdict::State state_ = runs::RunVerdict::State::NoTarget;
    QString verdict_;
    int heldSeconds_ = 0;
    QPolygonF stretch_; // reused for each unbroken stretch of the trace, so painting allocates once
};

} // namespace caltrix::widgets

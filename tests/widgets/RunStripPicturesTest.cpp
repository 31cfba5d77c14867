// The run strip in each state of a run, compared with reference pictures (make pictures renews
// them); CMake runs these again at 200 %.
#include "PictureCompare.h"
#include "widgets/RunStrip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <optional>

using caltrix::runs::RunPreset;
using caltrix::runs::RunVerdict;
using caltrix::widgets::RunStrip;
using caltrix::test::matchesReferencePicture;

namespace {
// Text is drawn: font rasterisers differ slightly between versions.
constexpr caltrix::test::PictureTolerance WithText { 40, 60 };

const RunPreset P2 { QStringLiteral("P2"), 25, 6 };

class RunStripPictures : public ::testing::Test {
protected:
    RunStripPictures() { strip.resize(RunStrip::DesignSize); }

    void ride(std::initializer_list<std::optional<double>> speeds)
    {
        for (const std::optional<double>& speed : speeds)
            strip.addPoint(speed);
    }
    // Speeds that wander a little around the target, as a rider's do, the same on every run.
    void holdNearTarget(int ticks)
    {
        for (int i = 0; i < ticks; ++i, ++wobble_)
            strip.addPoint(P2.targetKmh + 0.16 * std::sin(0.45 * wobble_) + 0.07 * std::sin(1.9 * wobble_ + 1));
    }
    QImage picture() { return strip.grab().toImage(); }

    RunStrip strip;

private:
    int wobble_ = 0;
};
} // namespace

// Riding up to the target, a little over it, and back into the band.
TEST_F(RunStripPictures, Settling)
{
    strip.startRun(P2);
    ride({ 0, 4.5, 10.2, 16.0, 21.3, 24.6, 26.0, 26.4, 25.8, 24.7, 24.4, 24.8, 25.1, 25.3, 25.2, 24.9, 25.0, 25.1 });
    strip.showVerdict(RunVerdict::State::Settling, QStringLiteral("settling"), 4);
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("run_strip_settling"), WithText));
}

TEST_F(RunStripPictures, Steady)
{
    strip.startRun(P2);
    ride({ 23.8, 24.4, 24.9, 25.3 });
    holdNearTarget(RunStrip::TracePoints);
    strip.showVerdict(RunVerdict::State::Steady, QStringLiteral("steady: mean 24.96, spread 0.21 over 30 s"), 42);
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("run_strip_steady"), WithText));
}

// A short dropout the trainer came back from, then the trainer lost for good.
TEST_F(RunStripPictures, TrainerLost)
{
    strip.startRun(P2);
    holdNearTarget(24);
    ride({ std::nullopt, std::nullopt });
    holdNearTarget(14);
    ride({ std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt });
    strip.showVerdict(RunVerdict::State::TrainerLost, QStringLiteral("trainer lost"), 0);
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("run_strip_trainer_lost"), WithText));
}

// Pedalling before any preset: no caption, no target line, the scale follows the speeds.
TEST_F(RunStripPictures, NoTarget)
{
    ride({ 12.1, 13.4, 14.6, 15.2, 15.9, 16.3, 16.1, 16.8, 17.2, 17.0, 16.6, 16.9 });
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("run_strip_no_target"), WithText));
}

// What the run strip keeps and tells besides its pixels: the trace it holds and the verdict it
// gives to assistive technology.
#include "widgets/RunStrip.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <optional>

using caltrix::runs::RunPreset;
using caltrix::runs::RunVerdict;
using caltrix::widgets::RunStrip;

namespace {
const RunPreset P2 { QStringLiteral("P2"), 25, 6 };
} // namespace

TEST(RunStrip, KeepsTheLatestTicksGapsIncluded)
{
    RunStrip strip;
    std::deque<std::optional<double>> expected;
    for (int tick = 0; tick < RunStrip::TracePoints + 15; ++tick) {
        const std::optional<double> speed = tick % 7 == 3 ? std::nullopt : std::optional(20.0 + tick / 10.0);
        strip.addPoint(speed);
        expected.push_back(speed);
    }
    strip.addPoint(std::numeric_limits<double>::quiet_NaN());
    expected.push_back(std::nullopt);
    expected.erase(expected.begin(), expected.end() - RunStrip::TracePoints);
    EXPECT_EQ(strip.trace(), expected) << "the latest ticks, a speed that is not a number counted as none";
}

TEST(RunStrip, EachRunAndTheEndOfARunStartAnEmptyTrace)
{
    RunStrip strip;
    strip.addPoint(12.5);
    strip.startRun(P2);
    EXPECT_TRUE(strip.trace().empty()) << "a run starts with nothing measured";
    strip.addPoint(24.8);
    strip.addPoint(std::nullopt);
    EXPECT_EQ(strip.trace().size(), 2u);
    strip.startRun(RunPreset { QStringLiteral("P3"), 30, 8 });
    EXPECT_TRUE(strip.trace().empty()) << "the next preset starts a new run";
    strip.addPoint(29.1);
    strip.clearRun();
    EXPECT_TRUE(strip.trace().empty());
}

TEST(RunStrip, TheAccessibleDescriptionIsTheVerdict)
{
    RunStrip strip;
    EXPECT_EQ(strip.accessibleName(), QStringLiteral("Run strip"));
    EXPECT_EQ(strip.accessibleDescription(), QStringLiteral("no target"));
    strip.startRun(P2);
    const struct {
        RunVerdict::State state;
        QString text;
        int held;
    } verdicts[] = {
        { RunVerdict::State::Settling, QStringLiteral("settling"), 4 },
        { RunVerdict::State::Steady, QStringLiteral("steady: mean 24.96, spread 0.21 over 30 s"), 31 },
        { RunVerdict::State::TrainerLost, QStringLiteral("trainer lost"), 0 },
    };
    for (const auto& verdict : verdicts) {
        strip.showVerdict(verdict.state, verdict.text, verdict.held);
        EXPECT_EQ(strip.verdictText(), verdict.text);
        EXPECT_EQ(strip.accessibleDescription(), verdict.text);
    }
    strip.clearRun();
    EXPECT_EQ(strip.verdictText(), QStringLiteral("no target"));
    EXPECT_EQ(strip.accessibleDescription(), QStringLiteral("no target"));
}

// Speeds and settings far outside a ride's: the strip still paints, in bounded time.
TEST(RunStrip, PaintsWhateverItIsGiven)
{
    const struct {
        const char* what;
        RunPreset preset;
        double band;
        std::optional<double> speed;
        QSize size;
    } cases[] = {
        { "a target of 0 and no band", { QStringLiteral("P1"), 0, 1 }, 0, 0.0, RunStrip::DesignSize },
        { "a target below 0", { QStringLiteral("P1"), -40, 1 }, 0.5, 3.0, RunStrip::DesignSize },
        { "a speed beyond any scale", { QStringLiteral("P1"), 25, 1 }, 0.5, 1e300, RunStrip::DesignSize },
        { "a strip with no room for its chart", { QStringLiteral("P1"), 25, 1 }, 0.5, 24.0, QSize(12, 9) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool withTarget : { true, false }) {
            RunStrip strip;
            strip.resize(c.size);
            strip.setBand(c.band);
            if (withTarget)
                strip.startRun(c.preset);
            strip.addPoint(c.speed);
            strip.addPoint(std::nullopt);
            strip.addPoint(c.speed);
            EXPECT_FALSE(strip.grab().isNull());
        }
    }
}

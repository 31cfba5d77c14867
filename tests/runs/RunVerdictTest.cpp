#include "QtPrinters.h"
#include "platform/Platform.h"
#include "runs/RunVerdict.h"

#include <gtest/gtest.h>

#include <vector>

using namespace caltrix;
using namespace caltrix::runs;

namespace {

// A short hold keeps the sequences readable; the band and the average are the defaults.
const RunSettings Short { 0.5, 3, 5, true };
const RunPreset P2 { QStringLiteral("P2"), 25, 6 };

// What the verdict said at each tick: '+' or '-' for the running average in the band or not, and
// 's' or 'S' for settling or steady.
struct Trace {
    std::string inBand;
    std::string states;
};

Trace feed(RunVerdict& verdict, const std::vector<double>& speeds)
{
    Trace trace;
    for (const double speed : speeds) {
        const auto tick = verdict.tick(speed);
        trace.inBand += tick && tick->inBand ? '+' : '-';
        trace.states += verdict.state() == RunVerdict::State::Steady ? 'S' : 's';
    }
    return trace;
}

struct SequenceCase {
    const char* name;
    double target;
    std::vector<double> speeds;
    const char* inBand;
    const char* states;
    const char* finalText;
    const char* outcome; // the run's end verdict: steady with "mean spread held", or "not steady"
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.name; }

class RunVerdictSequence : public ::testing::TestWithParam<SequenceCase> { };

TEST_P(RunVerdictSequence, JudgesEachTickAndTheRun)
{
    const SequenceCase& c = GetParam();
    RunVerdict verdict(Short);
    verdict.startRun({ QStringLiteral("P1"), c.target, 3 });
    const Trace trace = feed(verdict, c.speeds);
    EXPECT_EQ(trace.inBand, c.inBand);
    EXPECT_EQ(trace.states, c.states);
    EXPECT_EQ(verdict.text(), QString::fromUtf8(c.finalText));
    const RunOutcome outcome = verdict.outcome();
    QString summary = outcome.text();
    if (outcome.lastSteady) {
        summary += QStringLiteral(" %1 %2 %3")
                       .arg(QString::number(outcome.lastSteady->meanKmh, 'f', 2),
                           QString::number(outcome.lastSteady->spreadKmh, 'f', 2))
                       .arg(outcome.lastSteady->heldSeconds);
    }
    EXPECT_EQ(summary, QString::fromUtf8(c.outcome));
}

INSTANTIATE_TEST_SUITE_P(Sequences, RunVerdictSequence,
    ::testing::Values(
        // Approaches, overshoots a little (the average of 26, 25.4, 25.1 sits on the band's edge), settles.
        SequenceCase { "Settles", 25, { 20, 23, 26, 25.4, 25.1, 24.9, 25.0, 25.1, 25.0, 24.9 }, "---+++++++",
            "sssssssSSS", "steady: mean 24.98, spread 0.07 over 5 s", "steady 24.98 0.07 7" },
        SequenceCase { "OscillatesBeyondTheBand", 25, { 22, 28, 22, 28, 22, 28, 22, 28, 22, 28 }, "----------",
            "ssssssssss", "settling", "not steady" },
        // Steady from the seventh tick (the average is judged from the third), then the average
        // leaves the band at the tenth: the run keeps the last window that was steady.
        SequenceCase { "DriftsSlowlyOutAfterBeingSteady", 25, { 25, 25, 25, 25, 25, 25, 25.2, 25.4, 25.6, 25.8, 26.0 },
            "--+++++++--", "ssssssSSSss", "settling", "steady 25.24 0.23 7" },
        // The running average absorbs one tick 1.2 km/h off; the spread shows it.
        SequenceCase { "ASingleOutlierTick", 25, { 25, 25, 25, 25, 25, 26.2, 25, 25, 25 }, "--+++++++", "ssssssSSS",
            "steady: mean 25.24, spread 0.48 over 5 s", "steady 25.24 0.48 7" },
        SequenceCase { "ATargetOfZero", 0, { 2, 1, 0, 0, 0, 0, 0, 0 }, "---+++++", "sssssssS",
            "steady: mean 0.00, spread 0.00 over 5 s", "steady 0.00 0.00 5" }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RunVerdict, SaysNoTargetAndJudgesNothingBeforeAPreset)
{
    RunVerdict verdict(Short);
    EXPECT_EQ(verdict.text(), QStringLiteral("no target"));
    EXPECT_FALSE(verdict.tick(25));
    EXPECT_EQ(verdict.state(), RunVerdict::State::NoTarget);
}

TEST(RunVerdict, TrainerLostInTheMiddleOfAHoldEndsItUntilTheNextRun)
{
    RunVerdict verdict(Short);
    verdict.startRun(P2);
    feed(verdict, { 25, 25, 25, 25 });
    EXPECT_EQ(verdict.heldSeconds(), 2);

    verdict.trainerLost();
    EXPECT_EQ(verdict.text(), QStringLiteral("trainer lost"));
    EXPECT_EQ(verdict.heldSeconds(), 0);
    EXPECT_FALSE(verdict.tick(25));
    EXPECT_FALSE(verdict.outcome().steady());

    // Connecting again applies a preset: the hold starts from nothing.
    verdict.startRun(P2);
    EXPECT_EQ(feed(verdict, { 25, 25, 25, 25, 25, 25, 25 }).states, "ssssssS");
}

TEST(RunVerdict, APresetChangedInTheMiddleOfAHoldStartsAFreshRun)
{
    RunVerdict verdict(Short);
    verdict.startRun(P2);
    feed(verdict, { 25, 25, 25, 25 });

    // A target the rider already holds: neither the hold nor the speeds of the earlier run carry
    // over, so the average is judged from the third tick and the hold is reached at the seventh.
    verdict.startRun({ QStringLiteral("PA"), 25.3, 7 });
    EXPECT_EQ(verdict.text(), QStringLiteral("settling"));
    const auto first = verdict.tick(25);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->second, 1);
    EXPECT_FALSE(first->inBand);
    EXPECT_EQ(feed(verdict, { 25, 25, 25, 25, 25, 25 }).states, "sssssS");
}

TEST(RunVerdict, TextsUseAPointWhateverTheLocale)
{
    platform::ScopedLocale german { QLocale(QLocale::German) };
    RunVerdict verdict(RunSettings {});
    verdict.startRun(P2);
    std::vector<double> speeds;
    for (int i = 0; i < 32; ++i)
        speeds.push_back(i % 2 == 0 ? 24.75 : 25.17);
    feed(verdict, speeds);
    EXPECT_EQ(verdict.text(), QStringLiteral("steady: mean 24.96, spread 0.21 over 30 s"));
    EXPECT_EQ(presetCaption(P2), QStringLiteral("P2 \u00b7 level 6"));
}

} // namespace

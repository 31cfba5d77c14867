// The scripted demo on the virtual clock: it presses each preset in turn, the simulated rider
// settles at the targets so that each run becomes steady, one line a second, a verdict and a
// picture per preset, and the window closes at the end.
#include "DemoScript.h"
#include "WindowHarness.h"

#include "app/FormItems.h"
#include "app/settings/SampleSettings.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sstream>

using namespace caltrix;

namespace {

class DemoTest : public app::test::WindowTest {
protected:
    DemoTest()
    {
        auto recordMessages = stickCreated;
        stickCreated = [this, recordMessages](antlib::SimTransport& stick) {
            recordMessages(stick);
            rider.attach(stick.world().rider());
        };
        app::writeSampleSettings(hive, world.trainerNumber);
        runHoldSeconds = 10; // as the headless demo holds
    }

    demo::DemoRider rider;
};

} // namespace

TEST_F(DemoTest, TheScriptPressesEachPresetAndTheRiderSettlesAtItsTarget)
{
    app::TForm1& w = createWindow();
    w.ShowCentred();
    demo::PresetFollower follower(w, rider);
    QTemporaryDir pictures;
    std::ostringstream out;
    demo::DemoScript script(w, rider, 60, pictures.path(), out);
    for (int s = 0; s < 70 && !script.finished(); ++s)
        ride(1000);
    ASSERT_TRUE(script.finished());
    EXPECT_FALSE(w.isVisible()) << "closed with its Close button";
    EXPECT_EQ(script.pictureFailures(), 0);

    const QStringList lines = QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
    const QRegularExpression second(QStringLiteral(
        R"(^ *(\d+) s  P(\d)  target (\d+) km/h  shown Speed (\d+[.,]\d) *  trainer level (\d+) *  (.+)$)"));
    int seconds = 0;
    for (const QString& line : lines) {
        const auto m = second.match(line);
        if (!m.hasMatch())
            continue;
        ++seconds;
        EXPECT_EQ(m.captured(1).toInt(), seconds);
        const int preset = (seconds - 1) / 20 + 1;
        EXPECT_EQ(m.captured(2).toInt(), preset) << line.toStdString();
        EXPECT_EQ(m.captured(3).toInt(), 5 + 10 * preset);
        if (seconds % 20 == 1) {
            EXPECT_EQ(m.captured(6), "settling") << "each preset starts a run: " << line.toStdString();
        }
        if (seconds % 20 == 0) {
            // By the end of each preset's turn the rider holds its target, on its level.
            EXPECT_NEAR(m.captured(4).toDouble(), 5 + 10 * preset, 0.5) << line.toStdString();
            EXPECT_EQ(m.captured(5).toInt(), 3 * preset) << line.toStdString();
            EXPECT_TRUE(m.captured(6).startsWith("steady: mean ")) << line.toStdString();
        }
    }
    EXPECT_EQ(seconds, 60) << out.str();
    const QRegularExpression verdict(QStringLiteral(
        R"(^      verdict: P(\d) · level (\d+): steady, mean \d+\.\d\d km/h, spread 0\.\d\d km/h, held \d+ s$)"));
    int verdicts = 0;
    for (const QString& line : lines)
        verdicts += verdict.match(line).hasMatch() ? 1 : 0;
    EXPECT_EQ(verdicts, 3) << out.str();
    for (int n = 1; n <= 3; ++n)
        EXPECT_TRUE(QFile::exists(QDir(pictures.path()).filePath(QStringLiteral("caltrix-P%1.png").arg(n)))) << n;
}

TEST_F(DemoTest, APictureFolderThatCannotBeWrittenIsSaidAndCounted)
{
    app::TForm1& w = createWindow();
    demo::PresetFollower follower(w, rider);
    std::ostringstream out;
    demo::DemoScript script(w, rider, 3, QStringLiteral("/nonexistent/caltrix-demo"), out);
    for (int s = 0; s < 5 && !script.finished(); ++s)
        ride(1000);
    ASSERT_TRUE(script.finished());
    EXPECT_EQ(script.pictureFailures(), 3);
    EXPECT_NE(out.str().find("cannot be written"), std::string::npos);
}

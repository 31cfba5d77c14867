// The real caltrix over antsim's serial stick on a pseudo-terminal (CALTRIX_ANT=serial:PATH),
// under Xvfb, as a person uses it: the wait notice, the window once the trainer answers, presets
// pressed with the pointer and heard by the trainer, the speed following the rider, Close.
#include "AntsimStick.h"
#include "ProgramFixture.h"

#include "antsim/RiderModel.h"
#include "app/Unit1Layout.h"
#include "app/WaitDlg.h"
#include "app/settings/SettingNames.h"
#include "hive/Hive.h"
#include "runs/RunSettings.h"

#include "ScopedEnv.h"

#include "PictureCompare.h"

#include <csignal>

using namespace caltrix;
using namespace caltrix::e2e;

namespace {

constexpr double RiderEffort = 0.7; // antsim's default
// How far the shown speed may be from the rider's steady speed: the rider's wobble, the averaging
// of the last speeds and the arrow's whole-pixel placement.
constexpr double SpeedSlackKmh = 3;
// Text is drawn: a little room for font rasterisers.
constexpr test::PictureTolerance TextTolerance { 64, 40 };

class SerialStick : public ProgramTest {
protected:
    void TearDown() override
    {
        endAntsim(antsim);
        ProgramTest::TearDown();
    }

    // True once the arrow points within the slack of the rider's steady speed at `level`.
    bool arrowFollowsRiderAt(const QRect& window, std::uint8_t level)
    {
        const double steady = antsim::RiderModel::steadySpeedKmh(RiderEffort, level);
        return waitUntil([&] {
            const auto shown = arrowSpeed(window);
            return shown && std::abs(*shown - steady) <= SpeedSlackKmh;
        });
    }

    // Caltrix running over antsim with its window up and P1's level at the trainer.
    std::optional<QRect> rideOnP1()
    {
        const QString path = startAntsim(antsim);
        EXPECT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
        startCaltrix(QStringLiteral("serial:") + path);
        const auto window = x.waitForWindow(MainWindow);
        EXPECT_TRUE(window) << "the window did not appear";
        EXPECT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 3"))) << "P1 did not reach the trainer";
        return window;
    }

    QProcess antsim;
};

TEST_F(SerialStick, ConnectsRidesThroughThePresetsAndCloses)
{
    const QString path = startAntsim(antsim);
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
    // The stick holds its answers until the notice has been seen: the connection never outruns it.
    ::kill(static_cast<pid_t>(antsim.processId()), SIGSTOP);
    startCaltrix(QStringLiteral("serial:") + path);
    const auto notice = x.waitForWindow(WaitNotice);
    ASSERT_TRUE(notice) << "no wait notice";
    EXPECT_TRUE(x.waitForWindow(MainWindow, 0) == std::nullopt) << "the window is shown before the trainer answered";
    QImage noticePicture = x.grab(*notice);
    paintOver(noticePicture, { app::WaitDlgLayout::WaitProgress.adjusted(-2, -2, 2, 2) }); // it turns
    EXPECT_TRUE(test::matchesReferencePicture(noticePicture, QStringLiteral("e2e_wait_notice"), TextTolerance));
    ::kill(static_cast<pid_t>(antsim.processId()), SIGCONT);

    const auto window = x.waitForWindow(MainWindow);
    ASSERT_TRUE(window) << "the window did not appear";
    EXPECT_TRUE(x.waitUntilGone(WaitNotice));
    ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 3"))) << "P1 did not reach the trainer";
    EXPECT_TRUE(arrowFollowsRiderAt(*window, 3));

    press(*window, app::layout::Button2);
    ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 6")));
    press(*window, app::layout::Button3);
    ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 9")));
    EXPECT_TRUE(arrowFollowsRiderAt(*window, 9));
    EXPECT_TRUE(test::matchesReferencePicture(steadyParts(*window), QStringLiteral("e2e_serial_P3"), TextTolerance));

    press(*window, app::layout::Button4);
    EXPECT_TRUE(waitForLine(antsim, QStringLiteral("channel 1 closed")));
    EXPECT_TRUE(waitForLine(antsim, QStringLiteral("stick reset")));
    expectExit();
}

// antsim ends mid-ride, as a stick pulled out: caltrix says so, stops showing a live speed and
// still closes at once.
TEST_F(SerialStick, VanishingMidRideLeavesNoLiveSpeedAndCloses)
{
    const auto window = rideOnP1();
    ASSERT_TRUE(window);
    ASSERT_TRUE(arrowFollowsRiderAt(*window, 3));

    antsim.kill();
    antsim.waitForFinished(PatienceMs);
    expectTheStickReportedLost(*window);
    EXPECT_TRUE(test::matchesReferencePicture(x.grab(designedArea(*window)), QStringLiteral("e2e_serial_vanished"), TextTolerance));
    closeAndExpectExit(*window);
}

// The verdict's round mark at the left of the run strip's bottom row, in the window, and its
// colour while the speed is steady.
constexpr QRect VerdictMark { 1 + 4, 200 + 92, 10, 16 };
const QColor SteadyMark(0x2E, 0xA0, 0x48);
// The mark and the verdict's first word.
constexpr QRect VerdictWord { 1, 200 + 90, 60, 20 };

bool holds(const QImage& picture, const QColor& colour)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) == colour)
                return true;
    return false;
}

} // namespace

// The run strip as a rider uses it: P2 pressed with the pointer, the strip says "steady" once the
// rider holds its target, the key T hides the strip and shows it again, and the run is kept.
TEST_F(SerialStick, TheRunStripSaysSteadyOnceTheRiderHoldsP2AndTHidesIt)
{
    // P2's target is the speed antsim's rider keeps at level 6; a band wide enough for the rider's
    // slow swings, and a short hold.
    hive::Hive(registry).writeString(app::CalibrationKeyOf(5), app::PresetSpeedName(2),
        QString::number(std::lround(antsim::RiderModel::steadySpeedKmh(RiderEffort, 6))));
    {
        ScopedEnv config("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")));
        runs::storeRunSetting(QStringLiteral("run-band"), QStringLiteral("2.5"));
        runs::storeRunSetting(QStringLiteral("run-hold"), QStringLiteral("5"));
    }
    const auto window = rideOnP1();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->size(), QSize(324, 311)) << "the designed area and the strip below it";

    press(*window, app::layout::Button2);
    ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 6")));
    const QRect mark = VerdictMark.translated(window->topLeft());
    EXPECT_TRUE(waitUntil([&] { return holds(x.grab(mark), SteadyMark); })) << "the strip never said steady";
    EXPECT_TRUE(test::matchesReferencePicture(
        x.grab(VerdictWord.translated(window->topLeft())), QStringLiteral("e2e_strip_steady"), TextTolerance));

    x.pressKey(QStringLiteral("t"));
    EXPECT_TRUE(waitUntil([&] { return x.waitForWindow(MainWindow, 0).value_or(QRect()).height() == 200; })) << "T did not hide the strip";
    x.pressKey(QStringLiteral("t"));
    EXPECT_TRUE(waitUntil([&] { return x.waitForWindow(MainWindow, 0).value_or(QRect()).height() == 311; })) << "T did not show the strip again";

    closeAndExpectExit(*window);
    const QDir runs(folder.filePath(QStringLiteral("data/caltrix/runs")));
    const QStringList records = runs.entryList({ QStringLiteral("*.csv") });
    ASSERT_EQ(records.size(), 1);
    QFile record(runs.filePath(records.first()));
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_TRUE(record.readAll().contains(",P2,")) << "the run of P2 is kept";
}

// A first start on a machine that names no trainer: the settings dialog comes before the
// connection, Find (Alt+F, a real key) hears both of antsim's trainers (the second search round
// leaves both out), and Escape leaves the designed start-up as it is.
TEST_F(SerialStick, AFirstStartOpensTheSettingsWhereFindHearsBothTrainers)
{
    QFile::remove(registry);
    const QString path = startAntsim(antsim, { QStringLiteral("--trainer2"), QStringLiteral("23456"), QStringLiteral("-v") });
    ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
    startCaltrix(QStringLiteral("serial:") + path);
    ASSERT_TRUE(x.waitForWindow(QStringLiteral("^Caltrix Settings"))) << "no settings dialog at the first start";
    EXPECT_FALSE(x.waitForWindow(WaitNotice, 0)) << "the connection waits for the dialog";

    x.pressKey(QStringLiteral("alt+f"));
    antsim.setReadChannel(QProcess::StandardError);
    // Both trainers on the exclusion list of the search channel (channel 0, two IDs, exclude).
    EXPECT_TRUE(waitForLine(antsim, QStringLiteral("-> ConfigIdList [00 02 01]"))) << "the second trainer was not heard";
    antsim.setReadChannel(QProcess::StandardOutput);

    x.pressKey(QStringLiteral("Escape"));
    EXPECT_TRUE(x.waitForWindow(MessageBox)) << "after Cancel: the designed \"Unit type not available\"";
    EXPECT_FALSE(QFile::exists(registry)) << "cancelled: nothing written";
}

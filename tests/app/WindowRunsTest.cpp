// The calibration runs in the window: the strip's verdict, the run record, hiding and showing the
// strip, and its context menu.
#include "WindowHarness.h"

#include "app/FormItems.h"
#include "app/WindowRuns.h"
#include "runs/RunSettings.h"
#include "widgets/RunStrip.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace caltrix;
using namespace caltrix::app;

namespace {

class WindowRunsTest : public app::test::WindowTest {
protected:
    // One statistics tick a second at the speeds `speedAt(second)` gives.
    void rideAt(int seconds, const std::function<double(int)>& speedAt)
    {
        for (int s = 0; s < seconds; ++s) {
            steadyDevice->speed = speedAt(s);
            ride(1000);
        }
    }

    // The lines of the one record file the window wrote, split into fields.
    std::vector<QStringList> recordLines() const
    {
        const QStringList files = QDir(runsFolder).entryList({ QStringLiteral("*.csv") }, QDir::Files);
        EXPECT_EQ(files.size(), 1);
        if (files.isEmpty())
            return {};
        QFile file(QDir(runsFolder).filePath(files.first()));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<QStringList> lines;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                lines.push_back(QString::fromUtf8(line).split(QLatin1Char(',')));
        return lines;
    }

    static std::vector<QStringList> linesOfRun(const std::vector<QStringList>& lines, const QString& run)
    {
        std::vector<QStringList> out;
        for (const QStringList& fields : lines)
            if (fields.value(0) == run)
                out.push_back(fields);
        return out;
    }
};

// Column indexes of the record.
constexpr int Preset = 6, Target = 7, Level = 8, Second = 9, Speed = 10, InBand = 11, Verdict = 12, Mean = 13;

} // namespace

TEST_F(WindowRunsTest, SettlesToSteadyAndKeepsEachRunInTheRecord)
{
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    w.ShowCentred();
    EXPECT_EQ(w.RunStrip1->verdictText(), "settling") << "P1 applied on connecting";
    rideAt(33, [](int s) { return s % 2 ? 15.1 : 14.9; });
    EXPECT_EQ(w.RunStrip1->verdictText(), "steady: mean 15.00, spread 0.10 over 30 s");
    EXPECT_EQ(w.RunStrip1->trace().size(), 33u);

    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(w.RunStrip1->verdictText(), "settling");
    EXPECT_TRUE(w.RunStrip1->trace().empty()) << "a new run, a new trace";
    rideAt(3, [](int) { return 20.0; });
    QTest::mouseClick(w.Button4, Qt::LeftButton);

    const std::vector<QStringList> lines = recordLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().join(QLatin1Char(',')).toUtf8(), runs::RunRecord::header());
    for (const QStringList& fields : lines)
        EXPECT_EQ(fields.size(), 16) << fields.join(QLatin1Char(',')).toStdString();

    const std::vector<QStringList> first = linesOfRun(lines, QStringLiteral("1"));
    ASSERT_EQ(first.size(), 34u) << "33 ticks and the end line";
    EXPECT_EQ(first.front().mid(2, 7), QStringList({ QString::number(world.trainerNumber), "5", "74", "1", "P1", "15", "3" }));
    EXPECT_EQ(first[0][Second], "1");
    EXPECT_EQ(first[0][Speed], "14.90");
    EXPECT_EQ(first[32][Second], "33");
    EXPECT_EQ(first[32][InBand], "1");
    EXPECT_EQ(first.back().mid(Verdict), QStringList({ "steady", "15.00", "0.10", "31" }));

    const std::vector<QStringList> second = linesOfRun(lines, QStringLiteral("2"));
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second[0].mid(Preset, 3), QStringList({ "P2", "25", "6" }));
    EXPECT_EQ(second[2][InBand], "0");
    EXPECT_EQ(second.back().mid(Verdict), QStringList({ "not steady", "", "", "" }));
}

TEST_F(WindowRunsTest, ALostTrainerEndsTheHoldInTheStrip)
{
    configureTrainer();
    TForm1& w = createWindow();
    ride(3000);
    sim->world().device("trainer")->silenceForever();
    for (int s = 0; s < 120 && trainerDevice().Connected(); ++s)
        ride(1000);
    ride(1000);
    EXPECT_EQ(w.RunStrip1->verdictText(), "trainer lost");
    ASSERT_FALSE(w.RunStrip1->trace().empty());
    EXPECT_FALSE(w.RunStrip1->trace().back().has_value()) << "no speed while the trainer is lost";
}

TEST_F(WindowRunsTest, APresetWithoutATrainerSaysTheTrainerIsLost)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    EXPECT_EQ(w.RunStrip1->verdictText(), "no target");
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    EXPECT_EQ(w.RunStrip1->verdictText(), "trainer lost");
}

TEST_F(WindowRunsTest, TheKeyTHidesAndShowsTheStripAndTheChoiceIsKept)
{
    configureTrainer(13); // the circumference box is shown
    TForm1& w = createWindow();
    w.ShowCentred();
    ASSERT_TRUE(w.runStripShown());
    QTest::keyClick(&w, Qt::Key_T);
    EXPECT_FALSE(w.RunStrip1->isVisible());
    EXPECT_EQ(w.size(), QSize(324, 200)) << "the designed window alone";
    EXPECT_FALSE(runs::readRunSettings().stripShown);

    QTest::keyClick(w.editCirc, Qt::Key_T);
    EXPECT_FALSE(w.runStripShown()) << "typed into the circumference box";
    EXPECT_EQ(w.editCirc->text(), "2070t");

    QTest::keyClick(w.Button2, Qt::Key_T);
    EXPECT_TRUE(w.RunStrip1->isVisible()) << "a button with the focus passes T on";
    EXPECT_EQ(w.size(), QSize(324, 311));
    EXPECT_TRUE(runs::readRunSettings().stripShown);

    runs::storeRunSetting(QStringLiteral("run-strip"), QStringLiteral("off"));
    form.reset();
    EXPECT_FALSE(createWindow().runStripShown()) << "the next window starts as it was left";
    EXPECT_EQ(form->size(), QSize(324, 200));
}

TEST_F(WindowRunsTest, TheContextMenuTogglesTheStripAndOpensTheRunsFolder)
{
    configureTrainer();
    TForm1& w = createWindow();
    w.ShowCentred();
    // The Menu key (or a right click) opens the menu; it is read and closed from inside its loop.
    QStringList shown;
    QTimer::singleShot(0, [&] {
        if (auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : popup->actions()) {
                if (!action->isSeparator())
                    shown << action->text() + (action->isChecked() ? QStringLiteral(" [x]") : QString());
            }
            popup->close();
        }
    });
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(10, 100), w.mapToGlobal(QPoint(10, 100)));
    QApplication::sendEvent(&w, &menuKey);
    EXPECT_EQ(shown, QStringList({ "Settings...", "Run strip [x]", "Open runs folder" }));

    const std::unique_ptr<QMenu> menu(w.createContextMenu());
    menu->findChild<QAction*>(QStringLiteral("RunStripAction"))->trigger();
    EXPECT_FALSE(w.runStripShown());
    menu->findChild<QAction*>(QStringLiteral("OpenRunsFolderAction"))->trigger();
    EXPECT_EQ(screen.openedFolders, std::vector<QString>({ runsFolder }));
    EXPECT_TRUE(QDir(runsFolder).exists()) << "made if nothing was recorded yet";
}

TEST_F(WindowRunsTest, ARecordThatCannotBeWrittenIsSaidOnceAndTheWindowGoesOn)
{
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    runsFolder = dir.filePath(QStringLiteral("not-a-folder/runs"));
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    rideAt(3, [](int) { return 15.0; });
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    rideAt(3, [](int) { return 24.0; });

    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_TRUE(screen.boxes[0].box.text.startsWith("The runs cannot be recorded in " + runsFolder + ": "))
        << screen.boxes[0].box.text.toStdString();
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 24.0");
    EXPECT_EQ(w.RunStrip1->trace().size(), 3u);
}

TEST(ProgramNames, QtAgreesOnCaltrixsOwnSettingsFile)
{
    const QString organisation = QCoreApplication::organizationName();
    const QString application = QCoreApplication::applicationName();
    platform::NameProgram();
    EXPECT_EQ(QSettings().fileName(), runs::runSettingsFilePath());
    QCoreApplication::setOrganizationName(organisation);
    QCoreApplication::setApplicationName(application);
}

// Unit type 13: P1 and P2 take the typed circumference after the level is sent; their run is
// measured with the roll diameter that results.
TEST_F(WindowRunsTest, ARunRecordsTheRollDiameterOfTheTypedCircumference)
{
    configureTrainer(13);
    TForm1& w = createWindow();
    w.editCirc->setText(QStringLiteral("2096"));
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    ride(2000);
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    const std::vector<QStringList> second = linesOfRun(recordLines(), QStringLiteral("2"));
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.front().mid(3, 2), QStringList({ "13", "75" })) << "2096 mm gives 75";
}

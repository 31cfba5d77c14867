// The settings dialog: the same rules and words as caltrix-settings, only what changed written,
// Wine's refusal with a way to try again, and the window's use of it (first start, context menu,
// keys and names).
#include "WindowHarness.h"

#include "LockHolder.h"
#include "QtPrinters.h"
#include "SettingsTool.h"
#include "app/FormItems.h"
#include "app/SettingsDialog.h"
#include "app/settings/SettingNames.h"
#include "runs/RunSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <sys/stat.h>

namespace caltrix::app::test {
namespace {

class SettingsDialogTest : public WindowTest {
protected:
    QByteArray fileBytes() const
    {
        QFile file(hive.filePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // What caltrix-settings says to `set NAME TEXT` on the same file, without its name.
    QString toolRefusal(const QString& name, const QString& text)
    {
        QString out;
        QString err;
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        tools::runSettingsTool({ QStringLiteral("--hive"), hive.filePath(), QStringLiteral("set"), name, text }, outStream,
            errStream);
        errStream.flush();
        return err.trimmed().remove(QStringLiteral("caltrix-settings: "));
    }

    QString stored(const QString& key, const QString& name)
    {
        const auto value = hive.value(key, name);
        return value ? value->text() : QStringLiteral("<none>");
    }
};

TEST_F(SettingsDialogTest, RefusesWhatTheToolRefusesInTheSameWordsAndWritesNothing)
{
    configureTrainer();
    const QByteArray before = fileBytes();
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        { "TrainerDeviceNumber", "70000" },
        { "TrainerDeviceNumber", "12a" },
        { "RollDiameter", "0" },
        { "RollDiameter", "28,6" }, // the other decimal separator: the hint names the right one
        { "EventPerTurn", "0" },
        { "Speed2", "105" },
        { "ResistA", "-1" },
        { "run-band", "7" },
        { "run-hold", "2" },
        { "run-average", "x" },
    };
    for (const auto& c : cases) {
        SettingsDialog dialog({});
        dialog.field(QLatin1String(c.name))->setText(QLatin1String(c.text));
        EXPECT_FALSE(dialog.save()) << c.name;
        EXPECT_EQ(dialog.refusal(), toolRefusal(QLatin1String(c.name), QLatin1String(c.text))) << c.name;
        EXPECT_FALSE(dialog.refusal().isEmpty()) << c.name;
        EXPECT_EQ(fileBytes(), before) << c.name << ": a refusal writes nothing";
    }
}

TEST_F(SettingsDialogTest, StoresWhatChangedWhereCaltrixReadsIt)
{
    configureTrainer();
    SettingsDialog dialog({});
    EXPECT_EQ(dialog.unitTypeBox()->currentData().toInt(), 5);
    EXPECT_EQ(dialog.field(QStringLiteral("Speed2"))->text(), "25") << "the presets of the stored unit type";
    dialog.field(QStringLiteral("Speed2"))->setText(QStringLiteral("30"));
    dialog.field(QStringLiteral("RollDiameter"))->setText(QStringLiteral("29.5"));
    dialog.field(QStringLiteral("run-hold"))->setText(QStringLiteral("45"));
    dialog.runStripBox()->setChecked(false);
    ASSERT_TRUE(dialog.save()) << dialog.refusal().toStdString();

    EXPECT_EQ(ReadPresetSpeed(2), 30);
    EXPECT_EQ(ReadRollDiameter(), 29.5L);
    EXPECT_EQ(ReadPresetSpeed(1), 15) << "untouched";
    const runs::RunSettings run = runs::readRunSettings();
    EXPECT_EQ(run.holdSeconds, 45);
    EXPECT_FALSE(run.stripShown);

    // Another unit type shows and takes its own presets; an emptied field removes its value.
    dialog.unitTypeBox()->setCurrentIndex(dialog.unitTypeBox()->findData(7));
    EXPECT_EQ(dialog.field(QStringLiteral("Speed1"))->text(), "") << "unit type 7 has no presets yet";
    dialog.field(QStringLiteral("Speed1"))->setText(QStringLiteral("22"));
    dialog.field(QStringLiteral("EventPerTurn"))->clear();
    ASSERT_TRUE(dialog.save()) << dialog.refusal().toStdString();
    EXPECT_EQ(ReadUnitType(), 7);
    EXPECT_EQ(stored(CalibrationKeyOf(7), PresetSpeedName(1)), "22");
    EXPECT_EQ(stored(CalibrationKeyOf(5), PresetSpeedName(2)), "30") << "unit type 5 keeps its presets";
    EXPECT_EQ(stored(DeviceKeyPath, EventPerTurnName), "<none>");
}

TEST_F(SettingsDialogTest, WhileWineRunsItSaysSoOffersToTryAgainAndWritesNothing)
{
    configureTrainer();
    // A stand-in for Debian's Wine server for the prefix: its record names a folder in the
    // temporary folder, whose server folder holds the lock the server keeps.
    QTemporaryDir wineTmp;
    const QString serverFolder = wineTmp.filePath(QStringLiteral("wine-Xy12Zw"));
    QFile record(dir.filePath(QStringLiteral("wineserver")));
    ASSERT_TRUE(record.open(QIODevice::WriteOnly));
    record.write(QFile::encodeName(serverFolder));
    record.close();
    struct stat prefix {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.path()).constData(), &prefix), 0);
    auto server = std::make_unique<LockHolder>(QStringLiteral("%1/server-%2-%3/lock")
                                                   .arg(serverFolder)
                                                   .arg(static_cast<qulonglong>(prefix.st_dev), 0, 16)
                                                   .arg(static_cast<qulonglong>(prefix.st_ino), 0, 16));
    const QByteArray before = fileBytes();

    SettingsDialog dialog({});
    dialog.field(QStringLiteral("Speed1"))->setText(QStringLiteral("18"));
    screen.retries = 1;
    EXPECT_FALSE(dialog.save());
    ASSERT_EQ(screen.texts().size(), 2u) << "tried once more, then cancelled";
    EXPECT_EQ(screen.texts()[0],
        QStringLiteral("The trainer settings cannot be stored: Wine is running in %1; close its programs or run "
                       "`wineserver -k`, then try again.")
            .arg(dir.path()));
    EXPECT_EQ(fileBytes(), before);

    server.reset();
    EXPECT_TRUE(dialog.save()) << "the same values, once Wine has ended";
    EXPECT_EQ(ReadPresetSpeed(1), 18);
}

// ---- the window -------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, AFirstStartOpensTheDialogBeforeConnecting)
{
    answerSettings = [this](SettingsDialog& dialog) {
        EXPECT_TRUE(hostMessages.empty()) << "before the stick is opened";
        dialog.unitTypeBox()->setCurrentIndex(dialog.unitTypeBox()->findData(5));
        dialog.field(QStringLiteral("TrainerDeviceNumber"))->setText(QString::number(world.trainerNumber));
        dialog.field(QStringLiteral("RollDiameter"))->setText(QStringLiteral("74"));
        dialog.field(QStringLiteral("EventPerTurn"))->setText(QStringLiteral("1"));
        dialog.field(QStringLiteral("Speed1"))->setText(QStringLiteral("20"));
        dialog.field(QStringLiteral("Resist1"))->setText(QStringLiteral("4"));
        return dialog.save();
    };
    TForm1& w = createWindow();
    EXPECT_EQ(settingsDialogsShown, 1);
    EXPECT_TRUE(screen.texts().empty()) << "no \"Unit type not available\" once a unit type is stored";
    EXPECT_EQ(w.Label1->caption(), QStringLiteral("DN = %1 RD = 74 UT = 5 EPT = 1").arg(world.trainerNumber));
    EXPECT_TRUE(trainerDevice().Connected());
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 20");
}

TEST_F(SettingsDialogTest, APartialConfigurationKeepsTheDesignedStartUp)
{
    set(DeviceKeyPath, TrainerDeviceNumberName, QString::number(world.trainerNumber));
    createWindow();
    EXPECT_EQ(settingsDialogsShown, 0);
    EXPECT_EQ(screen.texts(), std::vector<QString> { QStringLiteral("'' is not a valid integer value.") })
        << "the unit type's designed read error";
}

TEST_F(SettingsDialogTest, FromTheMenuTheWindowUsesTheNewValuesAtTheirNextUse)
{
    configureTrainer();
    TForm1& w = createWindow();
    ASSERT_EQ(settingsDialogsShown, 0);
    answerSettings = [](SettingsDialog& dialog) {
        dialog.field(QStringLiteral("TrainerDeviceNumber"))->setText(QStringLiteral("777"));
        Q_EMIT dialog.field(QStringLiteral("TrainerDeviceNumber"))->textEdited(QStringLiteral("777"));
        EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("DeviceNumberNote"))->isVisibleTo(&dialog))
            << "the dialog says when a new number takes effect";
        dialog.field(QStringLiteral("Speed2"))->setText(QStringLiteral("31"));
        dialog.field(QStringLiteral("SpeedA"))->setText(QStringLiteral("12"));
        dialog.field(QStringLiteral("SpeedB"))->setText(QStringLiteral("22"));
        dialog.field(QStringLiteral("ResistB"))->setText(QStringLiteral("5"));
        dialog.runStripBox()->setChecked(false);
        return dialog.save();
    };
    const std::unique_ptr<QMenu> menu(w.createContextMenu());
    menu->findChild<QAction*>(QStringLiteral("SettingsAction"))->trigger();

    EXPECT_EQ(w.Label1->caption(), "DN = 777 RD = 74 UT = 5 EPT = 1") << "the settings line is rewritten";
    EXPECT_TRUE(trainerDevice().Connected()) << "the running connection stays";
    EXPECT_EQ(w.Button1->text(), "PA") << "a SpeedA switches to two presets";
    EXPECT_FALSE(w.Button3->isVisible());
    EXPECT_FALSE(w.runStripShown());
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 22      R->5") << "PB as just stored";
    EXPECT_EQ(w.Button2->accessibleName(), "Preset B: 22 km/h at level 5");
}

TEST_F(SettingsDialogTest, KeysPressThePresetsAndTheButtonsSayWhatTheyDo)
{
    configureTrainer();
    TForm1& w = createWindow();
    EXPECT_EQ(w.Button2->accessibleName(), "Preset 2: 25 km/h at level 6");
    EXPECT_EQ(w.Button4->accessibleName(), "Close");

    QTest::keyClick(&w, Qt::Key_2);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 25      R->6");
    QTest::keyClick(&w, Qt::Key_3);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 35      R->9");
    QTest::keyClick(&w, Qt::Key_1);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 15");
    QTest::keyClick(&w, Qt::Key_A);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 15") << "A is no preset with three presets";
}

TEST_F(SettingsDialogTest, InTwoPresetModeAAndBPressThemButNotInTheCircumferenceBox)
{
    configureTrainer(13);
    set(CalibrationKeyOf(13), SpeedAName, QStringLiteral("18"));
    set(CalibrationKeyOf(13), ResistAName, QStringLiteral("4"));
    set(CalibrationKeyOf(13), SpeedBName, QStringLiteral("28"));
    set(CalibrationKeyOf(13), ResistBName, QStringLiteral("7"));
    TForm1& w = createWindow();
    EXPECT_EQ(w.Button2->accessibleName(), "Preset B: 28 km/h at level 7");
    QTest::keyClick(&w, Qt::Key_B);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 28      R->7");
    QTest::keyClick(&w, Qt::Key_2);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 28      R->7") << "digits are no presets in two-preset mode";

    w.editCirc->setFocus();
    w.editCirc->clear();
    QTest::keyClicks(w.editCirc, QStringLiteral("2a1"));
    EXPECT_EQ(w.editCirc->text(), "2a1") << "typed, not pressed";
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 28      R->7");
}

// ---- Find -------------------------------------------------------------------------------------

TEST_F(SettingsDialogTest, FindListsBothTrainersInRangeAndChoosingOneFillsTheNumber)
{
    world.secondTrainer = true;
    world.secondTrainerNumber = 23456;
    configureTrainer();
    TForm1& w = createWindow();
    ASSERT_TRUE(trainerDevice().Connected());
    QStringList listed;
    QString said;
    answerSettings = [&](SettingsDialog& dialog) {
        QTest::mouseClick(dialog.findButton(), Qt::LeftButton);
        TrainerFinder* finder = dialog.finder();
        EXPECT_TRUE(finder && finder->searching());
        ride(TrainerFinder::SearchMs + 1000);
        for (int i = 0; i < finder->list()->count(); ++i)
            listed << finder->list()->item(i)->text();
        said = finder->status();
        EXPECT_EQ(finder->progress(), 30);
        finder->list()->setCurrentRow(1);
        EXPECT_EQ(dialog.field(QStringLiteral("TrainerDeviceNumber"))->text(), "23456");
        return false;
    };
    const std::unique_ptr<QMenu> menu(w.createContextMenu());
    menu->findChild<QAction*>(QStringLiteral("SettingsAction"))->trigger();

    EXPECT_EQ(listed, QStringList({ "12345 (the stored trainer)", "23456" }));
    EXPECT_EQ(said, "Choose your trainer in the list. The search is over: no other trainer was heard in 30 s.");
    EXPECT_TRUE(trainerDevice().Connected()) << "searched beside the connection";
    EXPECT_EQ(ReadTrainerDeviceNumber(), world.trainerNumber) << "cancelled: nothing stored";
}

TEST_F(SettingsDialogTest, FindWithoutAStickSaysWhatTheWindowSays)
{
    world.stickPresent = false;
    SettingsDialog::Options options;
    options.searchTrainers = deviceTrainerSearch([this](device::SearchCallbacks callbacks) {
        return device::SearchTrainersAlone(std::move(callbacks), libraryFactory());
    });
    SettingsDialog dialog(options);
    QTest::mouseClick(dialog.findButton(), Qt::LeftButton);
    ride(1000);
    EXPECT_FALSE(dialog.finder()->searching());
    EXPECT_TRUE(dialog.finder()->status().startsWith("No ANT stick could be opened for the search."))
        << dialog.finder()->status().toStdString();
    EXPECT_EQ(dialog.finder()->list()->count(), 0);
}

} // namespace
} // namespace caltrix::app::test

// The calibration window on Qt's offscreen platform, its trainer on the virtual stick and the
// virtual clock: start-up in each mode and each failure, the presets, the live speed, losing the
// trainer, and Close.
#include "WindowHarness.h"

#include "QtPrinters.h"
#include "antproto/AntMessage.h"
#include "app/FormItems.h"
#include "app/Unit1Layout.h"
#include "widgets/ArrowMarker.h"
#include "widgets/RunStrip.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace caltrix;
using namespace caltrix::app;
using namespace caltrix::app::test;

namespace {

const QString NotFound = QStringLiteral("Trainer not found ! check the power supply.");

} // namespace

TEST_F(WindowTest, StartsInThreePresetModeAndAppliesP1OnceConnected)
{
    configureTrainer();
    TForm1& w = createWindow();
    EXPECT_FALSE(w.isVisible()) << "shown only after the start-up";
    EXPECT_TRUE(screen.boxes.empty());
    EXPECT_EQ(WaitNotice(), nullptr);
    EXPECT_FALSE(TwoPresetMode);
    EXPECT_EQ(w.Label1->caption(), "DN = 12345 RD = 74 UT = 5 EPT = 1");
    EXPECT_EQ(w.Button1->text(), "P1");
    EXPECT_EQ(w.Button2->text(), "P2");
    EXPECT_FALSE(w.Button3->isHidden());
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 15");
    EXPECT_EQ(w.Label2->caption(), "R->3");
    EXPECT_EQ(w.Shape2->pos(), QPoint(94, 136)) << "round(6.1 * 15 + 3) = round(94.5), halves to even";
    auto& d = trainerDevice();
    EXPECT_TRUE(d.Connected());
    EXPECT_EQ(d.RollDiameter(), 74.0L);
    EXPECT_EQ(d.TavorResistance(), 3);
    EXPECT_FALSE(d.EnableConsole());
    EXPECT_FALSE(d.HeartEnabled());
    ride(2500);
    EXPECT_EQ(sim->world().rider().resistance(), 3) << "the level reached the trainer";
    EXPECT_NE(w.lblSpeed->caption(), "Speed 00,0") << "the live speed follows once started";

    w.ShowCentred();
    EXPECT_TRUE(w.isVisible());
    const QRect screenArea = w.screen()->availableGeometry();
    EXPECT_LE(std::abs(w.frameGeometry().center().x() - screenArea.center().x()), 1);
    EXPECT_LE(std::abs(w.frameGeometry().center().y() - screenArea.center().y()), 1);
}

TEST_F(WindowTest, StartsInTwoPresetModeWhenSpeedAIsSet)
{
    configureTrainer();
    const QString key = CalibrationKeyOf(5);
    set(key, SpeedAName, QStringLiteral("20"));
    set(key, ResistAName, QStringLiteral("4"));
    set(key, SpeedBName, QStringLiteral("30"));
    set(key, ResistBName, QStringLiteral("8"));
    TForm1& w = createWindow();
    w.ShowCentred();
    EXPECT_TRUE(TwoPresetMode);
    EXPECT_TRUE(w.Button3->isHidden());
    EXPECT_EQ(w.Button1->text(), "PA");
    EXPECT_EQ(w.Button2->text(), "PB");
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 20");
    EXPECT_EQ(trainerDevice().TavorResistance(), 4);

    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 30      R->8");
    EXPECT_EQ(w.Label2->caption(), "R->8");
    EXPECT_EQ(trainerDevice().TavorResistance(), 8);

    // The mode is settled at creation; the preset values are read afresh at each press.
    set(key, SpeedAName, QStringLiteral("0"));
    set(key, ResistAName, QStringLiteral("2"));
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    EXPECT_TRUE(TwoPresetMode);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 0");
    EXPECT_EQ(w.Label2->caption(), "R->2");
}

TEST_F(WindowTest, P2AndP3ShowTheLevelInTheTargetAndP1DoesNot)
{
    configureTrainer();
    const QString key = CalibrationKeyOf(5);
    set(key, PresetSpeedName(1), QStringLiteral("30"));
    set(key, PresetResistName(1), QStringLiteral("5"));
    set(key, PresetSpeedName(2), QStringLiteral("30"));
    set(key, PresetResistName(2), QStringLiteral("5"));
    TForm1& w = createWindow();
    w.ShowCentred();
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 30");

    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 30      R->5");
    EXPECT_EQ(w.Label2->caption(), "R->5");
    EXPECT_EQ(trainerDevice().TavorResistance(), 5);

    QTest::mouseClick(w.Button3, Qt::LeftButton);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 35      R->9");
    EXPECT_EQ(w.Shape2->x(), 216) << "round(6.1 * 35 + 3) = round(216.5), halves to even";
    EXPECT_EQ(trainerDevice().TavorResistance(), 9);
    EXPECT_GT(w.lblTarget->width(), 150) << "the label grew to its text";
}

TEST_F(WindowTest, WithoutDeviceSettingsItSaysSoAndPairsWithAnyTrainer)
{
    TForm1& w = createWindow();
    ASSERT_EQ(screen.texts(), std::vector<QString> { QStringLiteral("Unit type not available") });
    EXPECT_EQ(screen.boxes[0].box.caption, "Caltrix");
    EXPECT_FALSE(screen.boxes[0].noticeUp) << "the box comes before the notice";
    EXPECT_EQ(w.Label1->caption(), "DN = 0 RD = 0 UT = 0 EPT = 0");
    const auto ids = sentToStick(antproto::msg::ChannelId);
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids[0].at(1) | ids[0].at(2) << 8, 0) << "device number 0: any trainer";
    EXPECT_TRUE(trainerDevice().Connected());
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 0");
    EXPECT_EQ(w.Label2->caption(), "R->0");
    EXPECT_EQ(trainerDevice().eventPerTurn(), 1) << "0 events per turn count as 1";
}

TEST_F(WindowTest, UnitType13TakesTheRollDiameterFromTheCircumference)
{
    configureTrainer(13);
    set(DeviceKeyPath, RollDiameterName, QStringLiteral("28"));
    TForm1& w = createWindow();
    w.ShowCentred();
    auto& d = trainerDevice();
    EXPECT_EQ(d.RollDiameter(), 74.0L) << "from the designed 2070";
    EXPECT_TRUE(w.lblCirc->isVisible());
    EXPECT_TRUE(w.editCirc->isVisible());

    w.editCirc->setText(QStringLiteral("2096"));
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    EXPECT_EQ(d.RollDiameter(), 75.0L);
    w.editCirc->setText(QStringLiteral("2070"));
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    EXPECT_EQ(d.RollDiameter(), 75.0L) << "P3 leaves the roll diameter as it was";
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(d.RollDiameter(), 74.0L);

    // A text that is no number fails after the level went out; the window carries on.
    w.editCirc->setText(QStringLiteral("abc"));
    QTest::mouseClick(w.Button1, Qt::LeftButton);
    EXPECT_EQ(d.TavorResistance(), 3);
    ASSERT_EQ(screen.texts(), std::vector<QString> { QStringLiteral("'abc' is not a valid integer value.") });
    EXPECT_EQ(screen.boxes[0].box, platform::unhandledErrorBox(QStringLiteral("'abc' is not a valid integer value")));
    EXPECT_EQ(d.RollDiameter(), 74.0L);
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(d.TavorResistance(), 6) << "the next press works";
}

TEST_F(WindowTest, NoTrainerTakesTheNoticeDownBeforeSayingSo)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    ASSERT_EQ(screen.texts(), std::vector<QString> { NotFound });
    EXPECT_FALSE(screen.boxes[0].noticeUp);
    EXPECT_FALSE(screen.boxes[0].windowsDisabled);
    EXPECT_EQ(screen.boxes[0].box.caption, "Caltrix");
    EXPECT_FALSE(trainerDevice().Connected());
    EXPECT_GE(now(), 40000u) << "it waited for the trainer";

    // Not connected: the presets still set the labels and the marker, no speed arrives.
    w.ShowCentred();
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 25      R->6");
    ride(3000);
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 00,0");
    EXPECT_EQ(w.VrArrow1->pos(), layout::VrArrow1.topLeft());
}

TEST_F(WindowTest, NoStickShowsTheDevicesBoxThenTheWindowsWithTheReasonWhenKnown)
{
    configureTrainer();
    world.stickPresent = false;
    createWindow();
    EXPECT_EQ(screen.texts(),
        (std::vector<QString> { QStringLiteral("Usb dongle not found! Check it and restart the software."), NotFound }));
    EXPECT_FALSE(screen.boxes[1].noticeUp);

    // A stick that is there but may not be opened: the window's box says why.
    makeDevice = [this](platform::TComponent* Owner) {
        auto* d = new device::TTavorDeviceANT(Owner);
        d->SetAntLibraryFactory(refusingLibraryFactory(
            "The ANT USB stick on bus 1 device 4 may not be opened by this user: install the udev rule."));
        return d;
    };
    screen.boxes.clear();
    createWindow();
    ASSERT_EQ(screen.boxes.size(), 2u);
    EXPECT_EQ(screen.boxes[1].box.text,
        NotFound + "\n\nThe ANT USB stick on bus 1 device 4 may not be opened by this user: install the udev rule.");
}

TEST_F(WindowTest, AMissingRollDiameterEndsTheStartUpBeforeConnecting)
{
    configureTrainer();
    hive.deleteValue(DeviceKeyPath, RollDiameterName);
    TForm1& w = createWindow();
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].box, platform::unhandledErrorBox(QStringLiteral("'' is not a valid floating point value")));
    EXPECT_EQ(screen.boxes[0].box.text, "'' is not a valid floating point value.");
    EXPECT_EQ(w.Label1->caption(), "Label1");
    EXPECT_EQ(WaitNotice(), nullptr);
    EXPECT_TRUE(hostMessages.empty()) << "no connection was attempted";
    w.ShowCentred();
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isEnabled());
}

// The settings change while the window connects, so the connected handler fails with the notice
// still up: the notice comes down and the windows come back before the error box.
TEST_F(WindowTest, AnErrorInTheConnectedHandlerTakesTheNoticeDownBeforeTheBox)
{
    configureTrainer();
    clock.callAfter(10, [this] { set(DeviceKeyPath, EventPerTurnName, QStringLiteral("x")); });
    TForm1& w = createWindow();
    ASSERT_EQ(screen.texts(), std::vector<QString> { QStringLiteral("'x' is not a valid integer value.") });
    EXPECT_FALSE(screen.boxes[0].noticeUp);
    EXPECT_FALSE(screen.boxes[0].windowsDisabled);
    EXPECT_EQ(WaitNotice(), nullptr);
    EXPECT_EQ(w.Label1->caption(), "DN = 12345 RD = 74 UT = 5 EPT = 1");
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 00,0") << "no preset was applied";
    w.ShowCentred();
    ride(3000);
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 00,0") << "the ride was never started";
}

TEST_F(WindowTest, TheSettingsLineUsesTheUsersDecimalSeparator)
{
    platform::ScopedLocale comma { QLocale(QLocale::German) };
    configureTrainer();
    set(DeviceKeyPath, TrainerDeviceNumberName, QStringLiteral("1234"));
    set(DeviceKeyPath, RollDiameterName, QStringLiteral("28,6"));
    world.trainer = false;
    TForm1& w = createWindow();
    EXPECT_EQ(w.Label1->caption(), "DN = 1234 RD = 28,6 UT = 5 EPT = 1");
}

TEST_F(WindowTest, EachStatsTickMovesTheArrowAndWritesTheSpeed)
{
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    steadyDevice->speed = 23.46;
    ride(1000);
    EXPECT_EQ(w.VrArrow1->pos(), QPoint(135, 147)) << "round(6.1 * 23.46 - 8.5)";
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 23.5");
    platform::ScopedLocale comma { QLocale(QLocale::German) };
    steadyDevice->speed = 50;
    ride(1000);
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 50,0");
    EXPECT_EQ(w.VrArrow1->x(), 296) << "296.5, halves to even";
}

TEST_F(WindowTest, ALostTrainerIsNotShownAsLive)
{
    configureTrainer();
    TForm1& w = createWindow();
    ride(4000);
    ASSERT_NE(w.lblSpeed->caption(), "Speed 00,0");
    ASSERT_NE(w.VrArrow1->pos(), layout::VrArrow1.topLeft());
    sim->world().device("trainer")->silenceForever();
    for (int s = 0; s < 120 && trainerDevice().Connected(); ++s)
        ride(1000);
    ASSERT_FALSE(trainerDevice().Connected());
    ride(1000);
    EXPECT_EQ(w.lblSpeed->caption(), "Speed 00,0");
    EXPECT_EQ(w.VrArrow1->pos(), layout::VrArrow1.topLeft());
    EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(WindowTest, CloseDisconnectsAConnectedTrainer)
{
    configureTrainer();
    TForm1& w = createWindow();
    w.ShowCentred();
    ride(2000);
    hostMessages.clear();
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(trainerDevice().Connected());
    EXPECT_EQ(sentToStick(antproto::msg::CloseChannel).size(), 2u) << "the trainer and sensor channels";
    EXPECT_EQ(sentToStick(antproto::msg::ResetSystem).size(), 1u);
    EXPECT_EQ(ant::AntLink, nullptr);
}

TEST_F(WindowTest, CloseWithoutATrainerOnlyClosesTheWindow)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    w.ShowCentred();
    hostMessages.clear();
    QTest::mouseClick(w.Button4, Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(sentToStick(antproto::msg::CloseChannel).empty()) << "no disconnect while not connected";
    EXPECT_TRUE(sentToStick(antproto::msg::ResetSystem).empty());
}

TEST_F(WindowTest, DraggingTheRedBandMovesTheWindow)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    w.ShowCentred();
    const QPoint start = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(150, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(190, 40), w.mapToGlobal(QPointF(190, 40)), Qt::NoButton,
        Qt::LeftButton, {});
    QApplication::sendEvent(&w, &move);
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(190, 40));
    EXPECT_EQ(w.pos(), start + QPoint(40, 30));

    // Elsewhere a press moves nothing.
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(150, 100));
    QMouseEvent elsewhere(QEvent::MouseMove, QPointF(190, 140), w.mapToGlobal(QPointF(190, 140)), Qt::NoButton,
        Qt::LeftButton, {});
    QApplication::sendEvent(&w, &elsewhere);
    EXPECT_EQ(w.pos(), start + QPoint(40, 30));
}

TEST_F(WindowTest, TheLayoutTableHoldsInDeviceIndependentPixels)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    EXPECT_EQ(w.size(), QSize(324, 311)) << "the client area and a 1 px border, the run strip and its border";
    EXPECT_EQ(w.ClientArea->geometry(), QRect(1, 1, 322, 198));
    EXPECT_EQ(w.RunStrip1->geometry(), QRect(1, 200, 322, 110));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(w.windowTitle(), "Form1");

    // Every item in painting order (later over earlier), then the controls with windows.
    struct Item {
        QWidget* widget;
        const char* name;
        QRect rect; // labels: only the top-left corner counts
    };
    const Item items[] = {
        { w.shp1, "shp1", { 0, 25, 322, 173 } },
        { w.Shape1, "Shape1", { 8, 136, 305, 17 } },
        { w.Shape2, "Shape2", { 8, 136, 10, 17 } },
        { w.Shape3, "Shape3", { 0, 0, 322, 25 } },
        { w.VrArrow1, "VrArrow1", { 29, 147, 33, 41 } },
        { w.lblSpeed, "lblSpeed", { 8, 112, 0, 0 } },
        { w.lblTarget, "lblTarget", { 200, 112, 0, 0 } },
        { w.Image1, "Image1", { 0, 2, 97, 17 } },
        { w.Label1, "Label1", { 8, 184, 0, 0 } },
        { w.Label2, "Label2", { 296, 155, 0, 0 } },
        { w.lblCirc, "lblCirc", { 81, 92, 0, 0 } },
        { w.Button1, "Button1", { 8, 35, 89, 41 } },
        { w.Button2, "Button2", { 112, 35, 97, 41 } },
        { w.Button3, "Button3", { 224, 35, 89, 41 } },
        { w.Button4, "Button4", { 232, 168, 81, 25 } },
        { w.editCirc, "editCirc", { 168, 88, 41, 21 } },
    };
    const QObjectList children = w.ClientArea->children();
    ASSERT_EQ(children.size(), qsizetype(std::size(items)));
    for (std::size_t i = 0; i < std::size(items); ++i) {
        const Item& item = items[i];
        SCOPED_TRACE(item.name);
        EXPECT_EQ(children.at(qsizetype(i)), item.widget) << "stacking order";
        EXPECT_EQ(item.widget->objectName(), item.name);
        if (qobject_cast<QLabel*>(item.widget)) {
            EXPECT_EQ(item.widget->pos(), item.rect.topLeft());
            EXPECT_EQ(item.widget->size(), item.widget->sizeHint()) << "sized to its text";
        } else {
            EXPECT_EQ(item.widget->geometry(), item.rect);
        }
    }

    const QFontInfo sans(w.lblSpeed->font());
    const QFontInfo serif(w.Label1->font());
    EXPECT_EQ(w.lblSpeed->font().pixelSize(), 13);
    EXPECT_TRUE(w.lblSpeed->font().bold());
    EXPECT_EQ(w.lblTarget->font().pixelSize(), 13);
    EXPECT_FALSE(w.lblTarget->font().bold());
    EXPECT_EQ(w.Label1->font().pixelSize(), 9);
    EXPECT_NE(serif.family(), sans.family()) << "MS Serif falls back to a serif family";
    EXPECT_TRUE(w.lblCirc->font().bold() && w.lblCirc->font().underline());
    EXPECT_EQ(w.Button1->font().pixelSize(), 11) << "controls use the window's font";
    EXPECT_EQ(w.editCirc->font().pixelSize(), 11);
    EXPECT_EQ(w.Label1->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_TRUE(w.Label1->autoFillBackground()) << "labels paint opaque white";
    EXPECT_EQ(w.Shape2->fill(), QColor(0x00, 0xFF, 0xFF));
    EXPECT_EQ(w.Shape3->fill(), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(w.VrArrow1->color(), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(w.Image1->picture().size(), QSize(100, 20)) << "the logo, clipped by its box";
}

// The compiled-in stored form gives the trainer device the designed values.
TEST_F(WindowTest, TheStoredFormHoldsTheDesignTimeValues)
{
    configureTrainer();
    TForm1& w = createWindow();
    platform::PropertyList properties;
    trainerDevice().DefineProperties(properties);
    struct Value {
        const char* property;
        QVariant value;
    };
    const Value designed[] = {
        { "RiderWeight", 0 }, { "UOM", 0 }, { "Color", 0u }, { "BikeWeight", 10.0 }, { "TimerStatsInterval", 1000u },
        { "TimerStatsThreadPriority", 3 }, { "TimeToleranceMs", 100u }, { "Version", "1.0.0.10" },
        { "CadenceArrayLength", 1 }, { "InitialResistance", 0 }, { "SecurityActive", false },
        { "HighPowerReduceCoefficient", 1.0 }, { "HighPowerReduceStartSpeed", 7.0 },
        { "HighPowerReduceCoefficientMinimum", 0.25 }, { "ResistanceReducer", 1.0 }, { "PrecisionSpeed", 8 },
        { "PrecisionDistance", 8 }, { "Tolerance", 2.0 }, { "ResistanceMapAdapter", 1.0 },
        { "VirtualSpeedEnabled", false }, { "VirtualSpeedAttenuation", 1.0 }, { "Calibration", 1.0 },
        { "NumberOfSearch", 0 }, { "EnableConsole", false }, // the start-up turned the console off
        { "MsgUsbDongleNotFound", "Usb dongle not found! Check it and restart the software." },
    };
    for (const Value& v : designed) {
        const platform::Property* p = properties.find(QLatin1String(v.property));
        ASSERT_NE(p, nullptr) << v.property;
        EXPECT_EQ(p->get(), v.value) << v.property;
    }
    EXPECT_EQ(w.Name(), "Form1");
    EXPECT_EQ(trainerDevice().Name(), "TavorDeviceANT1");
    EXPECT_TRUE(trainerDevice().GetTimerStatsEnabled()) << "Start set the statistics timer going";
}

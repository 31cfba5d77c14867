// The calibration window as a rider sees it in each of its states, compared with reference
// pictures (make pictures renews them).
#include "PictureCompare.h"
#include "WindowHarness.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

using namespace caltrix;
using namespace caltrix::app;
using caltrix::test::matchesReferencePicture;

namespace {

// Text is drawn: font rasterisers differ slightly between versions.
constexpr caltrix::test::PictureTolerance WithText { 40, 80 };

class WindowPictures : public app::test::WindowTest {
protected:
    // The designed area in its border; the run strip below it has pictures of its own.
    QImage picture() { return designedArea(*form); }
    static QImage designedArea(QWidget& w) { return w.grab(QRect(0, 0, 324, 200)).toImage(); }
};

TForm1* windowBeingCreated()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = dynamic_cast<TForm1*>(w))
            return form;
    return nullptr;
}

} // namespace

// While the notice is up: the settings line is written, nothing else has happened yet.
TEST_F(WindowPictures, Connecting)
{
    configureTrainer();
    QImage connecting;
    clock.callAfter(100, [&] {
        if (TForm1* w = windowBeingCreated())
            connecting = designedArea(*w);
    });
    createWindow();
    EXPECT_TRUE(matchesReferencePicture(connecting, QStringLiteral("window_connecting"), WithText));
}

TEST_F(WindowPictures, RidingAtAKnownSpeed)
{
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    w.ShowCentred();
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    steadyDevice->speed = 23.46;
    ride(1000);
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("window_riding"), WithText));
}

TEST_F(WindowPictures, TwoPresets)
{
    configureTrainer();
    set(CalibrationKeyOf(5), SpeedAName, QStringLiteral("20"));
    set(CalibrationKeyOf(5), ResistAName, QStringLiteral("4"));
    createWindow().ShowCentred();
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("window_two_presets"), WithText));
}

TEST_F(WindowPictures, UnitType13WithItsCircumference)
{
    configureTrainer(13);
    createWindow().ShowCentred();
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("window_unit_type_13"), WithText));
}

TEST_F(WindowPictures, NotConnected)
{
    configureTrainer();
    world.trainer = false;
    TForm1& w = createWindow();
    w.ShowCentred();
    QTest::mouseClick(w.Button3, Qt::LeftButton);
    EXPECT_TRUE(matchesReferencePicture(picture(), QStringLiteral("window_not_connected"), WithText));
}

// The whole window with its run strip below the designed area: P2 held steady for the hold time.
TEST_F(WindowPictures, RunStripSteady)
{
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    w.ShowCentred();
    QTest::mouseClick(w.Button2, Qt::LeftButton);
    const double approach[] = { 18.0, 22.5, 25.9, 26.2, 25.4, 24.7, 24.8 };
    for (double speed : approach) {
        steadyDevice->speed = speed;
        ride(1000);
    }
    for (int s = 0; s < 34; ++s) {
        steadyDevice->speed = 25.0 + 0.2 * ((s * 7) % 5 - 2) / 2;
        ride(1000);
    }
    EXPECT_TRUE(matchesReferencePicture(w.grab().toImage(), QStringLiteral("window_run_strip_steady"), WithText));
}

// T hides the strip: the window is the designed one again.
TEST_F(WindowPictures, RunStripHidden)
{
    configureTrainer();
    useSteadySpeedDevice();
    TForm1& w = createWindow();
    w.ShowCentred();
    steadyDevice->speed = 15.2;
    ride(3000);
    QTest::keyClick(&w, Qt::Key_T);
    EXPECT_TRUE(matchesReferencePicture(w.grab().toImage(), QStringLiteral("window_run_strip_hidden"), WithText));
}

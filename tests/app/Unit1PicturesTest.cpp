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
    QImage picture() { return form->grab().toImage(); }
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
            connecting = w->grab().toImage();
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

// The calibration window on a real X server, clicked and dragged with the real pointer (xdotool),
// and what the screen then shows. Runs in the X11 pass of the window's tests (under Xvfb);
// skipped on other platforms.
#include "WindowHarness.h"

#include "app/FormItems.h"
#include "app/Unit1Layout.h"

#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

using namespace caltrix;
using namespace caltrix::app;

namespace {

// Longest wait for the X server to bring a pointer action back; it normally takes milliseconds.
constexpr int PointerWaitMs = 10000;

bool xdotool(const QStringList& arguments) { return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0; }

QString number(int n) { return QString::number(n); }

// The colour the screen shows at a point of the window's client area.
QColor onScreen(const TForm1& w, QPoint client)
{
    const QPoint at = w.ClientArea->mapToGlobal(client);
    return w.screen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
}

class WindowOnX11 : public app::test::WindowTest {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server (the X11 pass runs it under Xvfb)";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
    }

    // Moves the real pointer to the middle of `widget` and clicks the left button.
    static bool click(const QWidget& widget)
    {
        const QPoint at = widget.mapToGlobal(widget.rect().center());
        return xdotool({ QStringLiteral("mousemove"), number(at.x()), number(at.y()), QStringLiteral("click"),
            QStringLiteral("1") });
    }
};

} // namespace

TEST_F(WindowOnX11, PresetsDragAndCloseWithTheRealPointer)
{
    configureTrainer();
    TForm1& w = createWindow();
    w.ShowCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));

    ASSERT_TRUE(click(*w.Button2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return trainerDevice().TavorResistance() == 6; }, PointerWaitMs));
    EXPECT_EQ(w.lblTarget->caption(), "Target Speed: 25      R->6");
    // The screen shows the marker at 25 km/h, the red band above and the white scale around it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return onScreen(w, { 161, 144 }) == layout::Aqua; }, PointerWaitMs));
    EXPECT_EQ(onScreen(w, { 300, 12 }), layout::Red);
    EXPECT_EQ(onScreen(w, { 100, 144 }), QColor(Qt::white));

    // The red band is where the window is grabbed: it follows the pointer.
    const QPoint start = w.pos();
    const QPoint band = w.ClientArea->mapToGlobal(QPoint(200, 12));
    ASSERT_TRUE(xdotool({ QStringLiteral("mousemove"), number(band.x()), number(band.y()), QStringLiteral("mousedown"),
        QStringLiteral("1"), QStringLiteral("mousemove"), number(band.x() + 40), number(band.y() + 30),
        QStringLiteral("mouseup"), QStringLiteral("1") }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.pos() == start + QPoint(40, 30); }, PointerWaitMs))
        << "the window is at " << w.pos().x() << "," << w.pos().y();

    ASSERT_TRUE(click(*w.Button4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, PointerWaitMs));
    EXPECT_FALSE(trainerDevice().Connected());
    EXPECT_EQ(sentToStick(antproto::msg::ResetSystem).size(), 2u) << "opened, then reset when closing";
}

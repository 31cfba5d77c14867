// The notice on a real X server, clicked with the real pointer (xdotool). Runs in the X11 pass of
// the notice's tests (under Xvfb); skipped on other platforms.
#include "EventSpy.h"
#include "app/WaitDlg.h"
#include "app/WaitUnit.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

using namespace caltrix::app;

namespace {
// Longest wait for a click to come back from the X server; it normally takes milliseconds.
constexpr int ClickWaitMs = 10000;

// Moves the real pointer to the middle of `widget` and presses and releases the left button.
void clickWithThePointer(const QWidget& widget)
{
    const QPoint at = widget.mapToGlobal(widget.rect().center());
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                  { QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                      QStringLiteral("click"), QStringLiteral("1") }),
        0);
}
} // namespace

TEST(WaitNoticeOnX11, PointerReachesCancelButNotTheDisabledWindows)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server (the X11 pass runs it under Xvfb)";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xdotool";

    QWidget main;
    main.setGeometry(20, 20, 322, 198);
    QPushButton preset(QStringLiteral("P1"), &main);
    preset.setGeometry(8, 35, 89, 41);
    int presses = 0;
    QObject::connect(&preset, &QPushButton::clicked, [&presses] { ++presses; });
    main.show();

    ShowWaitNotice(QStringLiteral("Wait Connection...."), true, true, 1);
    const auto cancel = static_cast<QEvent::Type>(QEvent::registerEventType());
    WaitNotice()->CancelMessage = cancel;
    QEventLoop loop;
    EventSpy catcher(qApp, cancel, [&loop](QObject* receiver) {
        if (receiver == qApp)
            loop.quit();
    });

    // The X server delivers the two clicks in order: once the second has arrived, the first has
    // been handled too.
    clickWithThePointer(preset);
    clickWithThePointer(*WaitNotice()->BtCancel);
    QTimer::singleShot(ClickWaitMs, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_EQ(catcher.count, 1);
    EXPECT_EQ(presses, 0) << "the main window is disabled while the notice is up";
    ASSERT_NE(WaitNotice(), nullptr);
    EXPECT_TRUE(WaitNotice()->isVisible());
    HideWaitNotice();
}

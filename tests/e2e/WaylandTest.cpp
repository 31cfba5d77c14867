// The real caltrix on Qt's Wayland platform, under a Wayland compositor without a screen
// (Weston's headless backend), over antsim's serial stick: the wait notice and the window are
// drawn and mapped, a preset key reaches the trainer, the red band moves the window through the
// compositor, and a close request from the compositor ends caltrix well.
#include "AntsimStick.h"
#include "ProgramFixture.h"
#include "WestonSession.h"
#include "app/Unit1Layout.h"

#include <QRegularExpression>
#include <linux/input-event-codes.h>

using namespace caltrix;
using namespace caltrix::e2e;

namespace {

// The windows' titles on Wayland: Qt adds the application's name.
const QString WaitNoticeTitle = QStringLiteral("^Statut de l'opération — Caltrix$");
const QString MainWindowTitle = QStringLiteral("^Form1 — Caltrix$");

class WaylandSession : public ProgramRun {
protected:
    void SetUp() override
    {
        if (const QString missing = WestonSession::missingPart(); !missing.isEmpty())
            GTEST_SKIP() << "no Wayland session to test in: " << qPrintable(missing);
        weston.emplace();
        ASSERT_TRUE(weston->running()) << "Weston did not start:\n" << qPrintable(weston->log());
        ProgramRun::SetUp();
    }

    void TearDown() override
    {
        endAntsim(antsim);
        ProgramRun::TearDown();
        if (HasFailure() && weston)
            std::fprintf(stderr, "Weston said:\n%s\n", qPrintable(weston->log()));
    }

    QProcessEnvironment displayEnvironment() const override
    {
        QProcessEnvironment env = weston->environment();
        if (asADesktopStartsIt) {
            // No platform named: Qt picks Wayland by itself. A Wayland desktop also runs XWayland
            // for older programs; here its display is one that nobody serves, so that a program
            // that went to X11 instead would not start.
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
            env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":65000"));
        }
        return env;
    }

    // Caltrix over antsim with its window mapped, having the keyboard focus, and P1's level at
    // the trainer.
    void rideOnP1()
    {
        const QString path = startAntsim(antsim);
        ASSERT_TRUE(path.startsWith(QLatin1String("/dev/"))) << qPrintable(path);
        startCaltrix(QStringLiteral("serial:") + path);
        // Weston gives the focus to a window once it maps it, which it does after the program
        // drew it into a buffer: the window was exposed and painted on Qt's Wayland platform.
        ASSERT_TRUE(weston->waitForFocus(MainWindowTitle, PatienceMs)) << "the window was never mapped";
        ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 3"))) << "P1 did not reach the trainer";
    }

    // Where the compositor places the windows and decides what stays on top, caltrix's own
    // placing gives way quietly: Qt's Wayland platform reports nothing it could not do.
    void expectNoComplaintsFromQt()
    {
        const QString errors = caltrixErrors();
        EXPECT_FALSE(errors.contains(QLatin1String("does not support"))) << qPrintable(errors);
        EXPECT_FALSE(errors.contains(QLatin1String("qt.qpa"))) << qPrintable(errors);
    }

    std::optional<WestonSession> weston;
    QProcess antsim;
    // Starts caltrix as a desktop's menu does, rather than with QT_QPA_PLATFORM=wayland.
    bool asADesktopStartsIt = false;
};

TEST_F(WaylandSession, TakesAPresetFromTheKeyboardAndClosesWhenAskedTo)
{
    ASSERT_NO_FATAL_FAILURE(rideOnP1());
    const QStringList focus = weston->focusHistory();
    const auto noticeAt = focus.indexOf(QRegularExpression(WaitNoticeTitle));
    EXPECT_GE(noticeAt, 0) << "the wait notice was never mapped";
    EXPECT_LT(noticeAt, focus.indexOf(QRegularExpression(MainWindowTitle))) << "the window came before the wait notice";

    weston->pressKey(KEY_2);
    ASSERT_TRUE(waitForLine(antsim, QStringLiteral("resistance level 6"))) << "the key 2 did not press P2";

    weston->closeFocusedWindow();
    EXPECT_TRUE(waitForLine(antsim, QStringLiteral("channel 1 closed")));
    EXPECT_TRUE(waitForLine(antsim, QStringLiteral("stick reset")));
    expectExit();
    expectNoComplaintsFromQt();
}

// The window has no title bar: dragging its red band hands the move to the compositor, which
// moves the window with the pointer. Started as a desktop's menu starts it, caltrix is on Wayland
// by itself.
TEST_F(WaylandSession, DraggingTheRedBandMovesTheWindowThroughTheCompositor)
{
    asADesktopStartsIt = true;
    ASSERT_NO_FATAL_FAILURE(rideOnP1());
    const auto before = weston->focusedWindowPlace();
    ASSERT_TRUE(before);
    const QPoint grip
        = *before + QPoint(app::layout::BorderWidth, app::layout::BorderWidth) + app::layout::Shape3.center();
    weston->movePointer(grip);
    weston->pressButton();
    ASSERT_TRUE(waitUntil([&] { return weston->pointerHeld(); })) << "the compositor never took the move over";

    const QPoint step(20, 12);
    for (int i = 1; i <= 5; ++i)
        weston->movePointer(grip + i * step);
    weston->releaseButton();
    EXPECT_EQ(weston->focusedWindowPlace(), *before + 5 * step);
    EXPECT_FALSE(weston->pointerHeld()) << "the move did not end with the button";

    weston->closeFocusedWindow();
    expectExit();
    expectNoComplaintsFromQt();
}

} // namespace

#include "app/WaitUnit.h"

#include "app/WaitDlg.h"
#include "platform/Platform.h"
#include "widgets/BusyPicture.h"
#include "widgets/GradientPanel.h"
#include "widgets/ProgressBar.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <optional>

namespace caltrix::app {

namespace {
using WindowList = QList<QPointer<QWidget>>;

// The notice currently up. Guarded, so that a notice destroyed behind our back reads as none.
QPointer<TWaitDlgForm> waitNoticeForm;
// The windows that the notice disabled, to be enabled again when it comes down.
std::optional<WindowList> DisabledWindows;

// Longest wait for the window system to expose a newly shown notice before painting it.
constexpr int ExposeWaitMs = 1000;

// The program's windows that stay on top, lowered while a notice is up so that the notice is the
// one on top. Nested lowerings count: only the outermost restore raises them again.
class TopMostWindows {
public:
    void normalize(const QWidget* except)
    {
        if (level_++ > 0)
            return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w != except && w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
                setStaysOnTop(w, false);
                lowered_.append(w);
            }
        }
    }

    void restore()
    {
        if (level_ == 0 || --level_ > 0)
            return;
        for (const QPointer<QWidget>& w : std::exchange(lowered_, {}))
            if (w)
                setStaysOnTop(w, true);
    }

private:
    // Changes the hint on the live window without hiding and showing it again, as
    // QWidget::setWindowFlags() would.
    static void setStaysOnTop(QWidget* w, bool on)
    {
        w->overrideWindowFlags(w->windowFlags().setFlag(Qt::WindowStaysOnTopHint, on));
        if (QWindow* handle = w->windowHandle())
            handle->setFlag(Qt::WindowStaysOnTopHint, on);
    }

    int level_ = 0;
    WindowList lowered_;
};
TopMostWindows topMosts;

WindowList disableEnabledWindows()
{
    WindowList disabled;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isWindow() && w->isVisible() && w->isEnabled()) {
            w->setEnabled(false);
            disabled.append(w);
        }
    }
    return disabled;
}

void enableWindows(const WindowList& windows)
{
    for (const QPointer<QWidget>& w : windows)
        if (w)
            w->setEnabled(true);
}

// The program's main window: the active plain window, or else the first visible one.
const QWidget* mainWindow(const QWidget* except)
{
    const auto isCandidate = [except](const QWidget* w) {
        return w && w != except && w->isVisible() && w->windowType() == Qt::Window;
    };
    if (const QWidget* active = QApplication::activeWindow(); isCandidate(active))
        return active;
    for (const QWidget* w : QApplication::topLevelWidgets())
        if (isCandidate(w))
            return w;
    return nullptr;
}

QPoint centredIn(const QRect& area, QSize size)
{
    return { area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2 };
}

void placeNotice(TWaitDlgForm* notice)
{
    if (const QWidget* main = mainWindow(notice))
        notice->move(centredIn(main->frameGeometry(), notice->size()));
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        notice->move(centredIn(screen->availableGeometry(), notice->size()));
}

// Ends a local event loop when the window it watches receives its first expose event.
class ExposeWatcher final : public QObject {
public:
    explicit ExposeWatcher(QEventLoop& loop)
        : loop_(loop)
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Expose)
            loop_.quit(); // the loop ends once the event has been handled
        return false;
    }

private:
    QEventLoop& loop_;
};

// A window system maps a new window asynchronously, and a window paints only once it has been
// exposed: wait for that, a second at most (a window system may never expose it, e.g. on a
// screen that is off), while the program's events run on.
void waitUntilExposed(QWidget* notice)
{
    // A handler running meanwhile may take the notice down, and its window with it.
    const QPointer<QWindow> handle = notice->windowHandle();
    if (!handle || handle->isExposed())
        return;
    QEventLoop loop;
    ExposeWatcher watcher(loop);
    handle->installEventFilter(&watcher);
    QTimer::singleShot(ExposeWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (handle)
        handle->removeEventFilter(&watcher);
}
} // namespace

TWaitDlgForm* WaitNotice() { return waitNoticeForm.data(); }

void ShowWaitNotice(const QString& Text, bool CancelVisible, bool PictureVisible, std::uint8_t Scheme)
{
    // A second notice would lose the first one's list of disabled windows for good.
    if (waitNoticeForm)
        HideWaitNotice();

    DisabledWindows = disableEnabledWindows();
    auto* notice = new TWaitDlgForm;
    waitNoticeForm = notice;
    notice->Panel->setColorScheme(Scheme);
    notice->BtCancel->setVisible(CancelVisible);
    notice->WaitBar->setValue(0);
    if (PictureVisible)
        notice->WaitProgress->show();
    // Where a Wayland compositor decides alone what stays on top, Qt drops the hint quietly.
    notice->setWindowFlag(Qt::WindowStaysOnTopHint);
    notice->LabelWait->setText(Text);
    topMosts.normalize(notice);
    placeNotice(notice);
    notice->show();
    // Qt paints a window as it is first exposed.
    waitUntilExposed(notice);
    platform::processPendingMessages();
}

void HideWaitNotice()
{
    if (QPointer<TWaitDlgForm> notice = waitNoticeForm) {
        notice->WaitProgress->hide();
        notice->WaitProgress->setRunning(false);
        platform::processPendingMessages();
        // A handler run just now may have shown a notice of its own, which took this one down
        // and disabled the windows anew: that notice and its windows are not this call's to touch.
        if (waitNoticeForm != notice)
            return;
        if (notice) {
            notice->close();
            // Inside a cancel handler the click that sent it is still running on the button.
            if (notice->deliveringCancel())
                notice->deleteLater();
            else
                delete notice.data();
        }
        waitNoticeForm = nullptr;
    }
    if (DisabledWindows) {
        enableWindows(*DisabledWindows);
        DisabledWindows.reset();
    }
    topMosts.restore();
}

} // namespace caltrix::app

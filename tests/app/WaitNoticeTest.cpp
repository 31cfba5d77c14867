#include "app/WaitDlg.h"
#include "app/WaitUnit.h"
#include "platform/Platform.h"
#include "widgets/BusyPicture.h"
#include "widgets/GradientPanel.h"
#include "widgets/ProgressBar.h"

#include "EventSpy.h"
#include "QtGuiPrinters.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using caltrix::app::HideWaitNotice;
using caltrix::app::ShowWaitNotice;
using caltrix::app::TWaitDlgForm;

namespace {

class WaitNotice : public ::testing::Test {
protected:
    void TearDown() override
    {
        HideWaitNotice();
        windows_.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A plain top-level window of the program, shown unless told otherwise.
    QWidget* window(QRect geometry = { 100, 120, 322, 198 }, bool show = true)
    {
        windows_.push_back(std::make_unique<QWidget>());
        QWidget* w = windows_.back().get();
        w->setGeometry(geometry);
        if (show)
            w->show();
        return w;
    }

    void destroyWindow(const QWidget* w)
    {
        std::erase_if(windows_, [w](const std::unique_ptr<QWidget>& owned) { return owned.get() == w; });
    }

    TWaitDlgForm& notice()
    {
        TWaitDlgForm* n = caltrix::app::WaitNotice();
        if (!n)
            throw std::logic_error("no wait notice is up");
        return *n;
    }

private:
    std::vector<std::unique_ptr<QWidget>> windows_;
};

QPoint centredIn(const QRect& area) { return { area.x() + (area.width() - 374) / 2, area.y() + (area.height() - 77) / 2 }; }

} // namespace

TEST_F(WaitNotice, ControlsLieWhereDesigned)
{
    ShowWaitNotice(QStringLiteral("Wait Connection...."), true, true, 1);
    struct Row {
        const char* control;
        QRect actual;
        QRect designed;
    };
    TWaitDlgForm& n = notice();
    const Row rows[] = {
        { "window", QRect(QPoint(0, 0), n.size()), { 0, 0, 374, 77 } },
        { "Panel", n.Panel->geometry(), { 0, 0, 374, 77 } },
        { "LabelWait", n.LabelWait->geometry(), { 56, 12, 309, 29 } },
        { "WaitProgress", n.WaitProgress->geometry(), { 4, 5, 44, 44 } },
        { "BtCancel", n.BtCancel->geometry(), { 269, 46, 97, 25 } },
        { "WaitBar", n.WaitBar->geometry(), { -71, 52, 259, 17 } },
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.actual, row.designed) << row.control;
    EXPECT_EQ(n.BtCancel->iconSize(), QSize(16, 16));
}

TEST_F(WaitNotice, ControlsFollowTheirAnchorsWhenTheWindowGrows)
{
    ShowWaitNotice(QStringLiteral("x"), true, true, 1);
    TWaitDlgForm& n = notice();
    n.resize(474, 97);
    EXPECT_EQ(n.Panel->geometry(), QRect(0, 0, 474, 97));
    EXPECT_EQ(n.LabelWait->geometry(), QRect(56, 12, 409, 29));
    EXPECT_EQ(n.WaitProgress->geometry(), QRect(4, 5, 44, 44));
    EXPECT_EQ(n.BtCancel->geometry(), QRect(369, 66, 97, 25));
    EXPECT_EQ(n.WaitBar->geometry(), QRect(29, 52, 259, 17));
}

TEST_F(WaitNotice, IsABorderlessTopmostWindowWithItsDesignedSettings)
{
    ShowWaitNotice(QStringLiteral("Wait Connection...."), false, true, 1);
    TWaitDlgForm& n = notice();
    EXPECT_TRUE(n.isVisible());
    EXPECT_TRUE(n.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(n.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(n.windowTitle(), QStringLiteral("Statut de l'opération"));
    EXPECT_EQ(n.CancelMessage, 0);

    EXPECT_EQ(n.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(n.font().pixelSize(), 11);
    QFont sansSerif(QStringLiteral("sans-serif"));
    sansSerif.setStyleHint(QFont::SansSerif);
    EXPECT_EQ(QFontInfo(n.LabelWait->font()).family(), QFontInfo(sansSerif).family()) << "the stand-in family";

    EXPECT_EQ(n.LabelWait->text(), QStringLiteral("Wait Connection...."));
    EXPECT_TRUE(n.LabelWait->wordWrap());
    EXPECT_EQ(n.LabelWait->alignment(), Qt::AlignLeft | Qt::AlignTop);

    EXPECT_TRUE(n.WaitProgress->isVisible());
    EXPECT_EQ(n.WaitProgress->frame(), 1);
    EXPECT_FALSE(n.WaitProgress->running());
    EXPECT_EQ(n.WaitProgress->backgroundColor(), QColor(0xFFF4DD));
    EXPECT_EQ(n.WaitProgress->cursor().shape(), Qt::WaitCursor);

    EXPECT_FALSE(n.WaitBar->isVisible());
    EXPECT_EQ(n.WaitBar->value(), 0);
    EXPECT_EQ(n.WaitBar->minimum(), 0);
    EXPECT_EQ(n.WaitBar->maximum(), 100);
}

TEST_F(WaitNotice, PictureAndCancelButtonOnlyWhenAsked)
{
    for (const bool shown : { false, true }) {
        ShowWaitNotice(QStringLiteral("x"), shown, shown, 1);
        EXPECT_EQ(notice().BtCancel->isVisible(), shown);
        EXPECT_EQ(notice().WaitProgress->isVisible(), shown);
        HideWaitNotice();
    }
}

// Schemes 1 to 6 show in the reference pictures notice_scheme1..6; any other keeps the panel silver.
TEST_F(WaitNotice, SchemesOtherThanOneToSixKeepSilver)
{
    ShowWaitNotice(QStringLiteral("x"), false, false, 3);
    const caltrix::widgets::PanelColors silver = notice().Panel->colors();
    HideWaitNotice();
    for (const std::uint8_t scheme : { 0, 7, 255 }) {
        SCOPED_TRACE(int(scheme));
        ShowWaitNotice(QStringLiteral("x"), false, false, scheme);
        EXPECT_EQ(notice().Panel->colors(), silver);
        HideWaitNotice();
    }
}

TEST_F(WaitNotice, CentredOnTheScreenWhileNoMainWindowIsShown)
{
    window({ 10, 10, 322, 198 }, false); // the main window while it is being created
    ShowWaitNotice(QStringLiteral("x"), false, true, 1);
    EXPECT_EQ(notice().pos(), centredIn(QGuiApplication::primaryScreen()->availableGeometry()));
}

TEST_F(WaitNotice, CentredOverTheMainWindowOnceItIsShown)
{
    const QWidget* main = window({ 100, 120, 322, 198 });
    ShowWaitNotice(QStringLiteral("x"), false, true, 1);
    EXPECT_EQ(notice().pos(), centredIn(main->frameGeometry()));
}

TEST_F(WaitNotice, DisablesOnlyVisibleEnabledWindowsUntilItComesDown)
{
    QWidget* shown = window();
    QWidget* hidden = window({ 0, 0, 100, 100 }, false);
    QWidget* alreadyDisabled = window();
    alreadyDisabled->setEnabled(false);
    QPointer<QWidget> destroyedMeanwhile = window();

    ShowWaitNotice(QStringLiteral("x"), true, false, 1);
    EXPECT_FALSE(shown->isEnabled());
    EXPECT_FALSE(destroyedMeanwhile->isEnabled());
    EXPECT_TRUE(hidden->isEnabled());
    EXPECT_TRUE(notice().isEnabled());
    QWidget* messageBox = window(); // opened while the notice is up
    EXPECT_TRUE(messageBox->isEnabled());
    destroyWindow(destroyedMeanwhile);

    HideWaitNotice();
    EXPECT_TRUE(shown->isEnabled());
    EXPECT_TRUE(hidden->isEnabled());
    EXPECT_FALSE(alreadyDisabled->isEnabled()) << "it was not the notice that disabled it";
    EXPECT_TRUE(messageBox->isEnabled());
}

TEST_F(WaitNotice, IsTheOnlyTopmostWindowWhileUpAndHidingTwiceIsHarmless)
{
    QWidget* topmost = window();
    topmost->setWindowFlag(Qt::WindowStaysOnTopHint);
    topmost->show();

    ShowWaitNotice(QStringLiteral("x"), false, true, 1);
    EXPECT_FALSE(topmost->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(topmost->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(topmost->isVisible());

    for (int hide = 1; hide <= 2; ++hide) {
        SCOPED_TRACE(hide);
        HideWaitNotice();
        EXPECT_EQ(caltrix::app::WaitNotice(), nullptr);
        EXPECT_TRUE(topmost->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(topmost->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(topmost->isEnabled());
    }
}

TEST_F(WaitNotice, ShownAgainWithoutHidingLosesNoDisabledWindow)
{
    QWidget* shown = window();
    ShowWaitNotice(QStringLiteral("first"), false, false, 1);
    const QPointer<TWaitDlgForm> first = caltrix::app::WaitNotice();
    ShowWaitNotice(QStringLiteral("second"), false, false, 2);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(notice().LabelWait->text(), QStringLiteral("second"));
    EXPECT_FALSE(shown->isEnabled());
    HideWaitNotice();
    EXPECT_TRUE(shown->isEnabled());
}

// Taking a notice down processes messages; a handler run there may show a notice of its own. That
// one stays up, keeps the windows disabled and is taken down by the next HideWaitNotice.
TEST_F(WaitNotice, ANoticeShownWhileAnotherComesDownStaysUntilItsOwnHide)
{
    QWidget* shown = window();
    ShowWaitNotice(QStringLiteral("first"), false, false, 1);
    const QPointer<TWaitDlgForm> first = caltrix::app::WaitNotice();
    QTimer::singleShot(0, qApp, [] { ShowWaitNotice(QStringLiteral("second"), false, false, 2); });
    HideWaitNotice();

    EXPECT_TRUE(first.isNull());
    const QPointer<TWaitDlgForm> second = caltrix::app::WaitNotice();
    ASSERT_FALSE(second.isNull()) << "the second notice was forgotten while up";
    EXPECT_EQ(second->LabelWait->text(), QStringLiteral("second"));
    EXPECT_TRUE(second->isVisible());
    EXPECT_FALSE(shown->isEnabled());

    HideWaitNotice();
    EXPECT_TRUE(second.isNull());
    EXPECT_TRUE(shown->isEnabled());
}

TEST_F(WaitNotice, CancelSendsItsMessageToTheApplicationAndLeavesTheNoticeUp)
{
    ShowWaitNotice(QStringLiteral("x"), true, false, 1);
    const auto cancel = static_cast<QEvent::Type>(QEvent::registerEventType());
    EventSpy received(qApp, cancel);

    QTest::mouseClick(notice().BtCancel, Qt::LeftButton);
    EXPECT_EQ(received.count, 0) << "CancelMessage 0 sends nothing";

    notice().CancelMessage = cancel;
    QTest::mouseClick(notice().BtCancel, Qt::LeftButton);
    EXPECT_EQ(received.count, 1);
    ASSERT_NE(caltrix::app::WaitNotice(), nullptr);
    EXPECT_TRUE(notice().isVisible());
}

TEST_F(WaitNotice, CancelHandlerMayTakeTheNoticeDown)
{
    QWidget* shown = window();
    ShowWaitNotice(QStringLiteral("x"), true, false, 1);
    const auto cancel = static_cast<QEvent::Type>(QEvent::registerEventType());
    EventSpy handler(qApp, cancel, [](QObject*) { HideWaitNotice(); });
    const QPointer<TWaitDlgForm> n = caltrix::app::WaitNotice();
    n->CancelMessage = cancel;

    QTest::mouseClick(n->BtCancel, Qt::LeftButton);
    EXPECT_EQ(handler.count, 1);
    EXPECT_EQ(caltrix::app::WaitNotice(), nullptr);
    EXPECT_TRUE(shown->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(n.isNull());
}

TEST_F(WaitNotice, PaintedBeforeShowReturnsAndAgainWhileTheCallerProcessesMessages)
{
    QStringList paintedTexts;
    EventSpy paints(qApp, QEvent::Paint, [&paintedTexts](QObject* object) {
        if (auto* label = qobject_cast<QLabel*>(object); label && label->window() == caltrix::app::WaitNotice())
            paintedTexts.append(label->text());
    });
    ShowWaitNotice(QStringLiteral("Wait Connection...."), false, true, 1);
    EXPECT_EQ(paintedTexts, QStringList { QStringLiteral("Wait Connection....") });

    notice().LabelWait->setText(QStringLiteral("Still waiting"));
    caltrix::platform::processPendingMessages();
    EXPECT_EQ(paintedTexts.size(), 2);
    EXPECT_EQ(paintedTexts.value(1), QStringLiteral("Still waiting"));

    notice().repaint(); // the whole window, the controls on its panel included
    EXPECT_EQ(paintedTexts.size(), 3);
}

TEST_F(WaitNotice, LongTextWrapsAndIsCutAtTheLabelsHeight)
{
    const QString text = QStringLiteral("Wait Connection.... the trainer has not answered yet; keep pedalling gently so "
                                        "that it wakes up, and check that the stick is plugged in.");
    ShowWaitNotice(text, false, true, 1);
    const QLabel& label = *notice().LabelWait;
    EXPECT_EQ(label.size(), QSize(309, 29));
    EXPECT_GT(label.heightForWidth(309), 2 * label.fontMetrics().height()) << "the text needs more than two lines";
}

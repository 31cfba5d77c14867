#include "app/WaitDlg.h"

#include "widgets/BusyPicture.h"
#include "widgets/ClassicFont.h"
#include "widgets/CrossIcon.h"
#include "widgets/GradientPanel.h"
#include "widgets/ProgressBar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>

namespace caltrix::app {

namespace {
const QString Caption = QStringLiteral("Statut de l'opération");
const QColor PictureBackground(0xFF, 0xF4, 0xDD);
constexpr QSize GlyphSize { 16, 16 };

enum Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };

// Where a control designed at `designed` on the designed client area goes on a client area of
// `client`: it keeps its distance to each edge it is anchored to, and stretches between two
// opposite anchors.
QRect anchored(QRect designed, int anchors, QSize client)
{
    const int dw = client.width() - WaitDlgLayout::Client.width();
    const int dh = client.height() - WaitDlgLayout::Client.height();
    if (anchors & Right) {
        if (anchors & Left)
            designed.setWidth(designed.width() + dw);
        else
            designed.translate(dw, 0);
    }
    if (anchors & Bottom) {
        if (anchors & Top)
            designed.setHeight(designed.height() + dh);
        else
            designed.translate(0, dh);
    }
    return designed;
}
} // namespace

TWaitDlgForm::TWaitDlgForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(Caption);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Button));
    setPalette(colours);
    setAutoFillBackground(true);
    setFont(widgets::classicFont(QStringLiteral("MS Sans Serif"), 11));
    createControls();
    resize(WaitDlgLayout::Client);
    FormCreate();
}

void TWaitDlgForm::createControls()
{
    Panel = new widgets::GradientPanel(this);

    LabelWait = new QLabel(QStringLiteral("Progression:"), Panel);
    LabelWait->setTextFormat(Qt::PlainText);
    LabelWait->setWordWrap(true);
    LabelWait->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    WaitProgress = new widgets::BusyPicture(Panel);
    WaitProgress->setBackgroundColor(PictureBackground);
    WaitProgress->setCursor(Qt::WaitCursor);
    WaitProgress->setFrame(1);
    WaitProgress->hide();

    BtCancel = new QPushButton(QStringLiteral("&Cancel"), Panel);
    BtCancel->setIcon(widgets::crossIcon());
    BtCancel->setIconSize(GlyphSize);
    QObject::connect(BtCancel, &QPushButton::clicked, this, [this] { BtCancelClick(); });

    WaitBar = new widgets::ProgressBar(Panel);
    WaitBar->setRange(0, 100);
    WaitBar->hide();
}

void TWaitDlgForm::FormCreate() { CancelMessage = 0; }

void TWaitDlgForm::BtCancelClick()
{
    if (CancelMessage <= 0 || CancelMessage > QEvent::MaxUser)
        return;
    QEvent message(static_cast<QEvent::Type>(CancelMessage));
    const QScopedValueRollback delivering(deliveringCancel_, true);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &message);
}

void TWaitDlgForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TWaitDlgForm::resizeEvent(QResizeEvent* event)
{
    const QSize client = event->size();
    Panel->setGeometry(QRect(QPoint(0, 0), client));
    LabelWait->setGeometry(anchored(WaitDlgLayout::LabelWait, Left | Top | Right, client));
    WaitProgress->setGeometry(anchored(WaitDlgLayout::WaitProgress, Left | Top, client));
    BtCancel->setGeometry(anchored(WaitDlgLayout::BtCancel, Right | Bottom, client));
    WaitBar->setGeometry(anchored(WaitDlgLayout::WaitBar, Top | Right, client));
    QWidget::resizeEvent(event);
}

} // namespace caltrix::app

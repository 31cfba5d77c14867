#include "widgets/ProgressBar.h"

#include <QPainter>

namespace caltrix::widgets {

ProgressBar::ProgressBar(QWidget* parent)
    : QProgressBar(parent)
    , border_(palette().color(QPalette::Dark))
{
    // The bar speaks for itself, as on classic desktops; a percentage beside it only crowds it.
    setTextVisible(false);
}

void ProgressBar::paintEvent(QPaintEvent* event)
{
    QProgressBar::paintEvent(event);
    QPainter painter(this);
    painter.setPen(border_);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace caltrix::widgets

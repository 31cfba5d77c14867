#include "widgets/ArrowMarker.h"

#include <QPainter>

namespace caltrix::widgets {

namespace {
// Share of the height taken by the head, and of the width taken by the shaft.
constexpr qreal HeadShare = 0.5;
constexpr qreal ShaftShare = 0.4;
} // namespace

ArrowMarker::ArrowMarker(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void ArrowMarker::setColor(const QColor& color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

QPolygonF ArrowMarker::outline(QSizeF size)
{
    const qreal w = size.width();
    const qreal h = size.height();
    const qreal headBottom = h * HeadShare;
    const qreal shaftLeft = w * (1 - ShaftShare) / 2;
    const qreal shaftRight = w - shaftLeft;
    return QPolygonF({ { w / 2, 0 }, { w, headBottom }, { shaftRight, headBottom }, { shaftRight, h },
        { shaftLeft, h }, { shaftLeft, headBottom }, { 0, headBottom } });
}

void ArrowMarker::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawPolygon(outline(size()));
}

} // namespace caltrix::widgets

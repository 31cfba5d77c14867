#include "widgets/CrossIcon.h"

#include <QColor>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>

namespace caltrix::widgets {

namespace {
const QColor CrossRed(0xD0, 0x10, 0x10);
const QColor CrossGrey(0x9A, 0x9A, 0x9A);

// Paints the cross as vectors, so it is sharp at every size and scale.
class CrossIconEngine final : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const qreal side = qMin(rect.width(), rect.height());
        const QRectF box(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0, side, side);
        // Two strokes with round caps, kept inside the box by half a stroke's width.
        const qreal stroke = side * 0.22;
        const QRectF inner = box.adjusted(stroke * 0.75, stroke * 0.75, -stroke * 0.75, -stroke * 0.75);
        QPen pen(mode == QIcon::Disabled ? CrossGrey : CrossRed, stroke, Qt::SolidLine, Qt::RoundCap);
        painter->setPen(pen);
        painter->drawLine(inner.topLeft(), inner.bottomRight());
        painter->drawLine(inner.topRight(), inner.bottomLeft());
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new CrossIconEngine; }
};
} // namespace

QIcon crossIcon() { return QIcon(new CrossIconEngine); }

} // namespace caltrix::widgets

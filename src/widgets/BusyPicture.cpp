#include "widgets/BusyPicture.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace caltrix::widgets {

namespace {
constexpr int DotCount = 8;
// Distance of the dots' centres from the frame's centre, and the smallest and largest dot radius.
constexpr qreal RingRadius = 14.5;
constexpr qreal SmallestDot = 1.5;
constexpr qreal LargestDot = 4.5;

// Draws one frame into a FrameSize square: the largest dot leads, clockwise, starting at the top
// in frame 0 and moving on one dot position per frame.
void drawFrame(QPainter& painter, int frame)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const QPointF centre(BusyPicture::FrameSize / 2.0, BusyPicture::FrameSize / 2.0);
    const qreal step = 2 * std::numbers::pi / DotCount;
    for (int i = 0; i < DotCount; ++i) {
        // Dot i trails the leader by i positions and is smaller the further it trails.
        const qreal angle = (frame - i) * step;
        const qreal radius = LargestDot - (LargestDot - SmallestDot) * i / (DotCount - 1);
        const QPointF at = centre + QPointF(RingRadius * std::sin(angle), -RingRadius * std::cos(angle));
        painter.drawEllipse(at, radius, radius);
    }
}
} // namespace

BusyPicture::BusyPicture(QWidget* parent)
    : QWidget(parent)
{
    resize(FrameSize, FrameSize);
    timer_.setInterval(FrameIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { setFrame(frame_ + 1); });
}

const QImage& BusyPicture::strip()
{
    static const QImage image = [] {
        QImage all(FrameSize * FrameCount, FrameSize, QImage::Format_ARGB32_Premultiplied);
        all.fill(Qt::transparent);
        QPainter painter(&all);
        for (int f = 0; f < FrameCount; ++f) {
            painter.save();
            painter.translate(f * FrameSize, 0);
            drawFrame(painter, f);
            painter.restore();
        }
        return all;
    }();
    return image;
}

void BusyPicture::setFrame(int frame)
{
    const int wrapped = ((frame % FrameCount) + FrameCount) % FrameCount;
    if (wrapped == frame_)
        return;
    frame_ = wrapped;
    update();
}

void BusyPicture::setRunning(bool running)
{
    if (running)
        timer_.start();
    else
        timer_.stop();
}

void BusyPicture::setBackgroundColor(const QColor& color)
{
    if (color == background_)
        return;
    background_ = color;
    update();
}

void BusyPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    drawFrame(painter, frame_);
}

} // namespace caltrix::widgets

#pragma once

#include <QColor>
#include <QImage>
#include <QTimer>
#include <QWidget>

namespace caltrix::widgets {

// A busy picture: a ring of black dots of growing size that turns by one step per frame. It shows
// one frame of an 8-frame strip on its background colour, and either stands on that frame or
// steps through the frames. Its size is the frame's, 44 x 44. Main thread only.
class BusyPicture final : public QWidget {
public:
    static constexpr int FrameCount = 8;
    static constexpr int FrameSize = 44;
    // Time between two frames while running.
    static constexpr int FrameIntervalMs = 100;

    explicit BusyPicture(QWidget* parent = nullptr);

    // The whole strip, 352 x 44, frame 0 at the left, dots in black on a transparent background.
    // Drawn once, on first use.
    static const QImage& strip();

    int frame() const { return frame_; }
    // Any integer: taken modulo the frame count.
    void setFrame(int frame);

    bool running() const { return timer_.isActive(); }
    void setRunning(bool running);

    QColor backgroundColor() const { return background_; }
    // Transparent (the default) lets the parent show through.
    void setBackgroundColor(const QColor& color);

    QSize sizeHint() const override { return { FrameSize, FrameSize }; }

protected:
    // Draws the frame directly rather than copying it from the strip, so that it stays sharp on
    // a scaled screen.
    void paintEvent(QPaintEvent* event) override;

private:
    int frame_ = 0;
    QColor background_ = Qt::transparent;
    QTimer timer_;
};

} // namespace caltrix::widgets

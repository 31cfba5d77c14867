#pragma once

#include <QColor>
#include <QWidget>

namespace caltrix::widgets {

// An arrow pointing up that fills the widget's rectangle: a head over a shaft. It paints in its
// one colour whether enabled or not, and leaves the rest of the rectangle transparent so that
// whatever lies below shows through. The caller sets the size. Main thread only.
class ArrowMarker final : public QWidget {
public:
    explicit ArrowMarker(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    void setColor(const QColor& color);

    // The arrow's outline in widget coordinates for a widget of `size`.
    static QPolygonF outline(QSizeF size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_ = Qt::red;
};

} // namespace caltrix::widgets

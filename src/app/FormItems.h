#pragma once

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QWidget>

namespace caltrix::app {

// The calibration window's items without a window of their own: they only paint, and clicks go
// through them to the window below. Siblings paint in creation order, later over earlier.

// A rectangle filled with one colour and outlined 1 px inside its edges with another.
class TShape final : public QWidget {
public:
    TShape(QWidget* parent, const QColor& fill, const QColor& outline);

    QColor fill() const { return fill_; }
    QColor outline() const { return outline_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor fill_;
    QColor outline_;
};

// A picture drawn unscaled from the box's top-left corner and clipped to the box; an empty
// picture leaves the box see-through.
class TImage final : public QWidget {
public:
    explicit TImage(QWidget* parent);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// A text on an opaque white background that sizes itself to the text, growing to the right and
// down from its top-left corner.
class TLabel final : public QLabel {
public:
    TLabel(QWidget* parent, const QString& caption, const QFont& font);

    QString caption() const { return text(); }
    void setCaption(const QString& caption);
};

} // namespace caltrix::app

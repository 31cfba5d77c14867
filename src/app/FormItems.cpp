#include "app/FormItems.h"

#include <QPainter>

namespace caltrix::app {

namespace {
void makeWindowless(QWidget* item) { item->setAttribute(Qt::WA_TransparentForMouseEvents); }
} // namespace

TShape::TShape(QWidget* parent, const QColor& fill, const QColor& outline)
    : QWidget(parent)
    , fill_(fill)
    , outline_(outline)
{
    makeWindowless(this);
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), fill_);
    painter.setPen(QPen(outline_, 0)); // cosmetic: one device pixel at any scale
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

TImage::TImage(QWidget* parent)
    : QWidget(parent)
{
    makeWindowless(this);
}

void TImage::setPicture(const QImage& picture)
{
    picture_ = picture;
    update();
}

void TImage::paintEvent(QPaintEvent*)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    painter.setClipRect(rect());
    painter.drawImage(QPoint(0, 0), picture_);
}

TLabel::TLabel(QWidget* parent, const QString& caption, const QFont& font)
    : QLabel(parent)
{
    makeWindowless(this);
    setFont(font);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setTextFormat(Qt::PlainText);
    setCaption(caption);
}

void TLabel::setCaption(const QString& caption)
{
    setText(caption);
    resize(sizeHint());
}

} // namespace caltrix::app

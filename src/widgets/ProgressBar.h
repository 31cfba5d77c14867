#pragma once

#include <QColor>
#include <QProgressBar>

namespace caltrix::widgets {

// A progress bar with a one-pixel border of its own colour drawn over the style's frame; the
// border starts in the palette's button-shadow colour. It shows no percentage text. Main thread
// only.
class ProgressBar final : public QProgressBar {
public:
    explicit ProgressBar(QWidget* parent = nullptr);

    QColor borderColor() const { return border_; }
    void setBorderColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor border_;
};

} // namespace caltrix::widgets
